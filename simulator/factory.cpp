// The factory registry and file system of a new controller.
#include "simulator/factory.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/host_files.h"
#include "common/syscalls.h"
#include "simulator/paths.h"
#include "simulator/sim_controller.h"

namespace orva::sim {

std::string factory_registry_text() {
    return R"(Windows Registry Editor Version 5.00

; Factory registry of the controller. Loaded by a new controller and by a
; restart after the registry area of flash was erased.

[HKEY_LOCAL_MACHINE\Init]
"Launch10"="shell.exe"
"Launch20"="device.exe"
"Depend20"=hex:0a,00
"Launch30"="gwes.exe"
"Depend30"=hex:14,00
"Launch50"="explorer.exe"
"Depend50"=hex:14,00,1e,00
"Launch60"="servicesStart.exe"
"Depend60"=hex:14,00

[HKEY_LOCAL_MACHINE\Ident]
"Name"="ORVA5000"
"Desc"="Orva industrial controller"
"OrigName"="ORVA5000"

[HKEY_LOCAL_MACHINE\Drivers\Display\MQ200]
"Dll"="mq200.dll"
"CxScreen"=dword:00000280
"CyScreen"=dword:000001e0
"Bpp"=dword:00000010
"Freq"=dword:0000003c

[HKEY_LOCAL_MACHINE\Drivers\BuiltIn\Serial]
"Dll"="serial.dll"
"Prefix"="COM"
"Index"=dword:00000000
"Order"=dword:00000000

[HKEY_LOCAL_MACHINE\Drivers\BuiltIn\SlotBus]
"Dll"="slotbus.dll"
"Prefix"="SLT"
"Index"=dword:00000001

[HKEY_LOCAL_MACHINE\Comm\FTPD]
"IsEnabled"=dword:00000001
"UseAuthentication"=dword:00000000
"AllowAnonymous"=dword:00000001
"AllowAnonymousUpload"=dword:00000001
"DefaultDir"="\\Temp"

[HKEY_LOCAL_MACHINE\Comm\TELNETD]
"IsEnabled"=dword:00000001
"UseAuthentication"=dword:00000000

[HKEY_LOCAL_MACHINE\Comm\HTTPD]
"IsEnabled"=dword:00000001
"Port"=dword:00000050
"Basic"=dword:00000001
"DirBrowse"=dword:00000001

[HKEY_LOCAL_MACHINE\Comm\HTTPD\Websites\Public\VROOTS\/]
"Default"="\\Windows\\www"

[HKEY_LOCAL_MACHINE\Comm\Tcpip\Parms]
"DNSDomain"=""
"DontAddDefaultGateway"=dword:00000000

[HKEY_LOCAL_MACHINE\Comm\ENET1\Parms\TcpIp]
"EnableDHCP"=dword:00000000
"IpAddress"=hex(7):31,00,39,00,32,00,2e,00,31,00,36,00,38,00,2e,00,30,00,2e,00,\
  31,00,30,00,00,00,00,00
"Subnetmask"=hex(7):32,00,35,00,35,00,2e,00,32,00,35,00,35,00,2e,00,32,00,35,\
  00,35,00,2e,00,30,00,00,00,00,00

[HKEY_LOCAL_MACHINE\System\StorageManager\Profiles\SDMemory]
"Name"="SD Memory Card"
"Folder"="Storage Card"

[HKEY_LOCAL_MACHINE\Software\Orva\Utility]
"Version"="1.0"

)";
}

std::vector<std::string> factory_folders() {
    return {"Windows",       "Windows/www", "Windows/Desktop", "Temp", "Storage Card", "My Documents",
            "Program Files", "Network",     "Application Data"};
}

