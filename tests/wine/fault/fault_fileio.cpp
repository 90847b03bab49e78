// The rename list's file layer with failures on demand: each call goes to the platform unless
// it is the one chosen to fail. Stands in for src/cleanup/fileio.cpp in the fault tests.
#include "cleanup/fileio.h"
#include "wine/fault/fault_fileio.h"

namespace {

Fault faults[4];
int faultCount;
int counts[CALL_KINDS];
int openFiles;
int liveBlocks;

// Counts the call; 0 to let it through, 1 to fail it, 2 to cut it short.
int Decide(FileCall call)
{
    int nth = ++counts[call];
    for (int i = 0; i < faultCount; i++)
        if (faults[i].call == call && faults[i].nth == nth)
            return faults[i].partial ? 2 : 1;
    return 0;
}

}  // namespace

void ResetFaults()
{
    faultCount = 0;
    for (int& count : counts)
        count = 0;
    openFiles = 0;
    liveBlocks = 0;
}

void AddFault(Fault fault)
{
    if (faultCount < (int)(sizeof faults / sizeof faults[0]))
        faults[faultCount++] = fault;
}

int CallCount(FileCall call)
{
    return counts[call];
}

int OpenFiles()
{
    return openFiles;
}

int LiveBlocks()
{
    return liveBlocks;
}

HFILE WINAPI ListOpen(LPCSTR path, LPOFSTRUCT info, UINT mode)
{
    if (Decide(CALL_OPEN)) {
        info->nErrCode = ERROR_ACCESS_DENIED;
        return HFILE_ERROR;
    }
    HFILE file = OpenFile(path, info, mode);
    if (file != HFILE_ERROR)
        openFiles++;
    return file;
}

LONG WINAPI ListSeek(HFILE file, LONG offset, int origin)
{
    return Decide(CALL_SEEK) ? HFILE_ERROR : _llseek(file, offset, origin);
}

UINT WINAPI ListRead(HFILE file, LPVOID buffer, UINT count)
{
    switch (Decide(CALL_READ)) {
    case 1: return (UINT)HFILE_ERROR;
    case 2: return count == 0 ? 0 : _lread(file, buffer, count - 1);
    }
    return _lread(file, buffer, count);
}

UINT WINAPI ListWrite(HFILE file, LPCCH buffer, UINT count)
{
    switch (Decide(CALL_WRITE)) {
    case 1: return (UINT)HFILE_ERROR;
    case 2: return count == 0 ? 0 : _lwrite(file, buffer, count - 1);
    }
    return _lwrite(file, buffer, count);
}

// A failing close still releases the handle, as a close that cannot flush does.
HFILE WINAPI ListClose(HFILE file)
{
    int fail = Decide(CALL_CLOSE);
    HFILE result = _lclose(file);
    if (result != HFILE_ERROR)
        openFiles--;
    return fail ? HFILE_ERROR : result;
}

HGLOBAL WINAPI ListAlloc(UINT flags, SIZE_T size)
{
    if (Decide(CALL_ALLOC))
        return NULL;
    HGLOBAL block = GlobalAlloc(flags, size);
    if (block != NULL)
        liveBlocks++;
    return block;
}

LPVOID WINAPI ListLock(HGLOBAL block)
{
    return Decide(CALL_LOCK) ? NULL : GlobalLock(block);
}

BOOL WINAPI ListUnlock(HGLOBAL block)
{
    return GlobalUnlock(block);
}

HGLOBAL WINAPI ListFree(HGLOBAL block)
{
    HGLOBAL result = GlobalFree(block);
    if (result == NULL)
        liveBlocks--;
    return result;
}

UINT WINAPI ListTempName(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR path)
{
    return Decide(CALL_TEMP_NAME) ? 0 : GetTempFileNameA(folder, prefix, unique, path);
}

// A failure here is what 95/98/Me always give: their MoveFileExA is a stub.
BOOL WINAPI ListReplace(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (Decide(CALL_REPLACE)) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    return MoveFileExA(from, to, flags);
}

BOOL WINAPI ListMove(LPCSTR from, LPCSTR to)
{
    return !Decide(CALL_MOVE) && MoveFileA(from, to);
}

BOOL WINAPI ListDelete(LPCSTR path)
{
    return !Decide(CALL_DELETE) && DeleteFileA(path);
}
