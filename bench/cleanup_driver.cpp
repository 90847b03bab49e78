// Times the clean-up routines inside Wine for bench/cleanup: pruning whole trees, and one
// insertion into a large wininit.ini beside a plain copy of the same file.
//   cleanup_driver prune FOLDER...           one "prune MS" line per tree
//   cleanup_driver rename SOURCE TARGET RUNS  "rename MS" and "copyfile MS" lines, RUNS each
// Exit code 1 when a routine did not do its work, 2 when the rename list changed nothing.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "cleanup/prune.h"
#include "cleanup/renamelist.h"

static double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

static int PruneTrees(int count, char** folders)
{
    int status = 0;
    for (int i = 0; i < count; i++) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        int removed = PruneEmptyFolders(folders[i]);
        QueryPerformanceCounter(&end);
        printf("prune %.3f\n", Milliseconds(start, end));
        if (!removed || GetFileAttributesA(folders[i]) != INVALID_FILE_ATTRIBUTES) {
            fprintf(stderr, "%s was not removed whole\n", folders[i]);
            status = 1;
        }
    }
    return status;
}

static LONGLONG FileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return ((LONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// Each run starts from a fresh copy of `source` as the list; the copy is not timed. The same
// copy, timed, is the floor that the insertion is measured against.
static int TimeRenameEntry(const char* source, const char* target, int runs)
{
    char list[MAX_PATH];
    char copy[MAX_PATH];
    UINT length = GetWindowsDirectoryA(list, MAX_PATH - 20);
    if (length == 0 || length >= MAX_PATH - 20)
        return 1;
    lstrcpyA(copy, list);
    lstrcatA(list, "\\wininit.ini");
    lstrcatA(copy, "\\wininit.copy");
    LONGLONG sourceSize = FileSize(source);
    int status = 0;
    for (int run = 0; run < runs && status == 0; run++) {
        LARGE_INTEGER start, end;
        if (!CopyFileA(source, list, FALSE))
            return 1;
        QueryPerformanceCounter(&start);
        AddRenameEntry(RENAME_FILE_FORMAT, target);
        QueryPerformanceCounter(&end);
        if (FileSize(list) == sourceSize) {
            fprintf(stderr, "AddRenameEntry left wininit.ini as it was\n");
            status = 2;
            break;
        }
        printf("rename %.3f\n", Milliseconds(start, end));

        DeleteFileA(copy);
        QueryPerformanceCounter(&start);
        BOOL copied = CopyFileA(source, copy, FALSE);
        QueryPerformanceCounter(&end);
        if (!copied)
            status = 1;
        printf("copyfile %.3f\n", Milliseconds(start, end));
    }
    // The entries name real files: left in place, the next start of the prefix would act on them.
    DeleteFileA(list);
    DeleteFileA(copy);
    return status;
}

int main(int argc, char** argv)
{
    if (argc >= 3 && lstrcmpA(argv[1], "prune") == 0)
        return PruneTrees(argc - 2, argv + 2);
    if (argc == 5 && lstrcmpA(argv[1], "rename") == 0)
        return TimeRenameEntry(argv[2], argv[3], atoi(argv[4]));
    fprintf(stderr, "usage: cleanup_driver prune FOLDER... | rename SOURCE TARGET RUNS\n");
    return 1;
}
