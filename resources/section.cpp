// The resource section: strings, menu, accelerators, bitmaps, the icon group
// and the table of dialog templates.
#include "resources/dialogs.h"
#include "resources/images.h"
#include "resources/resource.h"

namespace {

const RESOURCE_STRING kStrings[] = {
    {IDS_APP_TITLE, u"Orva_Utility"},
    {IDS_HELLO, u"Hello World!"},
    {IDS_WINDOW_CLASS, u"ORVAUTILITY"},
};

const DLGTEMPLATE* const kDialogs[] = {&g_aboutDialog, &g_settingsDialog, &g_sysInfoDialog, &g_autoRunDialog,
                                       &g_updateDialog};

const MENUITEM_ORVA kMenuItems[] = {
    {u"&File", u"E&xit", IDM_FILE_EXIT},
    {u"&Help", u"&About", IDM_HELP_ABOUT},
};
const MENU_ORVA kMenus[] = {{IDM_MENU, kMenuItems, 2}};

// Alt + "/" (a character key) for About, Alt + F4 (a virtual key) for Exit.
const ACCEL kAccelEntries[] = {
    {FALT, u'/', IDM_HELP_ABOUT},
    {FALT | FVIRTKEY, VK_F4, IDM_FILE_EXIT},
};
const ACCELTABLE_ORVA kAccelerators[] = {{IDR_ACCELERATORS, kAccelEntries, 2}};

const IMAGE_ORVA kBitmaps[] = {
    {IDB_ABOUT, 231, 183, 8, kImageAbout, kImageAboutSize},
    {IDB_AUTORUN, 52, 50, 8, kImageAutoRun, kImageAutoRunSize},
    {IDB_SETTINGS, 160, 120, 8, kImageSettings, kImageSettingsSize},
};

// Icon group 120: 32 x 32 and 16 x 16, 16 colours. There is no icon 101.
const IMAGE_ORVA kIcons[] = {
    {IDI_PROGRAM, 32, 32, 4, kImageIcon32, kImageIcon32Size},
    {IDI_PROGRAM, 16, 16, 4, kImageIcon16, kImageIcon16Size},
};

template <class T, size_t N>
constexpr UINT count(const T (&)[N]) {
    return UINT(N);
}

}  // namespace

const RESOURCE_SECTION g_resourceSection = {
    kStrings,      count(kStrings),      kDialogs, count(kDialogs), kMenus, count(kMenus),
    kAccelerators, count(kAccelerators), kBitmaps, count(kBitmaps), kIcons, count(kIcons),
};
