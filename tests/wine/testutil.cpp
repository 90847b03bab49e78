// Helpers shared by the tests that run under Wine: folders, files, copies of the launcher,
// stand-in processes, input and waiting.
#include "wine/testutil.h"

#include <algorithm>
#include <vector>

#include "app/appstate.h"
#include "ui/window.h"

static const char impostorName[] = "Rundll32.exe";
static const char impostorMarkerName[] = "impostor-ran.txt";

static std::string BaseName(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static std::string FolderOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

static std::string OwnPath(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(path, length);
}

// Runs before main: a copy of this program planted as Rundll32.exe must not run the tests
// (it would recurse); it only records that something started it.
static int ActAsImpostorWhenPlanted(void)
{
    std::string self = OwnPath();
    if (lstrcmpiA(BaseName(self).c_str(), impostorName) != 0)
        return 0;
    WriteTextFile(Join(FolderOf(self), impostorMarkerName), GetCommandLineA());
    ExitProcess(0);
    return 1;
}
static const int actingAsImpostor = ActAsImpostorWhenPlanted();

std::string TestProgramPath(void)
{
    (void)actingAsImpostor;
    return OwnPath();
}

std::string TestProgramFolder(void)
{
    return FolderOf(OwnPath());
}

std::string LauncherPath(void)
{
    return Join(TestProgramFolder(), "uninst.exe");
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder[folder.size() - 1] == '\\')
        return folder + name;
    return folder + "\\" + name;
}

static std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], (int)wide.size());
    wide.resize(length > 0 ? (size_t)length - 1 : 0);
    return wide;
}

static std::wstring LongPath(const std::string& path)
{
    return L"\\\\?\\" + Wide(path);
}

// The Unix path that Wine maps a Windows path to, the last component as it is (a link is not
// followed); empty when there is none.
static std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * UnixNameProc)(const WCHAR*);
    FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (proc == NULL)
        return std::string();
    UnixNameProc unixName = reinterpret_cast<UnixNameProc>(reinterpret_cast<void (*)(void)>(proc));
    char* name = unixName(Wide(path).c_str());
    if (name == NULL)
        return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

static std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

// Runs a shell command on the Unix side. Wine starts a Unix program named by its Z: path but
// hands back no process to wait for, so the command leaves its exit status in a file that is
// awaited here. 1 when the command exited with 0.
static int RunOnHost(const std::string& command)
{
    static unsigned serial;
    std::string marker = "C:\\windows\\temp\\host-command-" +
                         std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    std::string unixMarker = UnixPath(marker);
    if (unixMarker.empty())
        return 0;
    std::string line = "/bin/sh -c \"" + command + "; echo $? > " + Quoted(unixMarker + ".part") +
                       " && /bin/mv " + Quoted(unixMarker + ".part") + " " + Quoted(unixMarker) +
                       "\"";
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back(0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\sh", commandLine.data(), NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &process))
        return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int waited = 0; !FileExists(marker); waited += 10) {
        if (waited > 20000)
            return 0;
        Sleep(10);
    }
    std::string status;
    ReadTextFile(marker, &status);
    DeleteFileA(marker.c_str());
    return status == "0\n" || status == "0";
}

int MakeLink(const std::string& link, const std::string& target)
{
    std::string unixLink = UnixPath(link);
    std::string unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty())
        return 0;
    return RunOnHost("/bin/ln -s " + Quoted(unixTarget) + " " + Quoted(unixLink));
}

// Removes `path` from the Unix side, whose rm follows no link: a link goes by its own name,
// and a folder with everything in it. 1 when nothing is left there.
static int RemoveOnHost(const std::string& path)
{
    std::string unixPath = UnixPath(path);
    while (unixPath.size() > 1 && unixPath[unixPath.size() - 1] == '/')
        unixPath.erase(unixPath.size() - 1);
    return !unixPath.empty() && RunOnHost("/bin/rm -rf " + Quoted(unixPath)) &&
           GetFileAttributesW(LongPath(path).c_str()) == INVALID_FILE_ATTRIBUTES;
}

// The folder of Wine's drive links: the C: drive's Unix path is "<that folder>/c:/".
static std::string DriveLinkFolder(void)
{
    std::string drive = UnixPath("C:\\");
    if (drive.size() < 4 || drive.compare(drive.size() - 4, 4, "/c:/") != 0)
        return std::string();
    return drive.substr(0, drive.size() - 3);
}

int MapDrive(char letter, const std::string& folder)
{
    std::string links = DriveLinkFolder();
    std::string target = UnixPath(folder);
    if (links.empty() || target.empty())
        return 0;
    std::string link = links + (char)(letter | 0x20) + ":";
    char root[] = "?:\\";
    root[0] = letter;
    if (!RunOnHost("/bin/rm -f " + Quoted(link) + " && /bin/ln -s " + Quoted(target) + " " +
                   Quoted(link)))
        return 0;
    // The link is honoured from the next lookup on; wait until it is.
    for (int waited = 0; GetFileAttributesA(root) == INVALID_FILE_ATTRIBUTES; waited += 10) {
        if (waited > 5000)
            return 0;
        Sleep(10);
    }
    return 1;
}

