// The message loop under Wine: it watches the engine only after a dispatched message, posts
// the close request once, and never closes the window by itself without a finished engine.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/appstate.h"
#include "engine/engine.h"
#include "wine/testutil.h"

namespace {

// What reached the window, seen from the loop's thread and read from the driver's.
std::atomic<int> closeRequests;
std::atomic<int> relaunchOnFirstClose;
std::atomic<HANDLE> nextEngine;
const UINT relaunchMessage = WM_APP + 1;

// Stands for a launch by Enter: the next engine becomes the one the loop watches, on the
// loop's own thread, as the window procedure would make it.
void Relaunch(void)
{
    HANDLE engine = nextEngine.exchange(NULL);
    if (engine != NULL)
        appState.engineProcess = engine;
}

void WatchLoop(HWND, UINT message, WPARAM, LPARAM)
{
    if (message == relaunchMessage)
        Relaunch();
    if (message == WM_CLOSE && ++closeRequests == 1 && relaunchOnFirstClose)
        Relaunch();
}

int WaitFor(const std::function<int()>& done, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return 0;
        Sleep(10);
    }
    return 1;
}

class MessageLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        closeRequests = 0;
        relaunchOnFirstClose = 0;
        nextEngine = NULL;
        window = OpenLauncherWindow();
        ASSERT_NE((HWND)NULL, window);
        SetForegroundWindow(window);
        HookWindow(window, WatchLoop);
        // Whatever creating and showing the window queued is handled before the loop runs,
        // so that the loop starts waiting on an empty queue.
        PumpMessages(100);
    }

    void TearDown() override
    {
        for (HANDLE engine : engines) {
            EndIdleProcess(engine);
            CloseHandle(engine);
        }
        CloseLauncherWindow(window);
    }

    // A stand-in engine that runs until the test ends it.
    HANDLE StartEngine(void)
    {
        HANDLE engine = StartIdleProcess();
        if (engine != NULL)
            engines.push_back(engine);
        return engine;
    }

    // Runs the loop on this thread while `drive` acts from another, as the user and the
    // engine would. A loop still running ten seconds after `drive` is done is ended from
    // outside, and the test fails.
    void RunLoopDrivenBy(const std::function<void()>& drive)
    {
        DWORD loopThread = GetCurrentThreadId();
        std::atomic<int> loopDone(0);
        std::atomic<int> timedOut(0);
        std::thread driver([&] {
            drive();
            if (!WaitFor([&] { return loopDone.load(); }, 10000)) {
                timedOut = 1;
                PostThreadMessageA(loopThread, WM_QUIT, 0, 0);
            }
        });
        RunMessageLoop();
        loopDone = 1;
        driver.join();
        EXPECT_EQ(0, timedOut.load()) << "the loop did not end";
    }

    HWND window = NULL;
    std::vector<HANDLE> engines;
};

// The engine ends while nothing arrives: the loop sleeps in GetMessageA and nothing happens
// until a message of any kind has been dispatched; then WM_CLOSE closes the window.
enum Waker { WindowMessage, ThreadMessage, KeyPress };

struct WakerCase {
    const char* name;
    Waker waker;
};

void PrintTo(const WakerCase& c, std::ostream* out)
{
    *out << c.name;
}

class EngineEnd : public MessageLoop, public ::testing::WithParamInterface<WakerCase> {
};

TEST_P(EngineEnd, IsNoticedAfterTheNextMessage)
{
    HANDLE engine = StartEngine();
    ASSERT_NE((HANDLE)NULL, engine);
    appState.engineProcess = engine;
    appState.engineLaunched = 1;

    int closesWhileQuiet = -1;
    int aliveWhileQuiet = 0;
    HWND target = window;
    DWORD loopThread = GetCurrentThreadId();
    Waker waker = GetParam().waker;
    RunLoopDrivenBy([&] {
        Sleep(100);
        EndIdleProcess(engine);
        Sleep(500);
        closesWhileQuiet = closeRequests;
        aliveWhileQuiet = IsWindow(target);
        switch (waker) {
        case WindowMessage:
            PostMessageA(target, WM_NULL, 0, 0);
            break;
        case ThreadMessage:
            PostThreadMessageA(loopThread, WM_APP + 7, 0, 0);
            break;
        case KeyPress:
            PressKey(VK_SHIFT);
            break;
        }
    });

    EXPECT_EQ(0, closesWhileQuiet);
    EXPECT_TRUE(aliveWhileQuiet);
    EXPECT_EQ(1, closeRequests.load());
    EXPECT_FALSE(IsWindow(window));
}

INSTANTIATE_TEST_SUITE_P(
    Wakers, EngineEnd,
    ::testing::Values(WakerCase{"WindowMessage", WindowMessage},
                      WakerCase{"ThreadMessage", ThreadMessage},
                      WakerCase{"KeyPress", KeyPress}),
    [](const ::testing::TestParamInfo<WakerCase>& info) { return std::string(info.param.name); });

