// The Windows CE calls, types, messages and constants that the application
// makes, with their Windows names and signatures, implemented on Linux.
// Nothing beyond what the application uses is declared here.
//
// Where the Linux implementation differs from Windows CE, the comment at the
// declaration says how. WCHAR is char16_t (UTF-16, as on the controller) and
// TEXT("..") makes a u".." literal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// ---------------------------------------------------------------- basic types
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uint16_t ATOM;
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef DWORD REGSAM;

#define TRUE 1
#define FALSE 0
#define CALLBACK
#define WINAPI
#define TEXT(s) u##s

#define DECLARE_ORVA_HANDLE(name) typedef struct name##__* name
DECLARE_ORVA_HANDLE(HWND);
DECLARE_ORVA_HANDLE(HINSTANCE);
DECLARE_ORVA_HANDLE(HKEY);
DECLARE_ORVA_HANDLE(HICON);
DECLARE_ORVA_HANDLE(HBRUSH);
DECLARE_ORVA_HANDLE(HMENU);
DECLARE_ORVA_HANDLE(HACCEL);
DECLARE_ORVA_HANDLE(HRSRC);
DECLARE_ORVA_HANDLE(HDC);
DECLARE_ORVA_HANDLE(HGDIOBJ);
#undef DECLARE_ORVA_HANDLE
typedef void* HANDLE;
typedef void* HGLOBAL;
typedef HICON HCURSOR;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define MAXDWORD 0xFFFFFFFFu

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xFFFF))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)(((WORD)(l)) | ((DWORD)((WORD)(h))) << 16))
#define MAKEINTRESOURCE(i) ((LPWSTR)(uintptr_t)((WORD)(i)))
#define IS_INTRESOURCE(p) ((((uintptr_t)(p)) >> 16) == 0)

struct RECT {
    LONG left, top, right, bottom;
};
typedef RECT* LPRECT;
struct POINT {
    LONG x, y;
};

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
typedef NMHDR* LPNMHDR;

// ---------------------------------------------------------------- messages
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_NOTIFY 0x004E
#define WM_KEYDOWN 0x0100
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSCHAR 0x0106
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_USER 0x0400

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define BN_CLICKED 0

// Combo box (drop-down list) messages and results.
#define CB_ERR (-1)
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E

// Progress bar messages.
#define PBM_SETPOS (WM_USER + 2)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)

// Property sheet notifications and messages.
#define PSN_FIRST (0U - 200U)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)
#define PSM_SETCURSEL (WM_USER + 101)
#define PSH_PROPSHEETPAGE 0x00000008

// ---------------------------------------------------------------- styles
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_STATICEDGE 0x00020000L
#define WS_EX_CAPTIONOKBTN 0x80000000L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_ICON 0x00000003L
#define SS_NOPREFIX 0x00000080L
#define SS_BITMAP 0x0000000EL
#define BS_PUSHBUTTON 0x00000000L
#define BS_GROUPBOX 0x00000007L
#define ES_LEFT 0x0000L
#define ES_AUTOHSCROLL 0x0080L
#define CBS_DROPDOWNLIST 0x0003L

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CW_USEDEFAULT ((int)0x80000000)

#define SW_SHOW 5
#define SW_SHOWNORMAL 1
#define SWP_NOSIZE 0x0001
#define SWP_NOZORDER 0x0004

#define WHITE_BRUSH 0
#define DT_CENTER 0x00000001
#define DT_VCENTER 0x00000004
#define DT_SINGLELINE 0x00000020

// ---------------------------------------------------------------- message boxes
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNO 0x00000004L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L

// ---------------------------------------------------------------- errors
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_FORMAT 11L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_NAME 123L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_BADKEY 1010L
#define ERROR_CANTWRITE 1013L
#define ERROR_REGISTRY_IO_FAILED 1016L
#define ERROR_KEY_DELETED 1018L
#define ERROR_TIMEOUT 1460L

// ---------------------------------------------------------------- resources
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_DIALOG MAKEINTRESOURCE(5)

// The program's resource section. On the controller it is compiled from a
// resource script into the packed formats of the PE file; here it is a set of
// typed tables (resources/) that the calls below hand out.

// One control of a dialog template. className is one of "STATIC", "EDIT",
// "BUTTON", "COMBOBOX", "msctls_progress32"; a static with SS_BITMAP or
// SS_ICON names its image by imageId. id is -1 for a control that is never
// addressed.
struct DLGITEM {
    LPCWSTR className;
    LPCWSTR text;
    WORD imageId;
    int id;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;  // dialog units
};