void UnmapDrive(char letter)
{
    std::string links = DriveLinkFolder();
    if (!links.empty())
        RunOnHost("/bin/rm -f " + Quoted(links + (char)(letter | 0x20) + ":"));
}

struct FolderEntry {
    std::string name;
    DWORD attributes;
};

// The entries of a folder, "." and ".." left out, read whole before anything is changed.
static std::vector<FolderEntry> EntriesOf(const std::string& folder)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((LongPath(folder) + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        char name[MAX_PATH * 4];
        if (WideCharToMultiByte(CP_ACP, 0, entry.cFileName, -1, name, sizeof name, NULL, NULL) <= 0)
            continue;
        if (lstrcmpA(name, ".") == 0 || lstrcmpA(name, "..") == 0)
            continue;
        entries.push_back(FolderEntry{name, entry.dwFileAttributes});
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return entries;
}

// A link to a folder is listed as a folder that is also a reparse point; a link to a file is
// listed as the file, and deleting it removes the link alone.
static int IsLink(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

static int RemoveEntry(const std::string& path, DWORD attributes)
{
    // Wine removes no link itself.
    if (IsLink(attributes))
        return RemoveOnHost(path);
    std::wstring wide = LongPath(path);
    // A read-only entry refuses to go until the attribute is cleared.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileW(wide.c_str());
    for (const FolderEntry& entry : EntriesOf(path))
        RemoveEntry(Join(path, entry.name), entry.attributes);
    if (RemoveDirectoryW(wide.c_str()))
        return 1;
    // Wine does not list a link whose target has gone, so the folder may still hold one.
    return RemoveOnHost(path);
}

int MakeFolderTree(const std::string& path)
{
    // A drive ("C:") is there or not; it is never made.
    if (path.size() == 2 && path[1] == ':')
        return 1;
    if (FolderExists(path))
        return 1;
    std::string parent = FolderOf(path);
    if (!parent.empty() && parent.size() > 2 && !MakeFolderTree(parent))
        return 0;
    return CreateDirectoryW(LongPath(path).c_str(), NULL) || FolderExists(path);
}

int RemoveTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 1;
    return RemoveEntry(path, attributes);
}

int FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int FolderExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int WriteTextFile(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == text.size();
}

int ReadTextFile(const std::string& path, std::string* text)
{
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    text->clear();
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got != 0)
        text->append(block, got);
    CloseHandle(file);
    return 1;
}

int CopyOneFile(const std::string& from, const std::string& to)
{
    return CopyFileW(LongPath(from).c_str(), LongPath(to).c_str(), FALSE);
}

std::string FreshTestFolder(const std::string& name)
{
    std::string folder = Join("C:\\uitests", name);
    RemoveTree(folder);
    MakeFolderTree(folder);
    return folder;
}

int BuildTree(const std::string& folder, const std::vector<TreeItem>& items, std::string* failed)
{
    for (const TreeItem& item : items) {
        std::string path = Join(folder, item.path);
        int made;
        if (path[path.size() - 1] == '\\') {
            path.erase(path.size() - 1);
            made = MakeFolderTree(path);
        } else {
            made = MakeFolderTree(FolderOf(path)) && WriteTextFile(path, "data");
        }
        if (made && item.attributes != 0)
            made = SetFileAttributesW(LongPath(path).c_str(), item.attributes);
        if (!made) {
            *failed = path;
            return 0;
        }
    }
    return 1;
}

static void ListInto(const std::string& folder, const std::string& prefix,
                     std::vector<std::string>* out)
{
    for (const FolderEntry& entry : EntriesOf(folder)) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            out->push_back(prefix + entry.name);
            continue;
        }
        out->push_back(prefix + entry.name + "\\");
        if (!IsLink(entry.attributes))
            ListInto(Join(folder, entry.name), prefix + entry.name + "\\", out);
    }
}

std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> entries;
    ListInto(folder, "", &entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

static std::string AppDefaultsKey(const std::string& programName)
{
    return "Software\\Wine\\AppDefaults\\" + programName;
}

int SetWineVersionFor(const std::string& programName, const char* version)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, AppDefaultsKey(programName).c_str(), 0, NULL, 0,
                        KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return 0;
    LONG status = RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE*)version,
                                 (DWORD)lstrlenA(version) + 1);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void ForgetWineVersionFor(const std::string& programName)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaultsKey(programName).c_str());
}

std::string PathOfLength(const std::string& base, unsigned length)
{
    std::string path = base;
    char letter = 'a';
    while (path.size() + 1 < length) {
        unsigned left = length - (unsigned)path.size() - 1;
        unsigned chunk = left > 200 ? 200 : left;
        // A last component needs a backslash and at least one character.
        if (left - chunk == 1)
            chunk--;
        path += "\\" + std::string(chunk, letter);
        letter = letter == 'z' ? 'a' : (char)(letter + 1);
    }
    return path;
}