namespace {

namespace fs = std::filesystem;

constexpr const char* kViewerPath = "Windows/RegView.exe";

// The viewer as every controller gets it: it names no file of the host. Its
// text is UTF-8 with LF line ends, to be read on the host the controller
// lives on (a pager, an editor, grep); it imports as it is.
const char* const kViewer =
    "#!/bin/sh\n"
    "# Registry viewer of the controller. With no display to show it on, it\n"
    "# writes the live registry, as .reg text in UTF-8, to \\Temp\\RegView.txt\n"
    "# in the controller's file system. orva-controller is $ORVA_CONTROLLER_TOOL,\n"
    "# which orva-utility sets to the one installed beside it, else the one on PATH.\n"
    "controller=$(cd \"$(dirname \"$0\")/../..\" && pwd) || exit 1\n"
    "tool=${ORVA_CONTROLLER_TOOL:-orva-controller}\n"
    "[ -x \"$tool\" ] || tool=orva-controller\n"
    "exec \"$tool\" -C \"$controller\" reg export --utf8 --to-fs '\\Temp\\RegView.txt'\n";

// The viewer before exports were UTF-16 unless asked otherwise.
const char* const kUtf8DefaultViewer =
    "#!/bin/sh\n"
    "# Registry viewer of the controller. With no display to show it on, it\n"
    "# writes the live registry, as .reg text, to \\Temp\\RegView.txt in the\n"
    "# controller's file system. orva-controller is $ORVA_CONTROLLER_TOOL, which\n"
    "# orva-utility sets to the one installed beside it, else the one on PATH.\n"
    "controller=$(cd \"$(dirname \"$0\")/../..\" && pwd) || exit 1\n"
    "tool=${ORVA_CONTROLLER_TOOL:-orva-controller}\n"
    "[ -x \"$tool\" ] || tool=orva-controller\n"
    "exec \"$tool\" -C \"$controller\" reg export --to-fs '\\Temp\\RegView.txt'\n";

// The viewer that controllers made by earlier versions hold, around the path
// of the orva-controller that made them (a quoted shell word): it followed
// links out of fs/ and named a tool of the build it came from.
const char* const kEarlierViewerHead =
    "#!/bin/sh\n"
    "# Registry viewer of the controller. With no display to show it on, it\n"
    "# writes the live registry, as .reg text, to \\Temp\\RegView.txt.\n"
    "fs=$(cd \"$(dirname \"$0\")/..\" && pwd) || exit 1\n"
    "tool=${ORVA_CONTROLLER_TOOL:-'";
const char* const kEarlierViewerTail =
    "'}\n"
    "[ -x \"$tool\" ] || tool=orva-controller\n"
    "mkdir -p \"$fs/Temp\" || exit 1\n"
    "out=\"$fs/Temp/RegView.txt\"\n"
    "\"$tool\" -C \"$(dirname \"$fs\")\" reg export >\"$out.$$\" 2>&1\n"
    "mv -f \"$out.$$\" \"$out\"\n";

}  // namespace

std::vector<FactoryFile> factory_files() { return {FactoryFile{kViewerPath, kViewer, true}}; }

bool is_earlier_factory_viewer(const std::string& text) {
    if (text == kUtf8DefaultViewer) return true;
    const std::string head = kEarlierViewerHead, tail = kEarlierViewerTail;
    if (text.size() < head.size() + tail.size() || text.compare(0, head.size(), head) != 0 ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    // Between them: one quoted word, '\'' standing for a quote inside it.
    const std::string word = text.substr(head.size(), text.size() - head.size() - tail.size());
    return word.find('\n') == std::string::npos;
}

bool replace_earlier_factory_viewer(const fs::path& fs_root) {
    const fs::path viewer = fs_root / kViewerPath;
    if (!files::is_regular(viewer, false)) return false;
    std::string text;
    if (!read_whole_file(viewer, text, nullptr) || !is_earlier_factory_viewer(text)) return false;
    // Written as every controller file is: never through a link out of fs/.
    return write_controller_file(fs_root, "\\Windows\\RegView.exe", kViewer, nullptr, true);
}

void export_controller_tool() {
    if (const char* set = std::getenv("ORVA_CONTROLLER_TOOL"); set && *set) return;
    const auto self = files::read_link("/proc/self/exe");
    if (!self) return;
    const fs::path tool = self->parent_path() / "orva-controller";
    if (files::is_regular(tool) && sys::access(tool.c_str(), X_OK) == 0)
        ::setenv("ORVA_CONTROLLER_TOOL", tool.c_str(), 1);
}

}  // namespace orva::sim
