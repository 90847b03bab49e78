// The end of a run in which the engine was started: prune, then ask for deletion at restart.
#include <windows.h>

#include "cleanup/selfremoval.h"

#include "app/appstate.h"
#include "cleanup/prune.h"
#include "cleanup/renamelist.h"
#include "common/paths.h"
#include "engine/engine.h"

void RunSelfRemoval(void)
{
    if (!appState.engineLaunched)
        return;

    char folder[MAX_PATH];
    char executable[MAX_PATH];
    // An unknown folder or a root is never pruned nor requested: either would reach far
    // beyond what the program owns.
    int folderOwned = GetModuleDirectory(appState.instance, folder) && !IsRootFolder(folder);
    int executableKnown = GetModulePath(appState.instance, executable);

    if (folderOwned)
        PruneEmptyFolders(folder);

    // The executable is always requested before its folder.
    if (IsWin9xFamily()) {
        if (executableKnown)
            AddRenameEntry(RENAME_FILE_FORMAT, executable);
        if (folderOwned)
            AddRenameEntry(RENAME_FOLDER_FORMAT, folder);
        return;
    }
    if (executableKnown)
        MoveFileExA(executable, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (folderOwned)
        MoveFileExA(folder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}
