// Keeps DLLs planted beside the launcher out of its process, which may run elevated.
#include <windows.h>

#include "app/dllsearch.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD);

void RestrictDllSearch(void)
{
    // Looked up, not imported: Windows 95 to Vista lack it and would refuse to load the file.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL)
        return;
    void* proc = (void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (proc != NULL)
        ((SetDefaultDllDirectoriesProc)proc)(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
