// A DLL planted beside the program is not loaded by name once the search is restricted.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/dllsearch.h"
#include "common/paths.h"
#include "common/text.h"

#ifndef LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif

TEST(DllSearch, PlantedDllBesideTheProgramIsNotLoaded)
{
    char folder[MAX_PATH];
    char planted[MAX_PATH];
    char system[MAX_PATH];
    char source[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(NULL, folder, MAX_PATH), 0u);
    ASSERT_EQ(CutToFolder(folder), 1);
    ASSERT_EQ(JoinPath(planted, sizeof planted, folder, "uninstplanted.dll"), 1);
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    ASSERT_EQ(JoinPath(source, sizeof source, system, "msimg32.dll"), 1);
    ASSERT_TRUE(CopyFileA(source, planted, FALSE)) << GetLastError();

    // The program's own folder is searched by default: the plant would be loaded.
    HMODULE before = LoadLibraryA("uninstplanted.dll");
    EXPECT_NE(before, nullptr);
    if (before != NULL)
        FreeLibrary(before);

    RestrictDllSearch();
    HMODULE after = LoadLibraryA("uninstplanted.dll");
    EXPECT_EQ(after, nullptr);
    if (after != NULL)
        FreeLibrary(after);
    // System DLLs still load.
    HMODULE shell = LoadLibraryA("shell32.dll");
    EXPECT_NE(shell, nullptr);

    // Give the rest of the test program its ordinary search order back.
    typedef BOOL(WINAPI * Proc)(DWORD);
    Proc restore = (Proc)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    ASSERT_NE(restore, nullptr);
    restore(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    DeleteFileA(planted);
}
