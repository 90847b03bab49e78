// Helpers shared by the tests that run under Wine: folders, files, copies of the launcher,
// stand-in processes, input and waiting.
#include "wine/testutil.h"

#include <vector>

static const char impostorName[] = "Rundll32.exe";
static const char impostorMarkerName[] = "impostor-ran.txt";

static std::string BaseName(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static std::string FolderOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

static std::string OwnPath(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(path, length);
}

// Runs before main: a copy of this program planted as Rundll32.exe must not run the tests
// (it would recurse); it only records that something started it.
static int ActAsImpostorWhenPlanted(void)
{
    std::string self = OwnPath();
    if (lstrcmpiA(BaseName(self).c_str(), impostorName) != 0)
        return 0;
    WriteTextFile(Join(FolderOf(self), impostorMarkerName), GetCommandLineA());
    ExitProcess(0);
    return 1;
}
static const int actingAsImpostor = ActAsImpostorWhenPlanted();

std::string TestProgramPath(void)
{
    (void)actingAsImpostor;
    return OwnPath();
}

std::string TestProgramFolder(void)
{
    return FolderOf(OwnPath());
}

std::string LauncherPath(void)
{
    return Join(TestProgramFolder(), "uninst.exe");
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder[folder.size() - 1] == '\\')
        return folder + name;
    return folder + "\\" + name;
}

static std::wstring LongPath(const std::string& path)
{
    std::wstring wide(path.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], (int)wide.size());
    wide.resize(length > 0 ? (size_t)length - 1 : 0);
    return L"\\\\?\\" + wide;
}

int MakeFolderTree(const std::string& path)
{
    // A drive ("C:") is there or not; it is never made.
    if (path.size() == 2 && path[1] == ':')
        return 1;
    if (FolderExists(path))
        return 1;
    std::string parent = FolderOf(path);
    if (!parent.empty() && parent.size() > 2 && !MakeFolderTree(parent))
        return 0;
    return CreateDirectoryW(LongPath(path).c_str(), NULL) || FolderExists(path);
}

int RemoveTree(const std::string& path)
{
    std::wstring wide = LongPath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 1;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(wide.c_str());
    }
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            char narrow[MAX_PATH * 4];
            if (WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, narrow, sizeof narrow, NULL,
                                    NULL) > 0)
                RemoveTree(Join(path, narrow));
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return RemoveDirectoryW(wide.c_str());
}

int FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int FolderExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int WriteTextFile(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == text.size();
}

int ReadTextFile(const std::string& path, std::string* text)
{
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    text->clear();
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got != 0)
        text->append(block, got);
    CloseHandle(file);
    return 1;
}

int CopyOneFile(const std::string& from, const std::string& to)
{
    return CopyFileW(LongPath(from).c_str(), LongPath(to).c_str(), FALSE);
}

std::string FreshTestFolder(const std::string& name)
{
    std::string folder = Join("C:\\uitests", name);
    RemoveTree(folder);
    MakeFolderTree(folder);
    return folder;
}

std::string PathOfLength(const std::string& base, unsigned length)
{
    std::string path = base;
    char letter = 'a';
    while (path.size() + 1 < length) {
        unsigned left = length - (unsigned)path.size() - 1;
        unsigned chunk = left > 200 ? 200 : left;
        // A last component needs a backslash and at least one character.
        if (left - chunk == 1)
            chunk--;
        path += "\\" + std::string(chunk, letter);
        letter = letter == 'z' ? 'a' : (char)(letter + 1);
    }
    return path;
}

