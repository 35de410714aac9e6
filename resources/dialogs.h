// The dialog templates of the resource section.
#pragma once

#include "platform/wince.h"

extern const DLGTEMPLATE g_aboutDialog;
extern const DLGTEMPLATE g_settingsDialog;
extern const DLGTEMPLATE g_sysInfoDialog;
extern const DLGTEMPLATE g_autoRunDialog;
extern const DLGTEMPLATE g_updateDialog;