// A dialog template: caption, size in dialog units, font, styles and the
// controls in template (tab) order.
struct DLGTEMPLATE {
    WORD resourceId;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    LPCWSTR caption;
    WORD pointSize;
    LPCWSTR typeface;
    const DLGITEM* items;
    UINT itemCount;
};
typedef const DLGTEMPLATE* LPCDLGTEMPLATEW;

struct RESOURCE_STRING {
    UINT id;
    LPCWSTR text;
};

// A menu: popups in order, each with its items; an item with id 0 is a popup
// title.
struct MENUITEM_ORVA {
    LPCWSTR popup;
    LPCWSTR text;
    WORD command;
};
struct MENU_ORVA {
    WORD resourceId;
    const MENUITEM_ORVA* items;
    UINT itemCount;
};

struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};
struct ACCELTABLE_ORVA {
    WORD resourceId;
    const ACCEL* entries;
    UINT count;
};

// An image: a Windows BMP or ICO file's bytes, as the resource compiler
// would have taken them from disk.
struct IMAGE_ORVA {
    WORD resourceId;
    int width;
    int height;
    int bitsPerPixel;
    const BYTE* data;
    size_t size;
};

struct RESOURCE_SECTION {
    const RESOURCE_STRING* strings;
    UINT stringCount;
    const DLGTEMPLATE* const* dialogs;
    UINT dialogCount;
    const MENU_ORVA* menus;
    UINT menuCount;
    const ACCELTABLE_ORVA* accelerators;
    UINT acceleratorCount;
    const IMAGE_ORVA* bitmaps;
    UINT bitmapCount;
    const IMAGE_ORVA* icons;
    UINT iconCount;  // each image of an icon group, largest first
};

// Defined by the application's resources/.
extern const RESOURCE_SECTION g_resourceSection;

// ---------------------------------------------------------------- window classes
struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

// ---------------------------------------------------------------- property sheets
typedef struct _PSP* HPROPSHEETPAGE;
struct PROPSHEETPAGEW;
typedef UINT(CALLBACK* LPFNPSPCALLBACKW)(HWND, UINT, PROPSHEETPAGEW*);
typedef int(CALLBACK* PFNPROPSHEETCALLBACK)(HWND, UINT, LPARAM);

// The layout of the controller's 32-bit structures is not kept: dwSize is
// checked against sizeof of these definitions.
struct PROPSHEETPAGEW {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    LPCWSTR pszTemplate;
    HICON hIcon;
    LPCWSTR pszTitle;
    DLGPROC pfnDlgProc;
    LPARAM lParam;
    LPFNPSPCALLBACKW pfnCallback;
    UINT* pcRefParent;
};
typedef PROPSHEETPAGEW PROPSHEETPAGE;

struct PROPSHEETHEADERW {
    DWORD dwSize;
    DWORD dwFlags;
    HWND hwndParent;
    HINSTANCE hInstance;
    HICON hIcon;
    LPCWSTR pszCaption;
    UINT nPages;
    UINT nStartPage;
    const PROPSHEETPAGEW* ppsp;
    PFNPROPSHEETCALLBACK pfnCallback;
};
typedef PROPSHEETHEADERW PROPSHEETHEADER;

// ---------------------------------------------------------------- accelerators
#define FALT 0x10
#define FVIRTKEY 0x01
#define VK_F4 0x73

// ---------------------------------------------------------------- registry
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002)
#define KEY_ALL_ACCESS 0xF003F
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

// ---------------------------------------------------------------- files
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003
#define MAX_PATH 260

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

struct FILETIME {
    DWORD dwLowDateTime, dwHighDateTime;
};

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

// ---------------------------------------------------------------- serial port
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define ONESTOPBIT 0
#define TWOSTOPBITS 2
#define CBR_115200 115200

struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
typedef DCB* LPDCB;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
typedef COMMTIMEOUTS* LPCOMMTIMEOUTS;

// ---------------------------------------------------------------- processes
#define CREATE_SUSPENDED 0x00000004

struct STARTUPINFOW;
typedef STARTUPINFOW* LPSTARTUPINFOW;
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

// ---------------------------------------------------------------- open-file dialog
typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
struct OPENFILENAMEW {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPWSTR lpstrFile;
    DWORD nMaxFile;
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCWSTR lpTemplateName;
};
typedef OPENFILENAMEW OPENFILENAME;
typedef OPENFILENAMEW* LPOPENFILENAMEW;
// The size of the structure on the 32-bit controller, the least that
// GetOpenFileNameW takes.
#define OPENFILENAME_SIZE_VERSION_400W 76

