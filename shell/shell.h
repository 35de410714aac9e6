// The application shell: the three globals, the entry and main window, the
// property sheet, and the helpers every page uses.
#pragma once

#include "platform/wince.h"

extern HINSTANCE g_hInstance;
extern HWND g_hwndMain;
extern HWND g_hwndCommandBar;

// main_window.cpp
BOOL CreateMainWindow(HINSTANCE hInstance, int nCmdShow);
ATOM RegisterMainWindowClass(HINSTANCE hInstance, LPWSTR szWindowClass);
LRESULT CALLBACK MainWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// sheet.cpp
int RunUtilitySheet(HWND hwndMain);
void CenterInParent(HWND hDlg);
void ConfirmExit(HWND hDlg);
void SaveRegistryAndOfferReboot(HWND hwndOwner);
BOOL CALLBACK AboutPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog procedures of pages 1 to 4 (pages/).
BOOL CALLBACK SettingsPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK SystemInfoPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK AutoRunPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK UpdatePageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
