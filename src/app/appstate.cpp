// The application state record and the message loop that watches the engine.
#include "app/appstate.h"
#include "app/branding.h"
#include "common/text.h"

AppState appState;

void ResetAppState(void)
{
    appState.instance = NULL;
    appState.mainWindow = NULL;
    appState.picture = NULL;
    appState.engineProcess = NULL;
    appState.engineLaunched = 0;
    CopyText(appState.windowTitle, sizeof appState.windowTitle, UNINST_WINDOW_TITLE);
    CopyText(appState.windowClassName, sizeof appState.windowClassName, UNINST_WINDOW_CLASS);
}

void RunMessageLoop(void)
{
    MSG msg;
    int closePosted = 0;
    // GetMessageA reports -1 on error; treating that as the end avoids a loop that spins.
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        // The engine is observed only here, after each message: no timer, no blocking wait.
        if (!closePosted && appState.engineProcess != NULL &&
            WaitForSingleObject(appState.engineProcess, 0) == WAIT_OBJECT_0) {
            PostMessageA(appState.mainWindow, WM_CLOSE, 0, 0);
            closePosted = 1;
        }
    }
}