// ================================================================ calls
// Windowing (platform/windowing.cpp)
ATOM RegisterClassW(const WNDCLASSW* wc);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmdShow);
BOOL UpdateWindow(HWND hwnd);
LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
BOOL GetWindowRect(HWND hwnd, LPRECT rect);
BOOL GetClientRect(HWND hwnd, LPRECT rect);
HWND GetParent(HWND hwnd);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
int DrawTextW(HDC hdc, LPCWSTR text, int count, LPRECT rect, UINT format);
HGDIOBJ GetStockObject(int object);

// Dialogs and controls (platform/dialogs.cpp, platform/controls.cpp)
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
// Copies at most max - 1 characters and always terminates (when max > 0).
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int max);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Property sheet (platform/property_sheet.cpp)
INT_PTR PropertySheetW(const PROPSHEETHEADERW* header);

// Command bar, a strip at the top of the main window with the menu bar.
HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id);
BOOL CommandBar_InsertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button);
BOOL CommandBar_AddAdornments(HWND bar, DWORD flags, DWORD reserved);
BOOL CommandBar_Show(HWND bar, BOOL show);

// Resources (platform/resources_access.cpp)
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int max);
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
HACCEL LoadAcceleratorsW(HINSTANCE instance, LPCWSTR name);
int TranslateAcceleratorW(HWND hwnd, HACCEL accel, LPMSG msg);
HRSRC FindResourceW(HINSTANCE instance, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HINSTANCE instance, HRSRC resource);

// Registry (platform/registry.cpp). HKEY_LOCAL_MACHINE only.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, HKEY* result);
// A buffer too small for the data: ERROR_MORE_DATA, buffer untouched, *size
// set to the size needed. A missing value: ERROR_FILE_NOT_FOUND, buffer untouched.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegCloseKey(HKEY key);
LONG RegFlushKey(HKEY key);
// The one-shot registry commands' calls: a key made with its missing
// parents (*disposition REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY), and
// a value removed (ERROR_FILE_NOT_FOUND when it is missing).
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM sam,
                     LPSECURITY_ATTRIBUTES sa, HKEY* result, LPDWORD disposition);
LONG RegDeleteValueW(HKEY key, LPCWSTR valueName);

// Files and kernel objects (platform/files.cpp, platform/serial.cpp).
// Paths are controller paths ("\Storage Card\nk.bin"), resolved inside the
// controller's file system; "COM0:" is the controller's serial port.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition, DWORD flags,
                   HANDLE templateFile);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
// What an open file is: FILE_TYPE_DISK for a regular file, FILE_TYPE_CHAR for
// a character device or the serial port, FILE_TYPE_PIPE for a FIFO or a
// socket, FILE_TYPE_UNKNOWN for anything else (ERROR_INVALID_HANDLE when the
// handle is not open; ERROR_SUCCESS otherwise).
DWORD GetFileType(HANDLE file);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
// The wildcards * and ? are taken in the last component only (elsewhere:
// ERROR_INVALID_NAME); names compare case-insensitively; "." and ".." are
// never found. ERROR_FILE_NOT_FOUND when the folder exists but nothing
// matches, ERROR_PATH_NOT_FOUND when the folder does not exist,
// ERROR_ACCESS_DENIED for a path leaving the controller's file system.
// (platform/find_file.cpp)
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL FindClose(HANDLE find);
DWORD GetLastError(void);
void SetLastError(DWORD error);

BOOL GetCommState(HANDLE port, LPDCB dcb);
BOOL SetCommState(HANDLE port, LPDCB dcb);
BOOL SetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS timeouts);

// Processes (platform/process.cpp). The application path is a controller
// path; the program runs as a process of its own with no shell, its standard
// input and output on /dev/null, and is never left as a zombie. With
// CREATE_SUSPENDED it starts only at ResumeThread. Both handles returned are
// closed with CloseHandle.
BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation);
// As on Windows CE, a thread identifier serves as the thread's handle.
DWORD ResumeThread(HANDLE thread);
void Sleep(DWORD milliseconds);

// Common dialogs (platform/common_dialogs.cpp)
BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn);

// Strings and debug output (platform/strings.cpp, platform/debug_output.cpp)
// Knows %d %i %u %ld %lu %x %X %s (wide) %S (8-bit) %c %%, with flags "-0",
// width and precision. %ld takes a 32-bit LONG, as on the controller.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
void NKDbgPrintfW(LPCWSTR format, ...);

// The program's entry, called by the Linux layer.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);