HMODULE LoadProgramCopy(const std::string& path)
{
    // Short paths go in as they are, so that the module's name is the plain path; only
    // longer ones need the prefix.
    if (path.size() < MAX_PATH)
        return LoadLibraryExA(path.c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
    return LoadLibraryExW(LongPath(path).c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
}

int CopyLauncherWithPicture(const std::string& to, const std::string& bmp)
{
    if (!CopyOneFile(LauncherPath(), to))
        return 0;
    // Wine does not remove a single resource given no data, so "no picture" drops them all.
    HANDLE update = BeginUpdateResourceA(to.c_str(), bmp.empty());
    if (update == NULL)
        return 0;
    BOOL ok = bmp.empty() || UpdateResourceA(update, RT_BITMAP, MAKEINTRESOURCEA(129),
                                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                             (void*)bmp.data(), (DWORD)bmp.size());
    return EndUpdateResourceA(update, !ok) && ok;
}

std::string MakeSolidPicture(int width, int height, COLORREF colour)
{
    BITMAPINFOHEADER header = {};
    int stride = (width + 3) & ~3;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = BI_RGB;
    header.biSizeImage = (DWORD)(stride * height);
    header.biClrUsed = 256;
    std::vector<RGBQUAD> palette(256, RGBQUAD{0, 0, 0, 0});
    palette[1].rgbRed = GetRValue(colour);
    palette[1].rgbGreen = GetGValue(colour);
    palette[1].rgbBlue = GetBValue(colour);
    std::string dib((const char*)&header, sizeof header);
    dib.append((const char*)palette.data(), palette.size() * sizeof palette[0]);
    dib.append((size_t)stride * (size_t)height, '\1');
    return dib;
}

int PlantImpostor(const std::string& folder)
{
    DeleteFileA(ImpostorMarker(folder).c_str());
    return CopyOneFile(TestProgramPath(), Join(folder, impostorName));
}

std::string ImpostorMarker(const std::string& folder)
{
    return Join(folder, impostorMarkerName);
}

HANDLE StartIdleProcess(void)
{
    char command[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(command, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return NULL;
    lstrcatA(command, "\\cmd.exe");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Suspended, the process never runs a line, yet it is alive until it is terminated.
    if (!CreateProcessA(command, NULL, NULL, NULL, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        NULL, NULL, &startup, &process))
        return NULL;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void EndIdleProcess(HANDLE process)
{
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
}

int RunProgram(const std::string& commandLine, const std::string& outputPath,
               DWORD milliseconds, DWORD* exitCode)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (output == INVALID_HANDLE_VALUE)
        return 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = NULL;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    BOOL started = CreateProcessA(NULL, line.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                                  &process);
    CloseHandle(output);
    if (!started)
        return 0;
    CloseHandle(process.hThread);
    int ended = WaitForSingleObject(process.hProcess, milliseconds) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hProcess);
    return ended;
}

static WNDPROC hookedProcedure;
static MessageHook activeHook;

static LRESULT CALLBACK HookingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (activeHook != NULL)
        activeHook(window, message, wParam, lParam);
    return CallWindowProcA(hookedProcedure, window, message, wParam, lParam);
}

void HookWindow(HWND window, MessageHook hook)
{
    activeHook = hook;
    hookedProcedure =
        (WNDPROC)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)HookingProcedure);
}

void UnhookWindow(HWND window)
{
    if (IsWindow(window) && hookedProcedure != NULL)
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)hookedProcedure);
    activeHook = NULL;
}

static void DispatchPending(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void PumpMessages(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchPending();
        DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, NULL, FALSE, milliseconds - spent, QS_ALLINPUT);
    }
}

int PumpUntil(int (*done)(void* context), void* context, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchPending();
        if (done(context))
            return 1;
        DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return done(context);
        DWORD wait = milliseconds - spent;
        MsgWaitForMultipleObjects(0, NULL, FALSE, wait < 20 ? wait : 20, QS_ALLINPUT);
    }
}

void DrainMessages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    }
}

void PressKey(WORD virtualKey)
{
    INPUT keys[2] = {};
    for (int i = 0; i < 2; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = virtualKey;
        keys[i].ki.wScan = (WORD)MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof keys[0]);
}

void ClickAt(HWND window, int x, int y)
{
    POINT point = {x, y};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    INPUT clicks[2] = {};
    clicks[0].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].type = INPUT_MOUSE;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof clicks[0]);
}
