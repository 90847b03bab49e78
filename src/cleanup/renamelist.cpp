// Deletion at restart on 95/98/Me: an entry goes into wininit.ini, and no old byte is lost.
#include <windows.h>

#include "cleanup/fileio.h"
#include "cleanup/renamelist.h"
#include "cleanup/renametext.h"
#include "common/text.h"

// 1 when `path` was created holding exactly `text`.
static int WriteWholeFile(const char* path, const char* text, unsigned length)
{
    OFSTRUCT info;
    HFILE file = ListOpen(path, &info, OF_CREATE | OF_WRITE);
    if (file == HFILE_ERROR)
        return 0;
    // One write for the whole list: a write per line would cost a system call per line.
    int whole = ListWrite(file, text, length) == length;
    return ListClose(file) != HFILE_ERROR && whole;
}

// Puts the file `temp` in the place of `list` where MoveFileExA is only a stub (95/98/Me).
// The old list steps aside and comes back if the new one cannot move in; if even that move
// fails, the aside copy is left where it is, as it then holds the only copy of the old list.
static int SwapIntoPlace(const char* folder, const char* temp, const char* list, int listExists)
{
    if (!listExists)
        return ListMove(temp, list);
    char aside[MAX_PATH];
    if (!ListTempName(folder, "wii", 0, aside))
        return 0;
    // GetTempFileNameA created the name as a file, and MoveFileA never replaces one.
    ListDelete(aside);
    if (!ListMove(list, aside))
        return 0;
    if (ListMove(temp, list)) {
        ListDelete(aside);
        return 1;
    }
    ListMove(aside, list);
    return 0;
}

// Replaces `list` with `text`: either the new list is in place whole, or the old one stays.
// The new list is written beside it first, so that a failed write never cuts the old one.
static void ReplaceList(const char* folder, const char* list, int listExists, const char* text,
                        unsigned length)
{
    char temp[MAX_PATH];
    if (!ListTempName(folder, "wii", 0, temp))
        return;
    if (!WriteWholeFile(temp, text, length) ||
        !(ListReplace(temp, list, MOVEFILE_REPLACE_EXISTING) ||
          SwapIntoPlace(folder, temp, list, listExists)))
        ListDelete(temp);
}

void AddRenameEntry(const char* format, const char* targetPath)
{
    char shortPath[MAX_PATH];
    char entry[MAX_PATH];
    char folder[MAX_PATH];
    char list[MAX_PATH];
    DWORD shortLength = GetShortPathNameA(targetPath, shortPath, MAX_PATH);
    UINT folderLength = GetWindowsDirectoryA(folder, MAX_PATH);
    if (shortLength == 0 || shortLength >= MAX_PATH || folderLength == 0 ||
        folderLength >= MAX_PATH || !FormatText(entry, sizeof entry, format, shortPath) ||
        !JoinPath(list, sizeof list, folder, "wininit.ini"))
        return;
    unsigned entryLength = TextLength(entry);

    OFSTRUCT info = {};
    HFILE file = ListOpen(list, &info, OF_READ);
    int listExists = file != HFILE_ERROR;
    LONG size = 0;
    if (listExists) {
        size = ListSeek(file, 0, FILE_END);
        if (ListSeek(file, 0, FILE_BEGIN) != 0)
            size = -1;
    } else if (info.nErrCode != ERROR_FILE_NOT_FOUND && info.nErrCode != ERROR_PATH_NOT_FOUND) {
        // The list is there but cannot be read: writing now would lose its lines.
        return;
    }

    // One block holds the old list and, behind it, the room for the new one.
    unsigned capacity = RenameListCapacity((unsigned)size, entryLength);
    unsigned total = (unsigned)size + capacity;
    HGLOBAL block = NULL;
    char* old = NULL;
    if (size >= 0 && capacity != 0 && total >= capacity) {
        block = ListAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, total);
        if (block != NULL)
            old = (char*)ListLock(block);
    }
    if (listExists) {
        if (old != NULL && ListRead(file, old, (UINT)size) != (UINT)size)
            old = NULL;
        ListClose(file);
    }
    unsigned length;
    if (old != NULL && InsertRenameEntry(old, (unsigned)size, entry, entryLength, old + size,
                                         capacity, &length))
        ReplaceList(folder, list, listExists, old + size, length);
    if (block != NULL) {
        ListUnlock(block);
        ListFree(block);
    }
}
