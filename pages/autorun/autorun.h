// The "Auto-execute" page: the table of its ten rows and the three things
// the page does with them (load, save, browse).
#pragma once

#include "platform/wince.h"

// One row of the page: its edit, its "Browse" button and the value under
// HKEY_LOCAL_MACHINE\Init that the system's start-up runs.
struct AUTORUN_ROW {
    DWORD editId;
    DWORD browseId;
    LPCWSTR valueName;
};

#define AUTORUN_ROWS 10
#define AUTORUN_PATH_CHARS 200  // one path: at most 199 characters and its NUL

// The ten rows in screen order. The edit identifiers do not follow the rows
// (rows 6 to 8 use 1030 to 1032, row 9 uses 1029): only this table pairs an
// edit with its button and its value.
extern const AUTORUN_ROW AutoRunTable[AUTORUN_ROWS];

// Shows the ten values in their edits. A missing key is reported; a row that
// cannot be read stays empty without a word.
void LoadAutoRunList(HWND hDlg);

// Writes every row as REG_SZ of exactly 400 bytes, in table order. A missing
// key is reported and nothing is written; a row whose write fails is reported
// and the next row still goes on.
void SaveAutoRunList(HWND hDlg);

// Lets the operator pick a program for the row of `browseId` and puts the
// chosen path in that row's edit; a cancelled dialog leaves the edit alone.
void BrowseAutoRunProgram(HWND hDlg, DWORD browseId);
