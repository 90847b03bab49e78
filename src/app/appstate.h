// The one process-wide record of the launcher's state.
#ifndef UNINST_APP_APPSTATE_H
#define UNINST_APP_APPSTATE_H

#include <windows.h>

struct AppState {
    HINSTANCE instance;
    HWND mainWindow;
    HBITMAP picture;
    HANDLE engineProcess;   // null until a launch succeeds; never closed during the run
    int engineLaunched;     // set by the first successful launch, never cleared
    char windowTitle[100];
    char windowClassName[100];
};

extern AppState appState;

// Clears the record and fills the title and the class name.
void ResetAppState(void);

// Runs the message loop until the quit message; posts WM_CLOSE once the engine has ended.
void RunMessageLoop(void);

#endif
