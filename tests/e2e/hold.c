/* A slow step for the INF engine in the end-to-end runs: the engine runs it, it adds a line to
   "started" beside itself and then waits until a file "release" appears there (at most two
   minutes), so that a test decides how long the engine stays busy. */
#include <windows.h>

/* `folder`\`name` into `buffer`; 0 when it does not fit. */
static int PathBeside(char* buffer, int size, const char* folder, const char* name)
{
    if (lstrlenA(folder) + 1 + lstrlenA(name) >= size)
        return 0;
    lstrcpyA(buffer, folder);
    lstrcatA(buffer, "\\");
    lstrcatA(buffer, name);
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char folder[MAX_PATH];
    char started[MAX_PATH];
    char release[MAX_PATH];
    (void)instance;
    (void)previous;
    (void)show;

    DWORD length = GetModuleFileNameA(NULL, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    char* cut = folder + length;
    while (cut > folder && *cut != '\\')
        cut--;
    *cut = 0;
    if (!PathBeside(started, MAX_PATH, folder, "started") ||
        !PathBeside(release, MAX_PATH, folder, "release"))
        return 1;

    /* One line per start, so that a test can tell a second run of the engine from the first. */
    HANDLE file = CreateFileA(started, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, commandLine, lstrlenA(commandLine), &written, NULL);
        WriteFile(file, "\r\n", 2, &written, NULL);
        CloseHandle(file);
    }

    for (int wait = 0; wait < 2400; wait++) {
        if (GetFileAttributesA(release) != INVALID_FILE_ATTRIBUTES)
            return 0;
        Sleep(50);
    }
    return 0;
}
