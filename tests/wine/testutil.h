// Helpers shared by the tests that run under Wine: folders, files, copies of the launcher,
// stand-in processes, input and waiting.
#ifndef UNINST_TESTS_WINE_TESTUTIL_H
#define UNINST_TESTS_WINE_TESTUTIL_H

#include <windows.h>

#include <string>
#include <vector>

// The running test program, and its folder (the build folder) without a trailing backslash.
std::string TestProgramPath(void);
std::string TestProgramFolder(void);

// The x86-64 launcher built beside the test program.
std::string LauncherPath(void);

// `folder` + "\" + `name`, with one backslash between them.
std::string Join(const std::string& folder, const std::string& name);

// Paths of any length: the ANSI entry points stop at MAX_PATH, so these go through the wide
// entry points with the "\\?\" prefix.
int MakeFolderTree(const std::string& path);
// A file, a link, or a folder and everything in it. Links are removed themselves and never
// entered, so what they lead to stays. 1 when nothing is left at `path`.
int RemoveTree(const std::string& path);
int FileExists(const std::string& path);
int FolderExists(const std::string& path);
int WriteTextFile(const std::string& path, const std::string& text);
int ReadTextFile(const std::string& path, std::string* text);
int CopyOneFile(const std::string& from, const std::string& to);

// A fresh, empty folder "C:\uitests\<name>"; anything left there by an earlier run is removed.
std::string FreshTestFolder(const std::string& name);

// An entry of a tree to build: a folder when the path ends with a backslash, else a small
// file; `attributes`, unless 0, are set on it once it is made.
struct TreeItem {
    TreeItem(const char* itemPath, DWORD itemAttributes = 0)
        : path(itemPath), attributes(itemAttributes)
    {
    }
    std::string path;
    DWORD attributes;
};

// Makes the items under `folder` in their order, with their parents. 0 on the first that
// cannot be made, whose path is then in `failed`.
int BuildTree(const std::string& folder, const std::vector<TreeItem>& items, std::string* failed);

// Every entry under `folder`, relative to it, folders with a trailing backslash, sorted.
// Links are listed but not entered, so what lies beyond them is not part of the listing.
std::vector<std::string> Listing(const std::string& folder);

// What Wine does not do itself is done on its Unix side; each reports 1 on success.
// A Unix symbolic link at `link` to the folder `target`, as a user or a tool would leave one:
// Wine's CreateSymbolicLinkA reports success and makes nothing.
int MakeLink(const std::string& link, const std::string& target);
// Makes `letter` the drive whose root is `folder`: Wine maps a drive letter only through a
// link in its prefix. UnmapDrive removes that link.
int MapDrive(char letter, const std::string& folder);
void UnmapDrive(char letter);

// Wine takes the Windows version it reports to a process from the file name the process was
// started from. Until ForgetWineVersionFor, programs named `programName` see `version`
// ("win98", "winxp", ...) from their next start on.
int SetWineVersionFor(const std::string& programName, const char* version);
void ForgetWineVersionFor(const std::string& programName);

// A folder path exactly `length` characters long, starting with `base` (which must exist
// or be creatable) and made of components of at most 200 characters. Not created.
std::string PathOfLength(const std::string& base, unsigned length);

// Loads a copy of a program as a module of this process, for its name and its resources;
// no code of it runs. 0 on failure.
HMODULE LoadProgramCopy(const std::string& path);

// A copy of the launcher whose picture (bitmap 129, English) is replaced by `bmp` (a packed
// DIB: header, palette, bits); when `bmp` is empty, a copy without any resources.
int CopyLauncherWithPicture(const std::string& to, const std::string& bmp);

// A packed 8-bit DIB of the given size, every pixel palette entry 1, which is `colour`.
std::string MakeSolidPicture(int width, int height, COLORREF colour);

// The Rundll32.exe impostor: a copy of this test program that, started under that name,
// leaves ImpostorMarker(folder) in its own folder and ends at once without running a test.
int PlantImpostor(const std::string& folder);
std::string ImpostorMarker(const std::string& folder);

// The launcher's window for this test program, from a clean start: the queue drained, the
// state reset, the class registered. NULL when it could not be made.
HWND OpenLauncherWindow(void);
// Undoes OpenLauncherWindow and what a test may have added: the hook, the window, the
// messages still queued, the class and the state.
void CloseLauncherWindow(HWND window);

// A process that stays alive, doing nothing, until EndIdleProcess: the stand-in for an
// engine whose run the test controls. 0 on failure.
HANDLE StartIdleProcess(void);
void EndIdleProcess(HANDLE process);

// Lets `hook` see every message that reaches `window`'s procedure, just before the window
// handles it. One window at a time; UnhookWindow restores the window's own procedure.
typedef void (*MessageHook)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void HookWindow(HWND window, MessageHook hook);
void UnhookWindow(HWND window);

// Runs `commandLine` with its output going to the file `outputPath`, and waits up to
// `milliseconds` for it to end. Reports 1 with its exit code when it ended, else 0 (it is
// then ended).
int RunProgram(const std::string& commandLine, const std::string& outputPath,
               DWORD milliseconds, DWORD* exitCode);

// Dispatches this thread's messages, through TranslateMessage, for `milliseconds`.
void PumpMessages(DWORD milliseconds);

// Dispatches messages until `done(context)` reports 1 or `milliseconds` have passed;
// reports the last answer of `done`.
int PumpUntil(int (*done)(void* context), void* context, DWORD milliseconds);

// Removes every pending message of this thread, the quit message included.
void DrainMessages(void);

// A key press and release through the system's input queue, as from the keyboard.
void PressKey(WORD virtualKey);

// A click of the left mouse button at a point of a window's client area, through the
// system's input queue.
void ClickAt(HWND window, int x, int y);

#endif
