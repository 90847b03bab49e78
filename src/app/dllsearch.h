// Keeps DLLs planted beside the launcher out of its process.
#ifndef UNINST_APP_DLLSEARCH_H
#define UNINST_APP_DLLSEARCH_H

// Where the system offers SetDefaultDllDirectories (Windows 7 with its update and later),
// restricts every later DLL load to the system folder; elsewhere nothing changes.
void RestrictDllSearch(void);

#endif
