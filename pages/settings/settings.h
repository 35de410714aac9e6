// The "Save Registry" page: the display mode of the MQ200 display driver,
// the default directories of the FTP and HTTP servers, and the registry
// commands (viewer, factory restore). Its dialog procedure, SettingsPageProc,
// is declared in shell/shell.h.
#pragma once

#include "platform/wince.h"

// Labels, list items and server directories are 100-character buffers.
#define SETTINGS_TEXT_CHARS 100
// A directory label holds its format (at most 35 characters without "%s")
// and a whole directory of 99 characters: the label buffer is made larger
// than the others so that the longest label shows whole.
#define DIRECTORY_LABEL_CHARS 140

// ---------------------------------------------------------------- display mode
// Colour depths, refresh rates, widths, heights: four groups of four; row r
// of each list is the r-th entry of its group(s).
extern const LONG DisplayModeTable[16];

// Fills the four values from "Drivers\Display\MQ200", as far as they can be
// read; a value that is missing, or not exactly 4 bytes, leaves its variable
// as it was. A missing key leaves all four. Reports nothing.
void ReadDisplayMode(LONG& width, LONG& height, LONG& bpp, LONG& freq);
// ReadDisplayMode, then the three labels show the four variables.
void ShowDisplayMode(HWND hDlg, LONG& width, LONG& height, LONG& bpp, LONG& freq);
// Shows the current mode and fills and selects the three lists; once per
// page creation.
void InitDisplayModeControls(HWND hDlg);
// The display "Change" button: writes the selected rows as four REG_DWORD
// values, one box per failure, then refreshes the labels.
void ApplyDisplayMode(HWND hDlg);

// Row 0 to 3 into a buffer of SETTINGS_TEXT_CHARS; the lookups return the
// first row whose entry equals the value, else 0.
void FormatResolutionItem(int row, LPWSTR text);
int FindResolutionIndex(LONG width);
void FormatBppItem(int row, LPWSTR text);
int FindBppIndex(LONG bpp);
void FormatFreqItem(int row, LPWSTR text);
int FindFreqIndex(LONG freq);

// ---------------------------------------------------------------- server directories
// Reads one string value of a key under HKEY_LOCAL_MACHINE into `buffer` of
// `capacity` bytes, pausing 10 ms after the open and after the read. The
// text always ends within the buffer (at its last character at the latest);
// an unopened key or an unread value leaves an empty string.
void ReadRegistryString(LPCWSTR lpszKey, LPCWSTR lpszValue, LPWSTR buffer, DWORD capacity);
// The edit and label of the row show the stored directory.
void ShowFtpDirectory(HWND hDlg);
void ShowHttpDirectory(HWND hDlg);
// The row's "Change" button: the typed path (at most 99 characters) must be
// found on the controller; it is stored as a REG_SZ of 200 bytes; the row is
// shown again from the registry on every path.
void ApplyFtpDirectory(HWND hDlg);
void ApplyHttpDirectory(HWND hDlg);

// ---------------------------------------------------------------- registry commands
// Starts "\windows\RegView.exe" and lets it run on its own.
void LaunchRegistryViewer(HWND hwndOwner);
// Asks twice, erases the sixteen registry segments of flash and offers a
// reboot, after which the controller holds its factory registry.
void RestoreFactoryRegistry(HWND hwndOwner);
