// The end of a run under Wine, with a copy of the launcher as the module: what is pruned, and
// which deletions are left for the next restart.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/appstate.h"
#include "cleanup/prune.h"
#include "cleanup/selfremoval.h"
#include "engine/engine.h"

namespace {

const char sessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char pendingValue[] = "PendingFileRenameOperations";

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], (int)wide.size());
    wide.resize(length > 0 ? (size_t)length - 1 : 0);
    return wide;
}

// The ANSI entry points stop at MAX_PATH; the fixtures reach past it with the wide ones.
std::wstring LongPath(const std::string& path)
{
    return L"\\\\?\\" + Wide(path);
}

// The Unix path that Wine maps a Windows path to; empty when there is none.
std::string UnixPath(const std::string& path)
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

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

// Runs a shell command on the Unix side: Wine can map a drive letter only through a link in
// its prefix. Wine starts a Unix program named by its Z: path but hands back no process to
// wait for, so the command leaves its exit status in a file that is awaited here. 1 when the
// command exited with 0.
int RunOnHost(const std::string& command)
{
    static unsigned serial;
    char marker[MAX_PATH];
    wsprintfA(marker, "C:\\windows\\temp\\selfremoval-host-%lu-%u", GetCurrentProcessId(),
              ++serial);
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
    for (int waited = 0; GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES; waited += 10) {
        if (waited > 20000)
            return 0;
        Sleep(10);
    }
    char status[16] = "";
    DWORD got = 0;
    HANDLE file = CreateFileA(marker, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, status, sizeof status - 1, &got, NULL);
        CloseHandle(file);
    }
    DeleteFileA(marker);
    return got >= 1 && status[0] == '0' && (got == 1 || status[1] == '\n');
}

