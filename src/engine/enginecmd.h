// The uninstall engine's command: the file it runs and the parameters; no platform calls.
#ifndef UNINST_ENGINE_ENGINECMD_H
#define UNINST_ENGINE_ENGINECMD_H

#define ENGINE_FILE_NAME "Rundll32.exe"
#define ENGINE_INF_NAME "wizardc.inf"
// 132 = 128 (the INF's own folder is the default source path) + 4 (ask before a restart,
// only when one is needed). The folder is not quoted: InstallHinfSection takes the rest of
// the line as the INF's path, spaces included.
#define ENGINE_PARAMETERS_FORMAT "setupapi.dll,InstallHinfSection DefaultUninstall 132 %s\\" ENGINE_INF_NAME

// The parameters for the program's folder; 0, with `dest` emptied, when they do not fit.
int BuildEngineParameters(char* dest, unsigned size, const char* folder);

#endif
