// The dialog templates: the About box and the four pages of the sheet, with
// every control's class, text, identifier, style and position in dialog
// units, in template (tab) order.
#include "resources/dialogs.h"

#include "resources/resource.h"

namespace {

constexpr DWORD kStatic = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kGroup = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kList = WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_TABSTOP;
constexpr DWORD kBitmap = WS_CHILD | WS_VISIBLE | SS_BITMAP | WS_BORDER;
constexpr DWORD kPage = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// ------------------------------------------------------------------ 103 About
const DLGITEM kAboutItems[] = {
    {u"STATIC", nullptr, IDI_ORVAUTILITY, -1, WS_CHILD | WS_VISIBLE | SS_ICON, 0, 31, 20, 20, 20},
    {u"STATIC", u"Orva_Utility Version 1.0", 0, -1, kStatic | SS_NOPREFIX, 0, 70, 20, 70, 8},
    {u"STATIC", nullptr, IDB_ABOUT, -1, kBitmap, 0, 14, 61, 155, 114},
};

// ------------------------------------------------------------------ 104 Save Registry
const DLGITEM kSettingsItems[] = {
    {u"STATIC", nullptr, IDB_SETTINGS, -1, kBitmap, WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME, 27, 9, 106, 62},
    {u"STATIC", u"Any setting changed could be pre-viewd.", 0, -1, kStatic, 0, 168, 105, 134, 8},
    {u"BUTTON", u"Save and Reboot", 0, IDC_SAVE_AND_REBOOT, kButton, WS_EX_DLGMODALFRAME, 168, 39, 76, 14},
    {u"BUTTON", u"View Registry", 0, IDC_VIEW_REGISTRY, kButton, WS_EX_DLGMODALFRAME, 168, 117, 61, 14},
    {u"STATIC",
     u"It will take several seconds to save your settings to registry, and settings you changed will take "
     u"effect after system reboot.",
     0, -1, kStatic, 0, 168, 12, 174, 24},
    {u"BUTTON", u"", 0, -1, kGroup, 0, 165, 6, 180, 51},
    {u"BUTTON", u"", 0, -1, kGroup, 0, 165, 99, 180, 36},
    {u"EDIT", u"", 0, IDC_FTP_DIR, kEdit | WS_GROUP, 0, 13, 171, 285, 12},
    {u"BUTTON", u"Change", 0, IDC_FTP_CHANGE, kButton, 0, 303, 165, 35, 18},
    {u"STATIC", u"Change FTP default directory to :", 0, IDC_FTP_LABEL, kStatic, 0, 13, 156, 288, 12},
    {u"EDIT", u"", 0, IDC_HTTP_DIR, kEdit | WS_GROUP, 0, 13, 204, 285, 12},
    {u"BUTTON", u"Change", 0, IDC_HTTP_CHANGE, kButton, 0, 303, 198, 35, 18},
    {u"STATIC", u"Change HTTP default directory to :", 0, IDC_HTTP_LABEL, kStatic, 0, 13, 189, 288, 12},
    {u"BUTTON", u"", 0, -1, kGroup, 0, 6, 144, 339, 81},
    {u"COMBOBOX", u"", 0, IDC_RESOLUTION, kList, 0, 99, 84, 54, 56},
    {u"BUTTON", u"Change", 0, IDC_DISPLAY_CHANGE, kButton, 0, 78, 126, 73, 12},
    {u"STATIC", u"Resolution :", 0, IDC_RESOLUTION_LABEL, kStatic, 0, 9, 84, 87, 8},
    {u"COMBOBOX", u"", 0, IDC_BPP, kList, 0, 99, 96, 54, 56},
    {u"STATIC", u"Bpp :", 0, IDC_BPP_LABEL, kStatic, 0, 9, 96, 87, 9},
    {u"COMBOBOX", u"", 0, IDC_FREQ, kList, 0, 99, 108, 54, 56},
    {u"STATIC", u"Frequncy :", 0, IDC_FREQ_LABEL, kStatic, 0, 9, 108, 87, 12},
    {u"BUTTON", u"", 0, -1, kGroup, 0, 6, 78, 150, 65},
    {u"STATIC", u"Display setting...", 0, IDC_DISPLAY_HIDDEN, WS_CHILD | SS_LEFT, 0, 245, 118, 55, 12},
    {u"STATIC", u"Change all settings to factory default settings", 0, -1, kStatic, 0, 168, 66, 148, 8},
    {u"BUTTON", u"Recover to Factory Settings", 0, IDC_FACTORY_RESTORE, kButton, WS_EX_DLGMODALFRAME, 168, 78, 106, 14},
    {u"BUTTON", u"", 0, -1, kGroup, 0, 165, 60, 180, 36},
};

// ------------------------------------------------------------------ 108 System Config
constexpr DWORD kField = kStatic;
const DLGITEM kSysInfoItems[] = {
    {u"BUTTON", u"Module", 0, -1, kGroup, 0, 10, 8, 332, 24},
    {u"STATIC", u"Slot 1 :", 0, -1, kStatic, 0, 16, 18, 25, 10},
    {u"STATIC", u"", 0, IDC_SLOT1, kField, WS_EX_STATICEDGE, 48, 18, 50, 10},
    {u"BUTTON", u"System Information", 0, -1, kGroup, 0, 10, 38, 332, 135},
    {u"STATIC", u"Serial Number :", 0, -1, kStatic, 0, 16, 49, 70, 8},
    {u"STATIC", u"", 0, IDC_SERIAL_NUMBER, kField, WS_EX_STATICEDGE, 54, 58, 100, 10},
    {u"STATIC", u"MAC1 address :", 0, -1, kStatic, 0, 16, 69, 53, 8},
    {u"STATIC", u"", 0, IDC_MAC1, kField, WS_EX_STATICEDGE, 54, 78, 100, 10},
    {u"STATIC", u"MAC2 address :", 0, -1, kStatic, 0, 16, 89, 53, 8},
    {u"STATIC", u"", 0, IDC_MAC2, kField, WS_EX_STATICEDGE, 54, 98, 100, 10},
    {u"STATIC", u"Flash Memory Size :", 0, -1, kStatic, 0, 16, 109, 70, 8},
    {u"STATIC", u"", 0, IDC_FLASH_SIZE, kField, WS_EX_STATICEDGE, 54, 118, 100, 10},
    {u"STATIC", u"EEPROM Size :", 0, -1, kStatic, 0, 14, 131, 53, 8},
    {u"STATIC", u"", 0, IDC_EEPROM_SIZE, kField, WS_EX_STATICEDGE, 53, 142, 100, 10},
    {u"STATIC", u"OS Version :", 0, -1, kStatic, 0, 156, 49, 53, 8},
    {u"STATIC", u"", 0, IDC_OS_VERSION, kField, WS_EX_STATICEDGE, 194, 58, 132, 10},
    {u"STATIC", u"Orva SDK Version :", 0, -1, kStatic, 0, 156, 69, 70, 8},
    {u"STATIC", u"", 0, IDC_SDK_VERSION, kField, WS_EX_STATICEDGE, 194, 78, 132, 10},
    {u"STATIC", u"Kernel Version :", 0, -1, kStatic, 0, 156, 89, 59, 8},
    {u"STATIC", u"", 0, IDC_KERNEL_VERSION, kField, WS_EX_STATICEDGE, 194, 98, 132, 10},
    {u"STATIC", u"OS Image Size :", 0, -1, kStatic, 0, 156, 109, 54, 8},
    {u"STATIC", u"", 0, IDC_IMAGE_SIZE, kField, WS_EX_STATICEDGE, 194, 118, 133, 10},
};

// ------------------------------------------------------------------ 109 Auto-execute
#define ORVA_ROW_Y(row) short(14 + 16 * ((row)-1))
#define ORVA_EDIT_Y(row) short(13 + 16 * ((row)-1))
const DLGITEM kAutoRunItems[] = {
    {u"STATIC", u"Program 1 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(1), 46, 9},
    {u"STATIC", u"Program 2 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(2), 46, 9},
    {u"STATIC", u"Program 3 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(3), 46, 9},
    {u"STATIC", u"Program 4 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(4), 46, 9},
    {u"STATIC", u"Program 5 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(5), 46, 9},
    {u"STATIC", u"Program 6 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(6), 46, 9},
    {u"STATIC", u"Program 7 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(7), 46, 9},
    {u"STATIC", u"Program 8 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(8), 46, 9},
    {u"STATIC", u"Program 9 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(9), 46, 9},
    {u"STATIC", u"Program 10 :", 0, -1, kStatic, 0, 117, ORVA_ROW_Y(10), 46, 9},
    {u"EDIT", u"", 0, IDC_PROGRAM1, kEdit, 0, 165, ORVA_EDIT_Y(1), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM2, kEdit, 0, 165, ORVA_EDIT_Y(2), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM3, kEdit, 0, 165, ORVA_EDIT_Y(3), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM4, kEdit, 0, 165, ORVA_EDIT_Y(4), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM5, kEdit, 0, 165, ORVA_EDIT_Y(5), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM9, kEdit, 0, 165, ORVA_EDIT_Y(9), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM6, kEdit, 0, 165, ORVA_EDIT_Y(6), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM7, kEdit, 0, 165, ORVA_EDIT_Y(7), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM8, kEdit, 0, 165, ORVA_EDIT_Y(8), 124, 12},
    {u"EDIT", u"", 0, IDC_PROGRAM10, kEdit, 0, 165, ORVA_EDIT_Y(10), 124, 12},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE1, kButton, 0, 293, ORVA_ROW_Y(1), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE2, kButton, 0, 293, ORVA_ROW_Y(2), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE3, kButton, 0, 293, ORVA_ROW_Y(3), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE4, kButton, 0, 293, ORVA_ROW_Y(4), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE5, kButton, 0, 293, ORVA_ROW_Y(5), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE6, kButton, 0, 293, ORVA_ROW_Y(6), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE7, kButton, 0, 293, ORVA_ROW_Y(7), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE8, kButton, 0, 293, ORVA_ROW_Y(8), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE9, kButton, 0, 293, ORVA_ROW_Y(9), 41, 9},
    {u"BUTTON", u"Browse", 0, IDC_BROWSE10, kButton, 0, 293, 159, 41, 9},
    {u"STATIC",
     u"At most 10 programs can be specified to execute automatically when system starup. And there is none "
     u"dependency between each program.",
     0, -1, kStatic, 0, 13, 52, 87, 110},
    {u"BUTTON", u"", 0, -1, kGroup, 0, 107, 7, 237, 165},
    {u"STATIC", nullptr, IDB_AUTORUN, -1, kBitmap, 0, 38, 14, 31, 26},
    {u"BUTTON", u"Save Setting", 0, IDC_SAVE_SETTING, kButton, WS_EX_DLGMODALFRAME, 133, 179, 184, 15},
};
#undef ORVA_ROW_Y
#undef ORVA_EDIT_Y

// ------------------------------------------------------------------ 110 Version Update
const DLGITEM kUpdateItems[] = {
    {u"STATIC", u"Specify the new OS image file for version update", 0, -1, kStatic, 0, 41, 26, 241, 13},
    {u"EDIT", u"", 0, IDC_IMAGE_PATH, kEdit, 0, 41, 43, 195, 13},
    {u"BUTTON", u"Browse", 0, IDC_IMAGE_BROWSE, kButton, 0, 246, 43, 37, 13},
    {u"STATIC", u"ex : \\\\ServerName\\ShareFolderName\\nk.bin", 0, -1, WS_CHILD | WS_VISIBLE | SS_CENTER | WS_BORDER,
     0, 41, 60, 195, 13},
    {u"msctls_progress32", u"Progress1", 0, IDC_PROGRESS, WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 41, 154, 242, 11},
    {u"STATIC", u"", 0, IDC_STATUS, kStatic, 0, 45, 130, 236, 13},
    {u"BUTTON", u"Write to Flash now", 0, IDC_WRITE_FLASH, kButton, WS_EX_DLGMODALFRAME, 123, 87, 77, 16},
    {u"BUTTON", u"", 0, -1, kGroup, 0, 37, 120, 253, 53},
    {u"BUTTON", u"", 0, -1, kGroup, 0, 37, 15, 253, 99},
};

template <size_t N>
constexpr UINT count(const DLGITEM (&)[N]) {
    return UINT(N);
}

}  // namespace

const DLGTEMPLATE g_aboutDialog = {
    IDD_ABOUTBOX, kPage,       WS_EX_CAPTIONOKBTN, 0, 0, 186, 182, u"About Orva_Utility", 8,
    u"System",    kAboutItems, count(kAboutItems)};
const DLGTEMPLATE g_settingsDialog = {
    IDD_SETTINGS, kPage, 0, 0, 0, 351, 228, u"Save Registry", 10, u"System", kSettingsItems, count(kSettingsItems)};
const DLGTEMPLATE g_sysInfoDialog = {
    IDD_SYSINFO, kPage,         WS_EX_CLIENTEDGE,    0, 0, 351, 188, u"System Config", 10,
    u"System",   kSysInfoItems, count(kSysInfoItems)};
const DLGTEMPLATE g_autoRunDialog = {
    IDD_AUTORUN, kPage, 0, 0, 0, 351, 206, u"Auto-execute", 10, u"System", kAutoRunItems, count(kAutoRunItems)};
const DLGTEMPLATE g_updateDialog = {
    IDD_UPDATE, kPage, 0, 0, 0, 323, 180, u"Version Update", 10, u"System", kUpdateItems, count(kUpdateItems)};
