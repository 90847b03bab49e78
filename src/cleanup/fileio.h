// The file and memory calls of the rename list, one thin wrapper each, so tests can fail any.
#ifndef UNINST_CLEANUP_FILEIO_H
#define UNINST_CLEANUP_FILEIO_H

#include <windows.h>

// Each wrapper takes the arguments of the platform call it names and reports its result
// unchanged. Sharing the platform's calling convention lets each compile to a single jump.

HFILE WINAPI ListOpen(LPCSTR path, LPOFSTRUCT info, UINT mode);          // OpenFile
LONG WINAPI ListSeek(HFILE file, LONG offset, int origin);                // _llseek
UINT WINAPI ListRead(HFILE file, LPVOID buffer, UINT count);              // _lread
UINT WINAPI ListWrite(HFILE file, LPCCH buffer, UINT count);              // _lwrite
HFILE WINAPI ListClose(HFILE file);                                       // _lclose

HGLOBAL WINAPI ListAlloc(UINT flags, SIZE_T size);                        // GlobalAlloc
LPVOID WINAPI ListLock(HGLOBAL block);                                    // GlobalLock
BOOL WINAPI ListUnlock(HGLOBAL block);                                    // GlobalUnlock
HGLOBAL WINAPI ListFree(HGLOBAL block);                                   // GlobalFree

UINT WINAPI ListTempName(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR path);  // GetTempFileNameA
BOOL WINAPI ListReplace(LPCSTR from, LPCSTR to, DWORD flags);             // MoveFileExA
BOOL WINAPI ListMove(LPCSTR from, LPCSTR to);                             // MoveFileA
BOOL WINAPI ListDelete(LPCSTR path);                                      // DeleteFileA

#endif