// The close request is refused while a new engine runs (Enter started it again before the
// request arrived); however many messages follow, and even after that engine has ended, no
// second request comes. The window stays until Esc.
TEST_F(MessageLoop, PostsTheCloseRequestOnlyOnce)
{
    HANDLE first = StartEngine();
    HANDLE second = StartEngine();
    ASSERT_NE((HANDLE)NULL, first);
    ASSERT_NE((HANDLE)NULL, second);
    appState.engineProcess = first;
    appState.engineLaunched = 1;
    nextEngine = second;
    relaunchOnFirstClose = 1;

    int firstArrived = 0;
    int closesAfterAll = -1;
    int aliveAfterAll = 0;
    HWND target = window;
    RunLoopDrivenBy([&] {
        EndIdleProcess(first);
        PostMessageA(target, WM_NULL, 0, 0);
        firstArrived = WaitFor([] { return closeRequests.load() >= 1; }, 5000);
        for (int i = 0; i < 30; i++)
            PostMessageA(target, WM_NULL, 0, 0);
        Sleep(200);
        EndIdleProcess(second);
        for (int i = 0; i < 30; i++)
            PostMessageA(target, i % 2 ? WM_NULL : WM_MOUSEMOVE, 0, 0);
        Sleep(500);
        closesAfterAll = closeRequests;
        aliveAfterAll = IsWindow(target);
        PressKey(VK_ESCAPE);
    });

    EXPECT_TRUE(firstArrived);
    EXPECT_EQ(1, closesAfterAll);
    EXPECT_TRUE(aliveAfterAll);
    EXPECT_EQ(1, closeRequests.load());
    EXPECT_FALSE(IsWindow(window)) << "Esc closes the window";
}

// Enter started the engine again before any poll saw the first one end: the request waits
// for the new engine's end.
TEST_F(MessageLoop, WaitsForAnEngineStartedAgainBeforeThePoll)
{
    HANDLE first = StartEngine();
    HANDLE second = StartEngine();
    ASSERT_NE((HANDLE)NULL, first);
    ASSERT_NE((HANDLE)NULL, second);
    appState.engineProcess = first;
    appState.engineLaunched = 1;
    nextEngine = second;

    int closesWhileSecondRuns = -1;
    int aliveWhileSecondRuns = 0;
    HWND target = window;
    RunLoopDrivenBy([&] {
        Sleep(100);
        EndIdleProcess(first);
        PostMessageA(target, relaunchMessage, 0, 0);
        for (int i = 0; i < 20; i++)
            PostMessageA(target, WM_NULL, 0, 0);
        Sleep(300);
        closesWhileSecondRuns = closeRequests;
        aliveWhileSecondRuns = IsWindow(target);
        EndIdleProcess(second);
        PostMessageA(target, WM_NULL, 0, 0);
    });

    EXPECT_EQ(0, closesWhileSecondRuns);
    EXPECT_TRUE(aliveWhileSecondRuns);
    EXPECT_EQ(1, closeRequests.load());
    EXPECT_FALSE(IsWindow(window));
}

// Without an engine (no launch, or a failed one) or with a handle that cannot be waited on,
// the loop never closes the window: the run ends only when the user closes it.
struct NoEngineCase {
    const char* name;
    HANDLE engine;
};

void PrintTo(const NoEngineCase& c, std::ostream* out)
{
    *out << c.name;
}

class WithoutEngine : public MessageLoop, public ::testing::WithParamInterface<NoEngineCase> {
};

TEST_P(WithoutEngine, TheUserClosesTheWindow)
{
    appState.engineProcess = GetParam().engine;

    int closesBeforeUser = -1;
    int aliveBeforeUser = 0;
    HWND target = window;
    RunLoopDrivenBy([&] {
        for (int i = 0; i < 30; i++)
            PostMessageA(target, WM_NULL, 0, 0);
        Sleep(300);
        closesBeforeUser = closeRequests;
        aliveBeforeUser = IsWindow(target);
        PostMessageA(target, WM_CLOSE, 0, 0);
    });

    EXPECT_EQ(0, closesBeforeUser);
    EXPECT_TRUE(aliveBeforeUser);
    EXPECT_EQ(1, closeRequests.load());
    EXPECT_FALSE(IsWindow(window));
}

INSTANTIATE_TEST_SUITE_P(
    Engines, WithoutEngine,
    ::testing::Values(NoEngineCase{"NoEngine", NULL},
                      NoEngineCase{"UnusableHandle", (HANDLE)(INT_PTR)0x7ff0}),
    [](const ::testing::TestParamInfo<NoEngineCase>& info) {
        return std::string(info.param.name);
    });

}  // namespace
