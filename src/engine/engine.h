// The uninstall engine: the program's folder, the launch, and the busy test.
#ifndef UNINST_ENGINE_ENGINE_H
#define UNINST_ENGINE_ENGINE_H

#include <windows.h>

// The executable's full path into `buffer` of MAX_PATH bytes; 0, with the buffer emptied,
// when it cannot be read or may have been cut short.
int GetModulePath(HINSTANCE instance, char* buffer);

// The program's folder, without a trailing backslash, into `buffer` of MAX_PATH bytes.
// Reports 0, with the buffer emptied, when the folder is unknown: the module path could not
// be read, may have been cut short, or names no folder. Nothing acts on an unknown folder.
int GetModuleDirectory(HINSTANCE instance, char* buffer);

// 1 on the Windows 95/98/Me family.
int IsWin9xFamily(void);

// The full path of the system's own Rundll32.exe: the system folder's on the NT family; on
// the 95/98/Me family the Windows folder's, or else the system folder's. Never the search
// path's, which looks in the program's folder and the current folder first.
int FindSystemRundll32(char* buffer, unsigned size);

struct EngineLaunch {
    SHELLEXECUTEINFOA record;
    char file[MAX_PATH];
    char parameters[MAX_PATH];
};

// Fills the launch record for the program's folder; 0 when there is nothing safe to start.
int PrepareEngineLaunch(EngineLaunch* launch);

// Starts the engine on Yes; on success keeps its process and disables both buttons.
void LaunchUninstallEngine(HWND window);

// 1 while the launched engine's process is alive. Never waits.
int IsEngineRunning(void);

#endif
