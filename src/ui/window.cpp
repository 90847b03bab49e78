// The confirmation window: the picture that asks, Yes and No, Enter and Esc.
#include "ui/window.h"

#include "app/appstate.h"
#include "engine/engine.h"
#include "res/resource.h"
#include "ui/geometry.h"

void RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass;
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LARGE));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = appState.windowClassName;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    RegisterClassExA(&windowClass);
}

static void CreateButton(HWND parent, const char* text, int id, DWORD style, const Rect4* place)
{
    CreateWindowExA(0, "button", text, WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | style,
                    place->x, place->y, place->width, place->height, parent,
                    (HMENU)(INT_PTR)id, appState.instance, NULL);
}

int CreateMainWindow(HINSTANCE instance, int showCommand)
{
    (void)showCommand;
    appState.instance = instance;
    appState.picture = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_PICTURE));
    BITMAP size;
    size.bmWidth = 0;
    size.bmHeight = 0;
    if (appState.picture == NULL || GetObjectA(appState.picture, sizeof size, &size) == 0) {
        size.bmWidth = 0;
        size.bmHeight = 0;
    }

    WindowLayout layout;
    ComputeWindowLayout(size.bmWidth, size.bmHeight, GetSystemMetrics(SM_CXSCREEN),
                        GetSystemMetrics(SM_CYSCREEN), GetSystemMetrics(SM_CXDLGFRAME),
                        GetSystemMetrics(SM_CYDLGFRAME), GetSystemMetrics(SM_CYMENUSIZE), &layout);

    HWND window = CreateWindowExA(0, appState.windowClassName, appState.windowTitle,
                                  WS_POPUP | WS_CAPTION, layout.window.x, layout.window.y,
                                  layout.window.width, layout.window.height, NULL, NULL, instance,
                                  NULL);
    if (window == NULL)
        return 0;
    appState.mainWindow = window;

    CreateButton(window, "Yes", IDC_YES, BS_DEFPUSHBUTTON, &layout.yes);
    CreateButton(window, "No", IDC_NO, BS_PUSHBUTTON, &layout.no);

    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return 1;
}

static void PaintPicture(HWND window)
{
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    HDC source = CreateCompatibleDC(target);
    HGDIOBJ previous = SelectObject(source, appState.picture);
    BITMAP size;
    if (appState.picture != NULL && GetObjectA(appState.picture, sizeof size, &size) != 0)
        BitBlt(target, 0, 0, size.bmWidth, size.bmHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    EndPaint(window, &paint);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        PaintPicture(window);
        return 0;

    case WM_DESTROY:
        if (appState.picture != NULL)
            DeleteObject(appState.picture);
        PostQuitMessage(0);
        return 0;

    case WM_CLOSE:
        // While the engine runs, the window is the only sign that the run goes on.
        if (!IsEngineRunning())
            DestroyWindow(window);
        return 0;

    case WM_CHAR:
        if (IsEngineRunning())
            return 0;
        if (wParam == 13)
            SendMessageA(window, WM_COMMAND, IDC_YES, 0);
        else if (wParam == 27)
            SendMessageA(window, WM_COMMAND, IDC_NO, 0);
        return 0;

    case WM_COMMAND:
        if (IsEngineRunning())
            break;
        if (LOWORD(wParam) == IDC_YES) {
            LaunchUninstallEngine(window);
            return 0;
        }
        if (LOWORD(wParam) == IDC_NO) {
            DestroyWindow(window);
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