int Exists(const std::string& path)
{
    return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RemoveTreeOnHost(const std::string& path)
{
    // Wine maps no path whose parent is missing; then there is nothing to remove either.
    std::string unixPath = UnixPath(path);
    if (!unixPath.empty() && !RunOnHost("/bin/rm -rf " + Quoted(unixPath)))
        return 0;
    return !Exists(path);
}

// The folder of Wine's drive links: the C: drive's Unix path is "<that folder>/c:/".
std::string DriveLinkFolder(void)
{
    std::string drive = UnixPath("C:\\");
    if (drive.size() < 4 || drive.compare(drive.size() - 4, 4, "/c:/") != 0)
        return std::string();
    return drive.substr(0, drive.size() - 3);
}

// Makes `letter`: the drive whose root is `folder`, as Wine's drive links do.
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

int MakeFolders(const std::string& path)
{
    for (size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
        std::string part = path.substr(0, at);
        if (!CreateDirectoryW(LongPath(part).c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
        if (at == std::string::npos)
            return 1;
    }
}

int MakeFile(const std::string& path)
{
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    WriteFile(file, "data", 4, &written, NULL);
    CloseHandle(file);
    return written == 4;
}

// Folders (ending with a backslash) and files under `folder`; the parents come with them.
void Build(const std::string& folder, const std::vector<std::string>& items)
{
    for (const std::string& item : items) {
        std::string path = folder + "\\" + item;
        if (path.back() == '\\') {
            path.pop_back();
            ASSERT_TRUE(MakeFolders(path)) << path;
        } else {
            ASSERT_TRUE(MakeFolders(path.substr(0, path.rfind('\\')))) << path;
            ASSERT_TRUE(MakeFile(path)) << path;
        }
    }
}

// Every entry under `folder`, relative to it, folders with a trailing backslash, sorted.
void ListInto(const std::string& folder, const std::string& prefix, std::vector<std::string>* out)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((LongPath(folder) + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        char name[MAX_PATH * 4];
        if (WideCharToMultiByte(CP_ACP, 0, entry.cFileName, -1, name, sizeof name, NULL, NULL) <= 0)
            continue;
        if (lstrcmpA(name, ".") == 0 || lstrcmpA(name, "..") == 0)
            continue;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            out->push_back(prefix + name);
            continue;
        }
        out->push_back(prefix + name + "\\");
        ListInto(folder + "\\" + name, prefix + name + "\\", out);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> entries;
    ListInto(folder, "", &entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

// The pending restart operations, each a source and a target (empty: delete), in order.
// Empty when the value is absent.
std::vector<std::string> PendingOperations(void)
{
    std::vector<std::string> operations;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return operations;
    std::vector<char> data(65536);
    DWORD size = (DWORD)data.size();
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, pendingValue, NULL, &type, (BYTE*)data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return operations;
    EXPECT_EQ(type, (DWORD)REG_MULTI_SZ);
    // Targets of deletions are empty strings, so the list is cut by its size, not by the
    // first empty string; what is left after the last pair is the list's own terminator.
    for (DWORD at = 0; at < size;) {
        std::string item(&data[at]);
        operations.push_back(item);
        at += (DWORD)item.size() + 1;
    }
    if (operations.size() % 2 == 1 && operations.back().empty())
        operations.pop_back();
    return operations;
}

// A restart of this prefix would otherwise carry out what a test asked for.
void ClearPendingOperations(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManager, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, pendingValue);
        RegCloseKey(key);
    }
}

std::string WininitPath(void)
{
    char path[MAX_PATH];
    UINT length = GetWindowsDirectoryA(path, MAX_PATH - 13);
    if (length == 0 || length >= MAX_PATH - 13)
        return std::string();
    lstrcatA(path, "\\wininit.ini");
    return path;
}

// The bytes of the Windows folder's wininit.ini, or "(none)".
std::string WininitContent(void)
{
    HANDLE file = CreateFileA(WininitPath().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "(none)";
    std::string content;
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got != 0)
        content.append(block, got);
    CloseHandle(file);
    return content;
}

// Puts back what WininitContent read: "(none)" removes the file.
int RestoreWininit(const std::string& content)
{
    std::string path = WininitPath();
    if (content == "(none)")
        return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
    CloseHandle(file);
    return written == content.size();
}

std::string OwnPath(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

std::string ShortPath(const std::string& path)
{
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(shortPath, length);
}

// Wine fixes a process's version when the process starts, and takes it for a program from
// HKCU\Software\Wine\AppDefaults\<file name>: the 95/98/Me family needs a process of its
// own. The test starts a copy of this program under this name, with the variable naming the
// launcher copy whose run it ends.
const char win9xChildName[] = "selfremoval-win9x.exe";
const char win9xChildVariable[] = "UNINST_SELFREMOVAL_WIN9X_PROGRAM";

// Runs before main: in that copy, the end of the run and nothing else, then exit. Exit code
// 3 when the process does not report the 95/98/Me family, 4 when the launcher will not load.
int EndRunAsWin9xChild(void)
{
    char program[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(win9xChildVariable, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    if (!IsWin9xFamily())
        ExitProcess(3);
    appState.instance = LoadLibraryExA(program, NULL, DONT_RESOLVE_DLL_REFERENCES);
    if (appState.instance == NULL)
        ExitProcess(4);
    appState.engineLaunched = 1;
    RunSelfRemoval();
    ExitProcess(0);
    return 1;
}
const int actingAsWin9xChild = EndRunAsWin9xChild();

std::string LauncherPath(void)
{
    std::string self = OwnPath();
    return self.substr(0, self.rfind('\\') + 1) + "uninst.exe";
}

class SelfRemoval : public ::testing::Test {
protected:
    std::string root;
    HMODULE program = NULL;
    AppState saved;
    char mappedDrive = 0;
    std::string wininitBefore;
    std::string versionKey;

    void SetUp() override
    {
        saved = appState;
        root = std::string("C:\\selfremoval-tests\\") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ClearPendingOperations();
        wininitBefore = WininitContent();
        ASSERT_TRUE(RemoveTreeOnHost(root)) << root;
        ASSERT_TRUE(MakeFolders(root)) << root;
    }

    void TearDown() override
    {
        Unload();
        ClearPendingOperations();
        // Whatever a test left in the list would be carried out at the prefix's next start.
        EXPECT_TRUE(RestoreWininit(wininitBefore));
        if (!versionKey.empty())
            RegDeleteKeyA(HKEY_CURRENT_USER, versionKey.c_str());
        appState = saved;
        if (mappedDrive != 0)
            UnmapDrive(mappedDrive);
        RemoveTreeOnHost(root);
    }

    // A copy of the built launcher at `executable`, loaded as the module whose folder the
    // end of the run works on; no code of it runs.
    void Install(const std::string& executable)
    {
        ASSERT_TRUE(CopyFileW(LongPath(LauncherPath()).c_str(), LongPath(executable).c_str(), FALSE))
            << LauncherPath() << " -> " << executable;
        // Paths that fit go in as they are, so that the module's name is the plain path.
        if (executable.size() < MAX_PATH)
            program = LoadLibraryExA(executable.c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
        else
            program = LoadLibraryExW(LongPath(executable).c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(program, (HMODULE)NULL) << executable;
        appState.instance = program;
    }

    void Unload()
    {
        if (program != NULL)
            FreeLibrary(program);
        program = NULL;
    }

    void MapTestDrive(char letter, const std::string& folder)
    {
        ASSERT_TRUE(MakeFolders(folder));
        mappedDrive = letter;
        ASSERT_TRUE(MapDrive(letter, folder)) << letter << ": -> " << folder;
    }
};

const std::vector<std::string> productTree = {"Data\\Cache\\Thumbs\\", "Data\\Logs\\",
                                              "Docs\\readme.txt", "Empty\\"};

TEST_F(SelfRemoval, NtFamilyPrunesThenAsksForTheExecutableThenItsFolder)
{
    ASSERT_EQ(IsWin9xFamily(), 0) << "the prefix must report an NT-family version";
    // A long name with spaces: the requests must carry it as it is, not in its short form.
    std::string folder = root + "\\Quillmere Program Files Folder";
    std::string executable = folder + "\\uninst.exe";
    Build(folder, productTree);
    Install(executable);
    std::string wininit = WininitContent();
    appState.engineLaunched = 1;

    RunSelfRemoval();

    EXPECT_EQ(Listing(folder), (std::vector<std::string>{"Docs\\", "Docs\\readme.txt", "uninst.exe"}));
    EXPECT_EQ(PendingOperations(),
              (std::vector<std::string>{"\\??\\" + executable, "", "\\??\\" + folder, ""}));
    EXPECT_EQ(WininitContent(), wininit);
}

// No, Esc and a failed launch all end the run with the launched flag clear.
TEST_F(SelfRemoval, WithoutALaunchNothingChanges)
{
    std::string folder = root + "\\Product";
    Build(folder, productTree);
    Install(folder + "\\uninst.exe");
    std::vector<std::string> before = Listing(root);
    std::string wininit = WininitContent();
    appState.engineLaunched = 0;

    RunSelfRemoval();

    EXPECT_EQ(Listing(root), before);
    EXPECT_EQ(PendingOperations(), std::vector<std::string>());
    EXPECT_EQ(WininitContent(), wininit);
}

// An executable at a drive root has the drive itself as its folder: the walk would cover the
// whole drive, and the request would name the drive.
TEST_F(SelfRemoval, AtADriveRootOnlyTheExecutableIsRequested)
{
    std::string drive = root + "\\drive";
    MapTestDrive('Q', drive);
    Build(drive, {"a\\b\\", "c\\", "Product\\Empty\\", "Product\\Cache\\Old\\"});
    Install("Q:\\uninst.exe");
    std::vector<std::string> before = Listing(drive);
    ASSERT_EQ(before.size(), 8u);   // the folders and the executable, seen through C:
    appState.engineLaunched = 1;

    RunSelfRemoval();

    EXPECT_EQ(Listing(drive), before);
    EXPECT_EQ(PendingOperations(), (std::vector<std::string>{"\\??\\Q:\\uninst.exe", ""}));

    // Asked directly, pruning refuses the root in either spelling.
    EXPECT_EQ(PruneEmptyFolders("Q:"), 0);
    EXPECT_EQ(PruneEmptyFolders("Q:\\"), 0);
    EXPECT_EQ(Listing(drive), before);
}

// The module's name is read into MAX_PATH bytes, so 259 characters is the longest that is
// known whole. A longer name comes back cut short, and a cut name would make an ancestor, or
// a folder that is not the program's, pass for the program's folder: then nothing is pruned
// and nothing is requested. Every level holds an empty "Spare" folder, so that pruning the
// wrong folder would show.
TEST_F(SelfRemoval, AnExecutablePathTooLongForItsBufferLeavesEverything)
{
    struct Case {
        size_t executableLength;
        int handled;
    } cases[] = {{MAX_PATH - 1, 1}, {MAX_PATH, 0}, {MAX_PATH + 40, 0}};
    const std::string name = "\\uninst.exe";
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executableLength);
        std::string base = root + "\\case" + std::to_string(index++);
        std::string outer = base + "\\" + std::string(150, 'a');
        std::string folder = outer + "\\" + std::string(c.executableLength - name.size() - outer.size() - 1, 'b');
        std::string executable = folder + name;
        ASSERT_EQ(executable.size(), c.executableLength);
        Build(base, {"Spare\\"});
        Build(outer, {"Spare\\"});
        Build(folder, {"Empty\\"});
        Install(executable);
        std::vector<std::string> expected = Listing(base);
        appState.engineLaunched = 1;

        RunSelfRemoval();

        std::vector<std::string> expectedRequests;
        if (c.handled) {
            std::string empty = folder.substr(base.size() + 1) + "\\Empty\\";
            expected.erase(std::remove(expected.begin(), expected.end(), empty), expected.end());
            expectedRequests = {"\\??\\" + executable, "", "\\??\\" + folder, ""};
        }
        EXPECT_EQ(Listing(base), expected);
        EXPECT_EQ(PendingOperations(), expectedRequests);
        ClearPendingOperations();
        Unload();
    }
}

TEST_F(SelfRemoval, Win9xFamilyListsTheFolderAboveTheExecutableInShortForm)
{
    (void)actingAsWin9xChild;
    std::string folder = root + "\\Quillmere Program Folder";
    std::string executable = folder + "\\uninst.exe";
    std::string child = root + "\\" + win9xChildName;
    Build(folder, productTree);
    ASSERT_TRUE(CopyFileA(LauncherPath().c_str(), executable.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(OwnPath().c_str(), child.c_str(), FALSE));
    versionKey = std::string("Software\\Wine\\AppDefaults\\") + win9xChildName;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, versionKey.c_str(), 0, NULL, 0, KEY_SET_VALUE,
                              NULL, &key, NULL),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE*)"win98", 6);
    RegCloseKey(key);
    // A list that the machine already had: its section gains the two entries at its top.
    ASSERT_TRUE(RestoreWininit("[rename]\r\nNUL=C:\\OLD\\ENTRY.TXT\r\n"));

    SetEnvironmentVariableA(win9xChildVariable, executable.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(child.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL,
                                  &startup, &process);
    SetEnvironmentVariableA(win9xChildVariable, NULL);
    ASSERT_TRUE(started);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(exitCode, 0u) << "3: not the 95/98/Me family, 4: the launcher did not load";

    std::string shortFolder = ShortPath(folder);
    std::string shortExecutable = ShortPath(executable);
    ASSERT_NE(shortFolder, folder);
    EXPECT_EQ(WininitContent(), "[rename]\r\nNULDIR=" + shortFolder + "\nNUL=" + shortExecutable +
                                    "\nNUL=C:\\OLD\\ENTRY.TXT\r\n");
    EXPECT_EQ(Listing(folder), (std::vector<std::string>{"Docs\\", "Docs\\readme.txt", "uninst.exe"}));
    EXPECT_EQ(PendingOperations(), std::vector<std::string>());
}

// The platform's own restart carries the requests out: the executable goes first, so its
// folder is empty by the time its turn comes.
TEST_F(SelfRemoval, ARestartRemovesTheExecutableAndThenItsFolder)
{
    std::string folder = root + "\\Quillmere Folder";
    std::string executable = folder + "\\uninst.exe";
    Build(folder, {"Empty\\Deeper\\"});
    Install(executable);
    appState.engineLaunched = 1;

    RunSelfRemoval();
    Unload();

    char command[MAX_PATH + 32];
    UINT length = GetSystemDirectoryA(command, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    lstrcatA(command, "\\wineboot.exe -r");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_FALSE(Exists(executable));
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(Exists(root));
    EXPECT_EQ(PendingOperations(), std::vector<std::string>());
}

}  // namespace
