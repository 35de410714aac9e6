// The factory registry and file system of a new controller.
#include "simulator/factory.h"

#include <filesystem>
#include <system_error>

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
    return {"Windows", "Windows/www", "Windows/Desktop", "Temp", "Storage Card", "My Documents",
            "Program Files", "Network", "Application Data"};
}

namespace {

// `text` as one word of sh, in single quotes.
std::string shell_quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// orva-controller beside the running program, else the name alone.
std::string controller_tool() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path tool = self.parent_path() / "orva-controller";
        if (std::filesystem::is_regular_file(tool, ec)) return tool.string();
    }
    return "orva-controller";
}

}  // namespace

std::vector<FactoryFile> factory_files() {
    const std::string viewer = "#!/bin/sh\n"
                               "# Registry viewer of the controller. With no display to show it on, it\n"
                               "# writes the live registry, as .reg text, to \\Temp\\RegView.txt.\n"
                               "fs=$(cd \"$(dirname \"$0\")/..\" && pwd) || exit 1\n"
                               "tool=${ORVA_CONTROLLER_TOOL:-" + shell_quoted(controller_tool()) + "}\n"
                               "[ -x \"$tool\" ] || tool=orva-controller\n"
                               "mkdir -p \"$fs/Temp\" || exit 1\n"
                               "out=\"$fs/Temp/RegView.txt\"\n"
                               "\"$tool\" -C \"$(dirname \"$fs\")\" reg export >\"$out.$$\" 2>&1\n"
                               "mv -f \"$out.$$\" \"$out\"\n";
    return {FactoryFile{"Windows/RegView.exe", viewer, true}};
}

}  // namespace orva::sim
