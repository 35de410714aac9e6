// Identifiers of the program's resources and of every control that the
// application addresses.
#pragma once

// Strings
#define IDS_APP_TITLE 1
#define IDS_HELLO 2
#define IDS_WINDOW_CLASS 3

// The sheet's pages, in tab order: a page's index on the sheet.
enum SheetPage {
    PAGE_SAVE_REGISTRY,
    PAGE_SYSTEM_CONFIG,
    PAGE_AUTO_EXECUTE,
    PAGE_VERSION_UPDATE,
    PAGE_ABOUT,
    PAGE_COUNT
};

// Dialogs
#define IDD_ABOUTBOX 103
#define IDD_SETTINGS 104
#define IDD_SYSINFO 108
#define IDD_AUTORUN 109
#define IDD_UPDATE 110

// Menu, accelerators, images
#define IDR_ACCELERATORS 3
#define IDM_MENU 102
#define IDI_ORVAUTILITY 101  // asked for by the class and the About box; not in the resources
#define IDB_ABOUT 113
#define IDI_PROGRAM 120
#define IDB_AUTORUN 121
#define IDB_SETTINGS 125

// Menu commands
#define IDM_FILE_EXIT 40002
#define IDM_HELP_ABOUT 40003

// "Save Registry" page
#define IDC_SAVE_AND_REBOOT 1001
#define IDC_VIEW_REGISTRY 1002
#define IDC_FACTORY_RESTORE 1004
#define IDC_FTP_DIR 1061
#define IDC_FTP_CHANGE 1062
#define IDC_RESOLUTION 1064
#define IDC_BPP 1065
#define IDC_DISPLAY_CHANGE 1066
#define IDC_HTTP_DIR 1067
#define IDC_HTTP_CHANGE 1068
#define IDC_RESOLUTION_LABEL 1069
#define IDC_FREQ 1070
#define IDC_BPP_LABEL 1071
#define IDC_FREQ_LABEL 1072
#define IDC_DISPLAY_HIDDEN 1073
#define IDC_FTP_LABEL 1074
#define IDC_HTTP_LABEL 1075

// "System Config" page
#define IDC_SLOT1 1003
#define IDC_SERIAL_NUMBER 1010
#define IDC_MAC1 1011
#define IDC_SDK_VERSION 1012
#define IDC_EEPROM_SIZE 1013
#define IDC_FLASH_SIZE 1014
#define IDC_OS_VERSION 1015
#define IDC_IMAGE_SIZE 1016
#define IDC_MAC2 1017
#define IDC_KERNEL_VERSION 1020

// "Auto-execute" page: edits 1024 to 1033, "Browse" buttons 1034 to 1043
#define IDC_PROGRAM1 1024
#define IDC_PROGRAM2 1025
#define IDC_PROGRAM3 1026
#define IDC_PROGRAM4 1027
#define IDC_PROGRAM5 1028
#define IDC_PROGRAM9 1029
#define IDC_PROGRAM6 1030
#define IDC_PROGRAM7 1031
#define IDC_PROGRAM8 1032
#define IDC_PROGRAM10 1033
#define IDC_BROWSE1 1034
#define IDC_BROWSE2 1035
#define IDC_BROWSE3 1036
#define IDC_BROWSE4 1037
#define IDC_BROWSE5 1038
#define IDC_BROWSE6 1039
#define IDC_BROWSE7 1040
#define IDC_BROWSE8 1041
#define IDC_BROWSE9 1042
#define IDC_BROWSE10 1043
#define IDC_SAVE_SETTING 1044

// "Version Update" page
#define IDC_IMAGE_PATH 1035
#define IDC_IMAGE_BROWSE 1036
#define IDC_PROGRESS 1037
#define IDC_WRITE_FLASH 1038
#define IDC_STATUS 1039