HMODULE LoadProgramCopy(const std::string& path)
{
    // Short paths go in as they are, so that the module's name is the plain path; only
    // longer ones need the prefix.
    if (path.size() < MAX_PATH)
        return LoadLibraryExA(path.c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
    return LoadLibraryExW(LongPath(path).c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
}

int CopyLauncherWithPicture(const std::string& to, const std::string& bmp)
{
    if (!CopyOneFile(LauncherPath(), to))
        return 0;
    // Wine does not remove a single resource given no data, so "no picture" drops them all.
    HANDLE update = BeginUpdateResourceA(to.c_str(), bmp.empty());
    if (update == NULL)
        return 0;
    BOOL ok = bmp.empty() || UpdateResourceA(update, RT_BITMAP, MAKEINTRESOURCEA(129),
                                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                             (void*)bmp.data(), (DWORD)bmp.size());
    return EndUpdateResourceA(update, !ok) && ok;
}

std::string MakeSolidPicture(int width, int height, COLORREF colour)
{
    BITMAPINFOHEADER header = {};
    int stride = (width + 3) & ~3;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = BI_RGB;
    header.biSizeImage = (DWORD)(stride * height);
    header.biClrUsed = 256;
    std::vector<RGBQUAD> palette(256, RGBQUAD{0, 0, 0, 0});
    palette[1].rgbRed = GetRValue(colour);
    palette[1].rgbGreen = GetGValue(colour);
    palette[1].rgbBlue = GetBValue(colour);
    std::string dib((const char*)&header, sizeof header);
    dib.append((const char*)palette.data(), palette.size() * sizeof palette[0]);
    dib.append((size_t)stride * (size_t)height, '\1');
    return dib;
}

int PlantImpostor(const std::string& folder)
{
    DeleteFileA(ImpostorMarker(folder).c_str());
    return CopyOneFile(TestProgramPath(), Join(folder, impostorName));
}

std::string ImpostorMarker(const std::string& folder)
{
    return Join(folder, impostorMarkerName);
}

HWND OpenLauncherWindow(void)
{
    DrainMessages();
    ResetAppState();
    RegisterMainClass(GetModuleHandleA(NULL));
    if (!CreateMainWindow(GetModuleHandleA(NULL), SW_SHOW))
        return NULL;
    return appState.mainWindow;
}

void CloseLauncherWindow(HWND window)
{
    UnhookWindow(window);
    if (IsWindow(window))
        DestroyWindow(window);
    DrainMessages();
    UnregisterClassA(appState.windowClassName, GetModuleHandleA(NULL));
    ResetAppState();
}

HANDLE StartIdleProcess(void)
{
    char command[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(command, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return NULL;
    lstrcatA(command, "\\cmd.exe");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Suspended, the process never runs a line, yet it is alive until it is terminated.
    if (!CreateProcessA(command, NULL, NULL, NULL, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        NULL, NULL, &startup, &process))
        return NULL;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void EndIdleProcess(HANDLE process)
{
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
}

int RunProgram(const std::string& commandLine, const std::string& outputPath,
               DWORD milliseconds, DWORD* exitCode)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (output == INVALID_HANDLE_VALUE)
        return 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = NULL;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    BOOL started = CreateProcessA(NULL, line.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                                  &process);
    CloseHandle(output);
    if (!started)
        return 0;
    CloseHandle(process.hThread);
    int ended = WaitForSingleObject(process.hProcess, milliseconds) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hProcess);
    return ended;
}

static WNDPROC hookedProcedure;
static MessageHook activeHook;

static LRESULT CALLBACK HookingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (activeHook != NULL)
        activeHook(window, message, wParam, lParam);
    return CallWindowProcA(hookedProcedure, window, message, wParam, lParam);
}

void HookWindow(HWND window, MessageHook hook)
{
    activeHook = hook;
    hookedProcedure =
        (WNDPROC)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)HookingProcedure);
}

void UnhookWindow(HWND window)
{
    if (IsWindow(window) && hookedProcedure != NULL)
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)hookedProcedure);
    activeHook = NULL;
}

static void DispatchPending(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void PumpMessages(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchPending();
        DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, NULL, FALSE, milliseconds - spent, QS_ALLINPUT);
    }
}

int PumpUntil(int (*done)(void* context), void* context, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchPending();
        if (done(context))
            return 1;
        DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return done(context);
        DWORD wait = milliseconds - spent;
        MsgWaitForMultipleObjects(0, NULL, FALSE, wait < 20 ? wait : 20, QS_ALLINPUT);
    }
}

void DrainMessages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    }
}

void PressKey(WORD virtualKey)
{
    INPUT keys[2] = {};
    for (int i = 0; i < 2; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = virtualKey;
        keys[i].ki.wScan = (WORD)MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof keys[0]);
}

void ClickAt(HWND window, int x, int y)
{
    POINT point = {x, y};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    INPUT clicks[2] = {};
    clicks[0].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].type = INPUT_MOUSE;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof clicks[0]);
}
