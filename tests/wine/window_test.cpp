// The confirmation window on the real window manager: class, window, buttons, picture sizes,
// and the window procedure's answers to keys, commands and close requests in every state.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/appstate.h"
#include "engine/engine.h"
#include "res/resource.h"
#include "ui/window.h"
#include "wine/testutil.h"

namespace {

// An uninstall section with nothing to do: the engine starts, reads it and ends.
const char idleInf[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[DefaultUninstall]\r\n";

struct Placement {
    int x, y, width, height;
};

Placement ChildPlacement(HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(NULL, GetParent(child), (POINT*)&rect, 2);
    return Placement{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

// Where the window must be for a picture of this size, from the live system metrics.
RECT ExpectedWindowRect(int pictureWidth, int pictureHeight)
{
    int width = pictureWidth + 2 * GetSystemMetrics(SM_CXDLGFRAME);
    int height = pictureHeight + GetSystemMetrics(SM_CYMENUSIZE) +
                 2 * GetSystemMetrics(SM_CYDLGFRAME);
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    return RECT{x, y, x + width, y + height};
}

// The window's place on the screen, edge by edge.
void ExpectWindowRect(HWND window, const RECT& expected)
{
    RECT actual;
    GetWindowRect(window, &actual);
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    EXPECT_EQ(expected.right, actual.right);
    EXPECT_EQ(expected.bottom, actual.bottom);
}

std::string WindowText(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

int QuitPending(void)
{
    MSG msg;
    return PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE);
}

// Creates the window for `instance` and tidies up after each test, whatever the test left:
// an engine still running, the window, its class, the queue.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        DrainMessages();
        ResetAppState();
    }

    void TearDown() override
    {
        for (HANDLE process : standIns) {
            EndIdleProcess(process);
            CloseHandle(process);
        }
        for (HANDLE process : engines) {
            if (WaitForSingleObject(process, 30000) != WAIT_OBJECT_0)
                TerminateProcess(process, 1);
            CloseHandle(process);
        }
        if (appState.mainWindow != NULL && IsWindow(appState.mainWindow))
            DestroyWindow(appState.mainWindow);
        DrainMessages();
        if (registered != NULL)
            UnregisterClassA(appState.windowClassName, registered);
        ResetAppState();
    }

    HWND Open(HINSTANCE instance)
    {
        RegisterMainClass(instance);
        registered = instance;
        // The show command is not used: the window shows itself whatever it is given.
        if (!CreateMainWindow(instance, SW_HIDE))
            return NULL;
        return appState.mainWindow;
    }

    // A launched engine is waited for at the end of the test, so that the next one starts
    // from a quiet system; a stand-in is ended.
    void TrackEngine(HANDLE process)
    {
        if (process != NULL)
            engines.push_back(process);
    }

    HANDLE StartStandIn(void)
    {
        HANDLE process = StartIdleProcess();
        if (process != NULL)
            standIns.push_back(process);
        return process;
    }

    HINSTANCE registered = NULL;
    std::vector<HANDLE> engines;
    std::vector<HANDLE> standIns;
};

using ConfirmationWindow = WindowFixture;

TEST_F(ConfirmationWindow, ClassCarriesTheProceduresIconsCursorAndBrush)
{
    HINSTANCE self = GetModuleHandleA(NULL);
    RegisterMainClass(self);
    registered = self;

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExA(self, "zelkor", &windowClass));
    EXPECT_EQ((UINT)(CS_HREDRAW | CS_VREDRAW), windowClass.style);
    EXPECT_EQ((WNDPROC)MainWindowProc, windowClass.lpfnWndProc);
    EXPECT_EQ(0, windowClass.cbClsExtra);
    EXPECT_EQ(0, windowClass.cbWndExtra);
    EXPECT_EQ(self, windowClass.hInstance);
    // Icons loaded with LoadIconA are shared: loading them again gives the class's handles.
    HICON large = LoadIconA(self, MAKEINTRESOURCEA(IDI_LARGE));
    HICON small = LoadIconA(self, MAKEINTRESOURCEA(IDI_SMALL));
    ASSERT_NE((HICON)NULL, large);
    ASSERT_NE((HICON)NULL, small);
    EXPECT_NE(large, small);
    EXPECT_EQ(large, windowClass.hIcon);
    EXPECT_EQ(small, windowClass.hIconSm);
    EXPECT_EQ(LoadCursorA(NULL, (LPCSTR)IDC_ARROW), windowClass.hCursor);
    EXPECT_EQ((HBRUSH)(COLOR_WINDOW + 1), windowClass.hbrBackground);
    EXPECT_EQ((LPCSTR)NULL, windowClass.lpszMenuName);
}

TEST_F(ConfirmationWindow, IsACentredCaptionedPopupSizedByThePicture)
{
    HINSTANCE self = GetModuleHandleA(NULL);
    HWND window = Open(self);
    ASSERT_NE((HWND)NULL, window);
    EXPECT_EQ(self, appState.instance);

    EXPECT_EQ("Uninstall Quillmere", WindowText(window));
    EXPECT_EQ("zelkor", ClassOf(window));
    EXPECT_TRUE(IsWindowVisible(window));
    LONG style = GetWindowLongA(window, GWL_STYLE);
    // The platform adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ((LONG)(WS_POPUP | WS_CAPTION | WS_VISIBLE), style & ~WS_CLIPSIBLINGS);
    // ... and WS_EX_WINDOWEDGE to every window with a dialog frame.
    EXPECT_EQ(0, GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE);
    EXPECT_EQ((HWND)NULL, GetParent(window));
    EXPECT_EQ((HMENU)NULL, GetMenu(window));

    BITMAP picture = {};
    ASSERT_NE(0, GetObjectA(appState.picture, sizeof picture, &picture));
    EXPECT_EQ(270, picture.bmWidth);
    EXPECT_EQ(180, picture.bmHeight);

    ExpectWindowRect(window, ExpectedWindowRect(270, 180));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(270, client.right);

    struct ButtonCase {
        int id;
        const char* text;
        LONG style;
        Placement place;
    } const buttons[] = {
        {IDC_YES, "Yes", WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON,
         {120, 150, 60, 23}},
        {IDC_NO, "No", WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON,
         {190, 150, 60, 23}},
    };
    for (const ButtonCase& button : buttons) {
        SCOPED_TRACE(button.text);
        HWND control = GetDlgItem(window, button.id);
        ASSERT_NE((HWND)NULL, control);
        EXPECT_EQ("Button", ClassOf(control));
        EXPECT_EQ(button.text, WindowText(control));
        EXPECT_EQ(button.style, GetWindowLongA(control, GWL_STYLE));
        EXPECT_EQ(0, GetWindowLongA(control, GWL_EXSTYLE));
        EXPECT_TRUE(IsWindowEnabled(control));
        // No font is assigned: the buttons use the system's.
        EXPECT_EQ(0, SendMessageA(control, WM_GETFONT, 0, 0));
        Placement place = ChildPlacement(control);
        EXPECT_EQ(button.place.x, place.x);
        EXPECT_EQ(button.place.y, place.y);
        EXPECT_EQ(button.place.width, place.width);
        EXPECT_EQ(button.place.height, place.height);
    }
}

TEST_F(ConfirmationWindow, DestructionReleasesThePictureAndEndsTheLoop)
{
    HWND window = Open(GetModuleHandleA(NULL));
    ASSERT_NE((HWND)NULL, window);
    HBITMAP picture = appState.picture;
    BITMAP size;
    ASSERT_NE(0, GetObjectA(picture, sizeof size, &size));

    DestroyWindow(window);
    EXPECT_EQ(0, GetObjectA(picture, sizeof size, &size));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, msg.wParam);
}

