// The confirmation window: its class, its creation and its window procedure.
#ifndef UNINST_UI_WINDOW_H
#define UNINST_UI_WINDOW_H

#include <windows.h>

void RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
