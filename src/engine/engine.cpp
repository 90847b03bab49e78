// Starts the platform's INF engine on the uninstall section and watches its process.
#include <windows.h>
#include <shellapi.h>

#include "engine/engine.h"

#include "app/appstate.h"
#include "common/paths.h"
#include "common/text.h"
#include "engine/enginecmd.h"
#include "res/resource.h"

int GetModulePath(HINSTANCE instance, char* buffer)
{
    DWORD length = GetModuleFileNameA(instance, buffer, MAX_PATH);
    // A result that fills the buffer may be a cut-off path; older systems then leave it
    // without a terminating zero.
    if (length == 0 || length >= MAX_PATH) {
        buffer[0] = 0;
        return 0;
    }
    buffer[length] = 0;
    return 1;
}

int GetModuleDirectory(HINSTANCE instance, char* buffer)
{
    return GetModulePath(instance, buffer) && CutToFolder(buffer);
}

int IsWin9xFamily(void)
{
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return 0;
    return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// 1 when `folder`\Rundll32.exe exists as a file; its path is then in `buffer`.
static int FindRundll32In(const char* folder, unsigned folderLength, char* buffer, unsigned size)
{
    if (folderLength == 0 || folderLength >= MAX_PATH)
        return 0;
    if (!JoinPath(buffer, size, folder, ENGINE_FILE_NAME))
        return 0;
    DWORD attributes = GetFileAttributesA(buffer);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int FindSystemRundll32(char* buffer, unsigned size)
{
    char folder[MAX_PATH];
    // 95/98/Me keep Rundll32.exe in the Windows folder; Wine keeps it in the system folder
    // even when it reports that family.
    if (IsWin9xFamily() &&
        FindRundll32In(folder, GetWindowsDirectoryA(folder, MAX_PATH), buffer, size))
        return 1;
    if (FindRundll32In(folder, GetSystemDirectoryA(folder, MAX_PATH), buffer, size))
        return 1;
    buffer[0] = 0;
    return 0;
}

int PrepareEngineLaunch(EngineLaunch* launch)
{
    char folder[MAX_PATH];
    if (!GetModuleDirectory(appState.instance, folder))
        return 0;
    if (!BuildEngineParameters(launch->parameters, sizeof launch->parameters, folder))
        return 0;
    if (!FindSystemRundll32(launch->file, sizeof launch->file))
        return 0;

    SHELLEXECUTEINFOA* record = &launch->record;
    unsigned char* bytes = (unsigned char*)record;
    for (unsigned i = 0; i < sizeof *record; i++)
        bytes[i] = 0;
    record->cbSize = sizeof *record;
    record->fMask = SEE_MASK_NOCLOSEPROCESS;
    record->hwnd = NULL;
    record->lpVerb = "open";
    record->lpFile = launch->file;
    record->lpParameters = launch->parameters;
    record->lpDirectory = NULL;
    record->nShow = SW_SHOW;
    return 1;
}

void LaunchUninstallEngine(HWND window)
{
    EngineLaunch launch;
    if (!PrepareEngineLaunch(&launch))
        return;
    if (!ShellExecuteExA(&launch.record))
        return;
    // Without a handle nothing could tell when the engine has finished, and the clean-up
    // would run while it may still be removing the product.
    if (launch.record.hProcess == NULL)
        return;
    appState.engineProcess = launch.record.hProcess;
    appState.engineLaunched = 1;
    EnableWindow(GetDlgItem(window, IDC_YES), FALSE);
    EnableWindow(GetDlgItem(window, IDC_NO), FALSE);
}

int IsEngineRunning(void)
{
    return appState.engineProcess != NULL &&
           WaitForSingleObject(appState.engineProcess, 0) == WAIT_TIMEOUT;
}
