// WinMain: asks, runs the engine through the window, then removes what the run left behind.
#include <windows.h>

#include "app/appstate.h"
#include "app/dllsearch.h"
#include "cleanup/selfremoval.h"
#include "ui/window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
{
    (void)previousInstance;
    (void)commandLine;
    RestrictDllSearch();
    ResetAppState();
    RegisterMainClass(instance);
    if (!CreateMainWindow(instance, showCommand))
        return 0;
    RunMessageLoop();
    RunSelfRemoval();
    return 0;
}
