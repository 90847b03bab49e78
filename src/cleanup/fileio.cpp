// The rename list's file and memory calls, handed straight to the platform.
#include "cleanup/fileio.h"

HFILE WINAPI ListOpen(LPCSTR path, LPOFSTRUCT info, UINT mode)
{
    return OpenFile(path, info, mode);
}

LONG WINAPI ListSeek(HFILE file, LONG offset, int origin)
{
    return _llseek(file, offset, origin);
}

UINT WINAPI ListRead(HFILE file, LPVOID buffer, UINT count)
{
    return _lread(file, buffer, count);
}

UINT WINAPI ListWrite(HFILE file, LPCCH buffer, UINT count)
{
    return _lwrite(file, buffer, count);
}

HFILE WINAPI ListClose(HFILE file)
{
    return _lclose(file);
}

HGLOBAL WINAPI ListAlloc(UINT flags, SIZE_T size)
{
    return GlobalAlloc(flags, size);
}

LPVOID WINAPI ListLock(HGLOBAL block)
{
    return GlobalLock(block);
}

BOOL WINAPI ListUnlock(HGLOBAL block)
{
    return GlobalUnlock(block);
}

HGLOBAL WINAPI ListFree(HGLOBAL block)
{
    return GlobalFree(block);
}

UINT WINAPI ListTempName(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR path)
{
    return GetTempFileNameA(folder, prefix, unique, path);
}

BOOL WINAPI ListReplace(LPCSTR from, LPCSTR to, DWORD flags)
{
    return MoveFileExA(from, to, flags);
}

BOOL WINAPI ListMove(LPCSTR from, LPCSTR to)
{
    return MoveFileA(from, to);
}

BOOL WINAPI ListDelete(LPCSTR path)
{
    return DeleteFileA(path);
}