// A copy of the launcher with another picture: the window and the buttons follow its size;
// without a usable picture the window takes the size of the one it ships with.
enum PictureKind { Solid, NoResources, Unreadable };

struct PictureCase {
    const char* name;
    PictureKind kind;
    int width, height;  // of the solid picture; else the size the window must take
};

void PrintTo(const PictureCase& c, std::ostream* out)
{
    *out << c.name;
}

class PictureSize : public WindowFixture, public ::testing::WithParamInterface<PictureCase> {
};

const COLORREF pictureColour = RGB(0x20, 0x80, 0xC0);

TEST_P(PictureSize, MovesTheWindowAndTheButtons)
{
    const PictureCase& c = GetParam();
    std::string folder = FreshTestFolder(std::string("picture-") + c.name);
    std::string copy = Join(folder, "uninst.exe");
    std::string bmp = c.kind == Solid        ? MakeSolidPicture(c.width, c.height, pictureColour)
                      : c.kind == Unreadable ? std::string(64, '\0')
                                             : std::string();
    ASSERT_TRUE(CopyLauncherWithPicture(copy, bmp));
    HMODULE module = LoadProgramCopy(copy);
    ASSERT_NE((HMODULE)NULL, module);

    HWND window = Open(module);
    ASSERT_NE((HWND)NULL, window);
    EXPECT_EQ(c.kind != Solid, appState.picture == NULL);

    ExpectWindowRect(window, ExpectedWindowRect(c.width, c.height));

    Placement yes = ChildPlacement(GetDlgItem(window, IDC_YES));
    Placement no = ChildPlacement(GetDlgItem(window, IDC_NO));
    EXPECT_EQ(c.width - 150, yes.x);
    EXPECT_EQ(c.height - 30, yes.y);
    EXPECT_EQ(c.width - 80, no.x);
    EXPECT_EQ(c.height - 30, no.y);

    // The picture covers the client area from its top left corner; without one, the class
    // brush shows. Only what lies on the screen can be read back, and the caption may be
    // taller than the room left for it, which cuts off the bottom of the picture.
    RECT shown = {0, 0, c.width, c.height};
    RECT client;
    GetClientRect(window, &client);
    IntersectRect(&shown, &shown, &client);
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    MapWindowPoints(NULL, window, (POINT*)&screen, 2);
    IntersectRect(&shown, &shown, &screen);
    ASSERT_FALSE(IsRectEmpty(&shown));
    COLORREF want = c.kind == Solid ? pictureColour : GetSysColor(COLOR_WINDOW);
    HDC dc = GetDC(window);
    const POINT corners[] = {{shown.left, shown.top},
                             {shown.right - 1, shown.top},
                             {shown.left, shown.bottom - 1},
                             {shown.right - 1, shown.bottom - 1}};
    RECT yesRect = {yes.x, yes.y, yes.x + yes.width, yes.y + yes.height};
    RECT noRect = {no.x, no.y, no.x + no.width, no.y + no.height};
    for (const POINT& corner : corners) {
        if (PtInRect(&yesRect, corner) || PtInRect(&noRect, corner))
            continue;
        SCOPED_TRACE(testing::Message() << "pixel " << corner.x << "," << corner.y);
        EXPECT_EQ(want, GetPixel(dc, corner.x, corner.y));
    }
    ReleaseDC(window, dc);

    DestroyWindow(window);
    FreeLibrary(module);
    RemoveTree(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureSize,
    ::testing::Values(PictureCase{"Wider", Solid, 320, 200},
                      PictureCase{"Narrower", Solid, 200, 120},
                      // Larger than the 1024 x 768 screen, odd: centred to a negative
                      // position, truncated toward zero, and not moved onto the screen.
                      PictureCase{"Oversized", Solid, 1101, 801},
                      PictureCase{"Missing", NoResources, 270, 180},
                      PictureCase{"Unreadable", Unreadable, 270, 180}),
    [](const ::testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

// The window procedure's table, driven through the real queue: keys through the system's
// input, clicks on the buttons, WM_COMMAND and WM_CLOSE as the window receives them.
enum EngineState { Idle, Running, Ended };
enum Outcome { Nothing, Launches, Destroys };
enum Delivery { Key, Click, Command, Close };

struct AnswerCase {
    const char* name;
    Delivery delivery;
    WPARAM value;  // virtual key, control id clicked, or WM_COMMAND's wParam
    Outcome whenIdle;
    Outcome whenEnded;
};

void PrintTo(const AnswerCase& c, std::ostream* out)
{
    *out << c.name;
}

class Answers : public WindowFixture,
                public ::testing::WithParamInterface<std::tuple<EngineState, AnswerCase>> {
protected:
    static void SetUpTestSuite()
    {
        // The program lives in a folder of its own with an uninstall section that does
        // nothing, so that every launch runs the real engine harmlessly.
        folder = FreshTestFolder("answers");
        CopyOneFile(LauncherPath(), Join(folder, "uninst.exe"));
        WriteTextFile(Join(folder, "wizardc.inf"), idleInf);
        program = LoadProgramCopy(Join(folder, "uninst.exe"));
    }

    static void TearDownTestSuite()
    {
        FreeLibrary(program);
        RemoveTree(folder);
    }

    // The window in the foreground, with the program as the module whose folder a launch
    // looks in for the engine's INF.
    HWND OpenForProgram(void)
    {
        HWND window = Open(GetModuleHandleA(NULL));
        if (window == NULL)
            return NULL;
        appState.instance = program;
        SetForegroundWindow(window);
        PumpMessages(50);
        return window;
    }

    static std::string folder;
    static HMODULE program;
};

std::string Answers::folder;
HMODULE Answers::program;

struct Snapshot {
    HANDLE engine;
    int launched;
    BOOL yesEnabled, noEnabled;
};

Snapshot Take(HWND window)
{
    return Snapshot{appState.engineProcess, appState.engineLaunched,
                    IsWindowEnabled(GetDlgItem(window, IDC_YES)),
                    IsWindowEnabled(GetDlgItem(window, IDC_NO))};
}

int EngineChanged(void* before)
{
    return appState.engineProcess != ((Snapshot*)before)->engine;
}

int WindowGone(void* window)
{
    return !IsWindow((HWND)window);
}

TEST_P(Answers, FollowTheTable)
{
    EngineState state = std::get<0>(GetParam());
    const AnswerCase& c = std::get<1>(GetParam());
    ASSERT_NE((HMODULE)NULL, program);

    HWND window = OpenForProgram();
    ASSERT_NE((HWND)NULL, window);
    ASSERT_EQ(window, GetFocus());

    if (state != Idle) {
        // As after a launch: the engine's process kept, both buttons disabled.
        appState.engineProcess = StartStandIn();
        ASSERT_NE((HANDLE)NULL, appState.engineProcess);
        appState.engineLaunched = 1;
        EnableWindow(GetDlgItem(window, IDC_YES), FALSE);
        EnableWindow(GetDlgItem(window, IDC_NO), FALSE);
        if (state == Ended)
            EndIdleProcess(appState.engineProcess);
    }
    ASSERT_EQ(state == Running, IsEngineRunning());
    Snapshot before = Take(window);

    switch (c.delivery) {
    case Key:
        PressKey((WORD)c.value);
        break;
    case Click: {
        Placement button = ChildPlacement(GetDlgItem(window, (int)c.value));
        ClickAt(window, button.x + button.width / 2, button.y + button.height / 2);
        break;
    }
    case Command:
        SendMessageA(window, WM_COMMAND, c.value, 0);
        break;
    case Close:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    }

    Outcome expected = state == Running ? Nothing : state == Idle ? c.whenIdle : c.whenEnded;
    switch (expected) {
    case Launches:
        EXPECT_TRUE(PumpUntil(EngineChanged, &before, 5000));
        TrackEngine(appState.engineProcess);
        EXPECT_NE((HANDLE)NULL, appState.engineProcess);
        EXPECT_EQ(1, appState.engineLaunched);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_YES)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_NO)));
        break;
    case Destroys:
        EXPECT_TRUE(PumpUntil(WindowGone, window, 5000));
        EXPECT_EQ(before.engine, appState.engineProcess);
        EXPECT_EQ(before.launched, appState.engineLaunched);
        break;
    case Nothing: {
        PumpMessages(300);
        Snapshot after = Take(window);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_EQ(before.engine, after.engine);
        EXPECT_EQ(before.launched, after.launched);
        EXPECT_EQ(before.yesEnabled, after.yesEnabled);
        EXPECT_EQ(before.noEnabled, after.noEnabled);
        EXPECT_FALSE(QuitPending());
        break;
    }
    }
}

