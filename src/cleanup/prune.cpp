// Removes the empty folders of a tree, deepest first, without leaving it or touching a file.
#include <windows.h>

#include "cleanup/prune.h"
#include "common/paths.h"
#include "common/text.h"

static int IsDotEntry(const char* name)
{
    return SameText(name, ".") || SameText(name, "..");
}

int PruneEmptyFolders(const char* folder)
{
    if (IsRootFolder(folder))
        return 0;
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, sizeof pattern, folder, "*.*"))
        return 0;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            // A link leads out of the tree, or back up it: never followed.
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                !IsDotEntry(entry.cFileName)) {
                char child[MAX_PATH];
                if (JoinPath(child, sizeof child, folder, entry.cFileName))
                    PruneEmptyFolders(child);
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    if (FolderHasEntries(folder))
        return 0;
    RemoveDirectoryA(folder);
    return 1;
}

int FolderHasEntries(const char* folder)
{
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, sizeof pattern, folder, "*.*"))
        return 1;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int found = 0;
    do {
        if (!IsDotEntry(entry.cFileName)) {
            found = 1;
            break;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}
