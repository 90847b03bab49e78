// The uninstall engine under Wine: the program's folder from the module's path, the launch
// record, real runs of Rundll32.exe and setupapi.dll on an INF beside the program, impostors
// on the search path, and the busy test.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/appstate.h"
#include "engine/engine.h"
#include "res/resource.h"
#include "wine/testutil.h"

namespace {

const char parametersPrefix[] = "setupapi.dll,InstallHinfSection DefaultUninstall 132 ";
const char infName[] = "wizardc.inf";
const char programName[] = "uninst.exe";

std::string SystemRundll32(void)
{
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return length != 0 && length < MAX_PATH ? Join(folder, "Rundll32.exe") : std::string();
}

std::string WindowsFolder(void)
{
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    return length != 0 && length < MAX_PATH ? std::string(folder) : std::string();
}

int SameFileName(const std::string& a, const char* b)
{
    return b != NULL && lstrcmpiA(a.c_str(), b) == 0;
}

// Window, class and state for each test; the program is a copy of the launcher that the
// test puts where it wants and loads as appState.instance.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = OpenLauncherWindow();
        ASSERT_NE((HWND)NULL, window);
    }

    void TearDown() override
    {
        if (appState.engineProcess != NULL) {
            if (WaitForSingleObject(appState.engineProcess, 30000) != WAIT_OBJECT_0)
                TerminateProcess(appState.engineProcess, 1);
            CloseHandle(appState.engineProcess);
        }
        CloseLauncherWindow(window);
        if (program != NULL)
            FreeLibrary(program);
    }

    // Copies the launcher into `folder` and makes that copy the program.
    void InstallProgram(const std::string& folder)
    {
        ASSERT_TRUE(MakeFolderTree(folder));
        std::string path = Join(folder, programName);
        ASSERT_TRUE(CopyOneFile(LauncherPath(), path));
        program = LoadProgramCopy(path);
        ASSERT_NE((HMODULE)NULL, program);
        appState.instance = program;
    }

    void ExpectNothingLaunched(void)
    {
        EXPECT_EQ((HANDLE)NULL, appState.engineProcess);
        EXPECT_EQ(0, appState.engineLaunched);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_YES)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_NO)));
    }

    HWND window = NULL;
    HMODULE program = NULL;
};

const char lengthTop[] = "C:\\uitests\\length";

// The program's folder as the module's path gives it, and what can be launched from there.
// Lengths are of the folder; the module's path is 11 characters longer ("\uninst.exe").
struct FolderCase {
    const char* name;
    const char* folder;  // or null: a folder of `length` characters under C:\uitests\length
    const char* top;     // the folder the test makes and removes, or null for none
    unsigned length;
    int folderKnown;
    int launchable;
};

void PrintTo(const FolderCase& c, std::ostream* out)
{
    *out << c.name;
}

class ProgramFolder : public EngineFixture, public ::testing::WithParamInterface<FolderCase> {
};

TEST_P(ProgramFolder, GivesTheEngineItsInfOrNothing)
{
    const FolderCase& c = GetParam();
    std::string folder = c.folder != NULL ? std::string(c.folder)
                                          : PathOfLength(lengthTop, c.length);
    ASSERT_EQ(c.folder != NULL ? strlen(c.folder) : c.length, folder.size());
    if (c.top != NULL)
        RemoveTree(c.top);
    InstallProgram(folder);

    // The result must never reach past the 260 bytes it is given.
    char buffer[2 * MAX_PATH];
    FillMemory(buffer, sizeof buffer, 'Z');
    EXPECT_EQ(c.folderKnown, GetModuleDirectory(appState.instance, buffer));
    EXPECT_EQ(c.folderKnown ? folder : std::string(), std::string(buffer));
    EXPECT_EQ(std::string(MAX_PATH, 'Z'), std::string(buffer + MAX_PATH, MAX_PATH));

    EngineLaunch launch;
    FillMemory(&launch, sizeof launch, 0x5A);
    ASSERT_EQ(c.launchable, PrepareEngineLaunch(&launch));
    if (c.launchable) {
        const SHELLEXECUTEINFOA& record = launch.record;
        EXPECT_EQ(sizeof record, record.cbSize);
        EXPECT_EQ((ULONG)SEE_MASK_NOCLOSEPROCESS, record.fMask);
        EXPECT_EQ((HWND)NULL, record.hwnd);
        EXPECT_STREQ("open", record.lpVerb);
        // The system folder's own copy, by its full path: never one the search path finds.
        EXPECT_TRUE(SameFileName(SystemRundll32(), record.lpFile)) << record.lpFile;
        EXPECT_TRUE(FileExists(record.lpFile));
        // Not quoted: the engine takes the rest of the line as the INF's path, spaces and all.
        EXPECT_EQ(parametersPrefix + Join(folder, infName), std::string(record.lpParameters));
        EXPECT_EQ((LPCSTR)NULL, record.lpDirectory);
        EXPECT_EQ(SW_SHOW, record.nShow);
        EXPECT_EQ((HINSTANCE)NULL, record.hInstApp);
        EXPECT_EQ((void*)NULL, record.lpIDList);
        EXPECT_EQ((LPCSTR)NULL, record.lpClass);
        EXPECT_EQ((HKEY)NULL, record.hkeyClass);
        EXPECT_EQ(0u, record.dwHotKey);
        EXPECT_EQ((HANDLE)NULL, record.hIcon);
        EXPECT_EQ((HANDLE)NULL, record.hProcess);
    } else {
        // Nothing is started for a folder that is unknown or whose INF path does not fit.
        LaunchUninstallEngine(window);
        ExpectNothingLaunched();
    }

    FreeLibrary(program);
    program = NULL;
    if (c.top != NULL)
        RemoveTree(c.top);
    else
        DeleteFileA(Join(folder, programName).c_str());
}