// Keys go to the window that has the focus: with a button focused, Enter and Esc reach the
// button, not the window, and answer nothing.
TEST_F(Answers, KeysOnAFocusedButtonAreNoAnswer)
{
    ASSERT_NE((HMODULE)NULL, program);
    HWND window = OpenForProgram();
    ASSERT_NE((HWND)NULL, window);

    const WORD keys[] = {VK_RETURN, VK_ESCAPE};
    for (WORD key : keys) {
        SCOPED_TRACE(key);
        SetFocus(GetDlgItem(window, IDC_NO));
        ASSERT_EQ(GetDlgItem(window, IDC_NO), GetFocus());
        PressKey(key);
        PumpMessages(300);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_EQ((HANDLE)NULL, appState.engineProcess);
        EXPECT_FALSE(QuitPending());
    }
}

// Once the engine has ended the buttons stay disabled, so clicks do nothing, while Enter
// starts the engine again and Esc and close requests are answered as before it ran.
const AnswerCase answerCases[] = {
    {"Enter", Key, VK_RETURN, Launches, Launches},
    {"Esc", Key, VK_ESCAPE, Destroys, Destroys},
    {"LetterA", Key, 'A', Nothing, Nothing},
    {"Space", Key, VK_SPACE, Nothing, Nothing},
    {"Tab", Key, VK_TAB, Nothing, Nothing},
    {"Backspace", Key, VK_BACK, Nothing, Nothing},
    {"ClickYes", Click, IDC_YES, Launches, Nothing},
    {"ClickNo", Click, IDC_NO, Destroys, Nothing},
    {"CommandYes", Command, IDC_YES, Launches, Launches},
    {"CommandNo", Command, IDC_NO, Destroys, Destroys},
    // Only the low word names the command.
    {"CommandYesHighWord", Command, MAKEWPARAM(IDC_YES, 1), Launches, Launches},
    {"CommandNoClicked", Command, MAKEWPARAM(IDC_NO, BN_CLICKED), Destroys, Destroys},
    {"CommandOther", Command, 106, Nothing, Nothing},
    {"CommandZero", Command, 0, Nothing, Nothing},
    {"CommandOtherHighWordYes", Command, MAKEWPARAM(106, IDC_YES), Nothing, Nothing},
    {"Close", Close, 0, Destroys, Destroys},
};

std::string AnswerName(const ::testing::TestParamInfo<Answers::ParamType>& info)
{
    static const char* const states[] = {"Idle", "Running", "Ended"};
    return std::string(states[std::get<0>(info.param)]) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Table, Answers,
                         ::testing::Combine(::testing::Values(Idle, Running, Ended),
                                            ::testing::ValuesIn(answerCases)),
                         AnswerName);

}  // namespace
