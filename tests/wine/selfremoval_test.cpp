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
#include "wine/testutil.h"

namespace {

const char sessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char pendingValue[] = "PendingFileRenameOperations";

// Folders (ending with a backslash) and files under `folder`; the parents come with them.
void Build(const std::string& folder, const std::vector<TreeItem>& items)
{
    std::string failed;
    ASSERT_TRUE(BuildTree(folder, items, &failed)) << failed;
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
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return Join(path, "wininit.ini");
}

// The bytes of the Windows folder's wininit.ini, or "(none)".
std::string WininitContent(void)
{
    std::string content;
    return ReadTextFile(WininitPath(), &content) ? content : "(none)";
}

// Puts back what WininitContent read: "(none)" removes the file.
int RestoreWininit(const std::string& content)
{
    std::string path = WininitPath();
    if (content == "(none)")
        return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    return WriteTextFile(path, content);
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

class SelfRemoval : public ::testing::Test {
protected:
    std::string root;
    HMODULE program = NULL;
    AppState saved;
    char mappedDrive = 0;
    std::string wininitBefore;
    std::string versionProgram;

    void SetUp() override
    {
        saved = appState;
        root = std::string("C:\\selfremoval-tests\\") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ClearPendingOperations();
        wininitBefore = WininitContent();
        ASSERT_TRUE(RemoveTree(root)) << root;
        ASSERT_TRUE(MakeFolderTree(root)) << root;
    }

    void TearDown() override
    {
        Unload();
        ClearPendingOperations();
        // Whatever a test left in the list would be carried out at the prefix's next start.
        EXPECT_TRUE(RestoreWininit(wininitBefore));
        if (!versionProgram.empty())
            ForgetWineVersionFor(versionProgram);
        appState = saved;
        if (mappedDrive != 0)
            UnmapDrive(mappedDrive);
        RemoveTree(root);
    }

    // A copy of the built launcher at `executable`, loaded as the module whose folder the
    // end of the run works on; no code of it runs.
    void Install(const std::string& executable)
    {
        ASSERT_TRUE(CopyOneFile(LauncherPath(), executable))
            << LauncherPath() << " -> " << executable;
        program = LoadProgramCopy(executable);
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
        ASSERT_TRUE(MakeFolderTree(folder));
        mappedDrive = letter;
        ASSERT_TRUE(MapDrive(letter, folder)) << letter << ": -> " << folder;
    }
};

const std::vector<TreeItem> productTree = {"Data\\Cache\\Thumbs\\", "Data\\Logs\\",
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
    ASSERT_TRUE(CopyOneFile(LauncherPath(), executable));
    ASSERT_TRUE(CopyOneFile(TestProgramPath(), child));
    versionProgram = win9xChildName;
    ASSERT_TRUE(SetWineVersionFor(win9xChildName, "win98"));
    // A list that the machine already had: its section gains the two entries at its top.
    ASSERT_TRUE(RestoreWininit("[rename]\r\nNUL=C:\\OLD\\ENTRY.TXT\r\n"));

    SetEnvironmentVariableA(win9xChildVariable, executable.c_str());
    DWORD exitCode = 99;
    int ended = RunProgram("\"" + child + "\"", Join(root, "win9x-child.log"), 60000, &exitCode);
    SetEnvironmentVariableA(win9xChildVariable, NULL);
    EXPECT_TRUE(ended);
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

    EXPECT_FALSE(FileExists(executable));
    EXPECT_FALSE(FolderExists(folder));
    EXPECT_TRUE(FolderExists(root));
    EXPECT_EQ(PendingOperations(), std::vector<std::string>());
}

}  // namespace