// 53 characters before the folder and 12 after it: a folder of 194 characters makes the
// longest parameters that fit in 260 bytes.
INSTANTIATE_TEST_SUITE_P(
    Folders, ProgramFolder,
    ::testing::Values(
        FolderCase{"Spaces", "C:\\uitests\\Quillmere With Spaces",
                   "C:\\uitests\\Quillmere With Spaces", 0, 1, 1},
        FolderCase{"Beyond80",
                   "C:\\uitests\\Quillmere Product With A Rather Long Name\\Nested Folder Level "
                   "Two\\Nested Level Three",
                   "C:\\uitests\\Quillmere Product With A Rather Long Name", 0, 1, 1},
        FolderCase{"DriveRoot", "C:", NULL, 0, 1, 1},
        FolderCase{"LongestParameters", NULL, lengthTop, 194, 1, 1},
        FolderCase{"ParametersTooLong", NULL, lengthTop, 195, 1, 0},
        FolderCase{"LongestModulePath", NULL, lengthTop, 248, 1, 0},
        FolderCase{"ModulePathFillsBuffer", NULL, lengthTop, 249, 0, 0},
        FolderCase{"ModulePathBeyondBuffer", NULL, lengthTop, 289, 0, 0}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

// Without a Rundll32.exe in the system folder (nor, on NT, anywhere the launcher may look)
// the launch fails: the search path, which would find a planted copy, is never tried.
TEST_F(EngineFixture, NoSystemRundll32IsAFailedLaunch)
{
    const std::string folder = "C:\\uitests\\No System Engine";
    RemoveTree(folder);
    InstallProgram(folder);
    ASSERT_TRUE(PlantImpostor(folder));
    const std::string engine = SystemRundll32();
    const std::string aside = engine + ".aside";
    ASSERT_TRUE(MoveFileA(engine.c_str(), aside.c_str())) << GetLastError();

    char found[MAX_PATH];
    int result = FindSystemRundll32(found, sizeof found);
    EngineLaunch launch;
    int prepared = PrepareEngineLaunch(&launch);
    LaunchUninstallEngine(window);

    EXPECT_TRUE(MoveFileA(aside.c_str(), engine.c_str())) << GetLastError();
    EXPECT_EQ(0, result);
    EXPECT_STREQ("", found);
    EXPECT_EQ(0, prepared);
    ExpectNothingLaunched();
    PumpMessages(500);
    EXPECT_FALSE(FileExists(ImpostorMarker(folder)));

    FreeLibrary(program);
    program = NULL;
    RemoveTree(folder);
}

// The busy test asks the process and nothing else, and never waits.
TEST(EngineBusyTest, IsOneOnlyWhileTheProcessLives)
{
    ResetAppState();
    EXPECT_EQ(0, IsEngineRunning());

    HANDLE process = StartIdleProcess();
    ASSERT_NE((HANDLE)NULL, process);
    appState.engineProcess = process;
    EXPECT_EQ(1, IsEngineRunning());
    EndIdleProcess(process);
    EXPECT_EQ(0, IsEngineRunning());
    CloseHandle(process);

    // A handle that names nothing: the wait fails, which is not "running".
    appState.engineProcess = (HANDLE)(INT_PTR)0x7ff0;
    EXPECT_EQ(0, IsEngineRunning());
    ResetAppState();
}

// Real runs of the engine on an INF that removes the product's files from the program's
// folder, the INF included. Copies of a program that only leaves a marker wait as
// Rundll32.exe in the program's folder, the current folder and the Windows folder: the
// places a search would look before or besides the system folder.
const char removingInf[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "\r\n"
    "[DefaultUninstall]\r\n"
    "DelFiles=ProductFiles\r\n"
    "\r\n"
    "[DestinationDirs]\r\n"
    "ProductFiles=01\r\n"
    "\r\n"
    "[ProductFiles]\r\n"
    "readme.txt\r\n"
    "product.dll\r\n"
    "wizardc.inf\r\n";

const char* const removedFiles[] = {"readme.txt", "product.dll", "wizardc.inf"};

struct RunCase {
    const char* name;
    const char* folder;
    const char* top;  // the first folder the test makes, removed at the end
};

void PrintTo(const RunCase& c, std::ostream* out)
{
    *out << c.name;
}

class EngineRun : public EngineFixture, public ::testing::WithParamInterface<RunCase> {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        GetCurrentDirectoryA(MAX_PATH, previousCurrent);
        current = FreshTestFolder("engine-current");
        impostorFolders = {current, WindowsFolder()};
    }

    void TearDown() override
    {
        EngineFixture::TearDown();
        SetCurrentDirectoryA(previousCurrent);
        DeleteFileA(Join(WindowsFolder(), "Rundll32.exe").c_str());
        DeleteFileA(ImpostorMarker(WindowsFolder()).c_str());
        RemoveTree(current);
    }

    char previousCurrent[MAX_PATH] = "";
    std::string current;
    std::vector<std::string> impostorFolders;
};

// The engine's close request and whether the engine still ran when it arrived.
std::atomic<int> closeRequests;
std::atomic<int> closeWhileRunning;

void CountCloseRequests(HWND, UINT message, WPARAM, LPARAM)
{
    if (message != WM_CLOSE)
        return;
    closeRequests++;
    if (IsEngineRunning())
        closeWhileRunning++;
}

TEST_P(EngineRun, RemovesTheProductAndClosesTheWindowOnce)
{
    const std::string folder = GetParam().folder;
    RemoveTree(GetParam().top);
    InstallProgram(folder);
    ASSERT_TRUE(WriteTextFile(Join(folder, infName), removingInf));
    ASSERT_TRUE(WriteTextFile(Join(folder, "readme.txt"), "read me\r\n"));
    ASSERT_TRUE(WriteTextFile(Join(folder, "product.dll"), "MZ"));
    ASSERT_TRUE(WriteTextFile(Join(folder, "keep.txt"), "not listed in the INF\r\n"));
    impostorFolders.push_back(folder);
    for (const std::string& place : impostorFolders)
        ASSERT_TRUE(PlantImpostor(place)) << place;
    ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
    // Wine starts its own Rundll32.exe whatever file it is given, so the record shows which
    // file the launcher asked for.
    EngineLaunch launch;
    ASSERT_EQ(1, PrepareEngineLaunch(&launch));
    EXPECT_TRUE(SameFileName(SystemRundll32(), launch.record.lpFile)) << launch.record.lpFile;

    closeRequests = 0;
    closeWhileRunning = 0;
    HookWindow(window, CountCloseRequests);

    SendMessageA(GetDlgItem(window, IDC_YES), BM_CLICK, 0, 0);
    ASSERT_NE((HANDLE)NULL, appState.engineProcess);
    EXPECT_EQ(1, appState.engineLaunched);
    EXPECT_EQ(1, IsEngineRunning());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_YES)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_NO)));

    // The loop notices the engine's end only after a message, so something keeps arriving;
    // if the window never closes, the loop is ended from outside after a minute.
    DWORD loopThread = GetCurrentThreadId();
    HWND target = window;
    std::atomic<int> loopDone(0);
    std::atomic<int> timedOut(0);
    std::thread ticker([&] {
        DWORD start = GetTickCount();
        while (!loopDone) {
            if (GetTickCount() - start > 60000) {
                timedOut = 1;
                PostThreadMessageA(loopThread, WM_QUIT, 0, 0);
                return;
            }
            PostMessageA(target, WM_NULL, 0, 0);
            Sleep(25);
        }
    });
    RunMessageLoop();
    loopDone = 1;
    ticker.join();

    EXPECT_EQ(0, timedOut.load());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, closeRequests.load());
    EXPECT_EQ(0, closeWhileRunning.load());
    EXPECT_EQ(0, IsEngineRunning());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(appState.engineProcess, 0));

    for (const char* name : removedFiles)
        EXPECT_FALSE(FileExists(Join(folder, name))) << name;
    EXPECT_TRUE(FileExists(Join(folder, "keep.txt")));
    EXPECT_TRUE(FileExists(Join(folder, programName)));
    for (const std::string& place : impostorFolders)
        EXPECT_FALSE(FileExists(ImpostorMarker(place))) << "an impostor ran in " << place;

    FreeLibrary(program);
    program = NULL;
    RemoveTree(GetParam().top);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, EngineRun,
    ::testing::Values(RunCase{"Spaces", "C:\\Program Files\\Quillmere Test Product",
                              "C:\\Program Files\\Quillmere Test Product"},
                      RunCase{"Beyond80",
                              "C:\\Program Files\\Quillmere Product With A Rather Long "
                              "Name\\Nested Folder Level Two\\Nested Level Three",
                              "C:\\Program Files\\Quillmere Product With A Rather Long Name"}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

// The marker is what shows that an impostor ran: started directly, it leaves one.
TEST(Impostor, LeavesItsMarkerWhenStarted)
{
    std::string folder = FreshTestFolder("impostor");
    ASSERT_TRUE(PlantImpostor(folder));
    DWORD exitCode = 1;
    ASSERT_TRUE(RunProgram("\"" + Join(folder, "Rundll32.exe") + "\" x", Join(folder, "out.txt"),
                           30000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(FileExists(ImpostorMarker(folder)));
    RemoveTree(folder);
}

// The 95/98/Me family keeps Rundll32.exe in the Windows folder; Wine keeps it in the system
// folder even when it reports that family. A copy of this program, which Wine is told runs
// on Windows 98, checks where the engine is looked for; in every other run it is skipped.
const char win9xProbeName[] = "win9xprobe.exe";
const char win9xProbeVariable[] = "UNINST_WIN9X_PROBE";

TEST(Win9xFamily, LooksInTheWindowsFolderThenTheSystemFolder)
{
    std::string folder = FreshTestFolder("win9x");
    std::string probe = Join(folder, win9xProbeName);
    ASSERT_TRUE(CopyOneFile(TestProgramPath(), probe));
    ASSERT_TRUE(SetWineVersionFor(win9xProbeName, "win98"));

    SetEnvironmentVariableA(win9xProbeVariable, "1");
    std::string output = Join(folder, "probe.log");
    DWORD exitCode = 1;
    int ended = RunProgram("\"" + probe + "\" --gtest_filter=Win9xProbe.*", output, 60000,
                           &exitCode);
    SetEnvironmentVariableA(win9xProbeVariable, NULL);
    ForgetWineVersionFor(win9xProbeName);

    std::string log;
    ReadTextFile(output, &log);
    EXPECT_TRUE(ended);
    EXPECT_EQ(0u, exitCode) << log;
    EXPECT_NE(std::string::npos, log.find("[  PASSED  ] 1 test.")) << log;
    RemoveTree(folder);
}

TEST(Win9xProbe, FindsTheEngineInTheFamilysPlaces)
{
    if (GetEnvironmentVariableA(win9xProbeVariable, NULL, 0) == 0)
        GTEST_SKIP() << "runs inside Win9xFamily's probe only";
    ASSERT_EQ(1, IsWin9xFamily());

    std::string windows = WindowsFolder();
    std::string windowsCopy = Join(windows, "Rundll32.exe");
    ASSERT_FALSE(FileExists(windowsCopy)) << "Wine has no copy in the Windows folder";

    char found[MAX_PATH];
    ASSERT_EQ(1, FindSystemRundll32(found, sizeof found));
    EXPECT_TRUE(SameFileName(SystemRundll32(), found)) << found;

    ASSERT_TRUE(PlantImpostor(windows));
    int foundWindowsCopy = FindSystemRundll32(found, sizeof found);
    DeleteFileA(windowsCopy.c_str());
    EXPECT_EQ(1, foundWindowsCopy);
    EXPECT_TRUE(SameFileName(windowsCopy, found)) << found;
}

}  // namespace
