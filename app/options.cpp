// Parsing the command line of orva-utility, and its --help text.
#include "app/options.h"

#include <filesystem>

namespace orva::app {

const char* const kUsage =
    "usage: orva-utility [-C DIR] COMMAND [ARGS] [--no-save] [--reboot]\n"
    "       orva-utility [-C DIR] [--frontend qt|terminal|script] [--trace] [SCRIPT]\n"
    "       orva-utility [-C DIR] --frontend web [--listen ADDR:PORT] [--tls-cert FILE --tls-key FILE]\n"
    "\n"
    "Without a command the program opens its window: Qt on a display, else ncurses in a\n"
    "terminal; with SCRIPT ('-' for standard input) the script frontend runs it.\n"
    "\n"
    "Commands: each runs the program on the controller, does one task on its page as an\n"
    "operator would, closes it and exits.\n"
    "  info [--json]           the System Config page, one \"LABEL: TEXT\" line per field;\n"
    "                          --json: one object with slot1, serial_number, mac1, mac2,\n"
    "                          flash_size, eeprom_size, os_image_size, os_version,\n"
    "                          sdk_version and kernel_version\n"
    "  display [MODE]          shows the display mode (640x480x16@60) or sets it; MODE is\n"
    "                          WxH, WxHxBPP or WxHxBPP@HZ, parts left out stay as they are\n"
    "  ftp-dir [PATH]          shows or sets the FTP server's default directory\n"
    "  http-dir [PATH]         shows or sets the HTTP server's default directory\n"
    "  autorun [N [PATH]]      lists the ten programs started at boot (\"N PATH\"), shows\n"
    "                          program N (1 to 10) or sets it (\"\" empties it)\n"
    "  update IMAGE [--sha256 HEX]\n"
    "                          writes an OS image into flash: a controller path such as\n"
    "                          \\Temp\\nk.bin, or a file inside the controller's fs/;\n"
    "                          --sha256 checks the image before anything is erased;\n"
    "                          progress goes to standard error\n"
    "  save                    saves the registry to flash (the exit prompt, answered Yes)\n"
    "  factory-reset           \"Recover to Factory Settings\", confirmed\n"
    "\n"
    "  A command that sets a value saves the registry as the exit prompt does (Yes, Yes)\n"
    "  and declines the reboot offer; update and factory-reset never save (the registry\n"
    "  they erased must not be written back), commands that only show never save.\n"
    "  --no-save               leaves the registry unsaved (the exit prompt answered No)\n"
    "  --reboot                accepts the reboot offer (save, factory-reset, update, and\n"
    "                          a command that sets a value)\n"
    "  A failure box is printed as \"orva-utility: CAPTION: TEXT\" on standard error.\n"
    "\n"
    "Options (anywhere on the line; \"--\" ends them):\n"
    "  -C DIR, --controller DIR\n"
    "                          the controller (default: $ORVA_CONTROLLER, else the one in\n"
    "                          $XDG_STATE_HOME/orva-utility/controller, created on first use)\n"
    "  --frontend NAME         qt (a window), terminal (ncurses), script, or web (a browser\n"
    "                          over HTTPS: prints \"orva-utility: serving https://HOST:PORT/\n"
    "                          ?token=TOKEN (certificate SHA-256 XX:XX:...)\" on standard error)\n"
    "  --listen ADDR:PORT      with the web frontend: where to serve (default 127.0.0.1:8443;\n"
    "                          [::1]:8443 for IPv6, 0.0.0.0:8443 for every address, port 0\n"
    "                          for a free one)\n"
    "  --tls-cert FILE, --tls-key FILE\n"
    "                          with the web frontend: its certificate and private key (PEM);\n"
    "                          without them a self-signed one is made on first use and kept\n"
    "                          in the controller directory (web-cert.pem, web-key.pem)\n"
    "  --trace                 with the script frontend: also every change the program\n"
    "                          makes to a control\n"
    "  -h, --help              this text\n"
    "  --version               prints \"orva-utility VERSION\"\n"
    "\n"
    "Script: one action a line: tab N, type ID \"TEXT\", select ID N, click ID,\n"
    "answer OK|CANCEL|YES|NO|ABORT|RETRY|IGNORE..., pick \"PATH\", pick cancel,\n"
    "show ID, ok, cancel.\n"
    "A box that asks (OK/Cancel, Yes/No) takes the next queued answer; a box with a\n"
    "single OK button is answered OK at once and takes nothing from the queue. Here\n"
    "the \"Directory Not exist\" box answers itself and NO goes to the exit prompt:\n"
    "  type 1061 \"\\\\Nowhere\"\n"
    "  answer NO\n"
    "  click 1062\n"
    "  cancel\n"
    "A script file named like a command is given as ./NAME.\n"
    "\n"
    "Exit status: 0 success; 1 the operation failed (a failure box, a refused flush);\n"
    "2 a bad command line (unknown command or option, bad argument) or no controller.\n";

namespace {

constexpr std::string_view kCommands[] = {"info",    "display", "ftp-dir", "http-dir",
                                          "autorun", "update",  "save",    "factory-reset"};

}  // namespace

bool is_command_word(std::string_view word) {
    for (std::string_view c : kCommands)
        if (c == word) return true;
    return false;
}

std::optional<Options> parse_options(const std::vector<std::string>& argv, std::string* error) {
    Options o;
    auto bad = [&](const std::string& what) {
        *error = what;
        return std::nullopt;
    };
    std::vector<std::string> words;
    bool options = true;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        // An option's value: the next word, or what follows "=" in the same one.
        auto value = [&](const std::string& name, std::string* out) {
            if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0) {
                *out = a.substr(name.size() + 1);
                return true;
            }
            if (a != name) return false;
            if (i + 1 >= argv.size()) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (!options || a == "-" || a.empty() || a[0] != '-') {
            words.push_back(a);
        } else if (a == "--") {
            options = false;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--controller" || a.rfind("--controller=", 0) == 0) {
            if (!value("--controller", &v)) return bad("--controller needs a directory");
            o.controller = v;
        } else if (a == "-C") {
            if (i + 1 >= argv.size()) return bad("-C needs a directory");
            o.controller = argv[++i];
        } else if (a.rfind("-C", 0) == 0) {
            o.controller = a.substr(2);
        } else if (a == "--frontend" || a.rfind("--frontend=", 0) == 0) {
            if (!value("--frontend", &v)) return bad("--frontend needs a value");
            o.frontend = v;
        } else if (a == "--sha256" || a.rfind("--sha256=", 0) == 0) {
            if (!value("--sha256", &v)) return bad("--sha256 needs a checksum");
            o.sha256 = v;
        } else if (a == "--listen" || a.rfind("--listen=", 0) == 0) {
            if (!value("--listen", &v)) return bad("--listen needs ADDR:PORT");
            o.listen = v;
        } else if (a == "--tls-cert" || a.rfind("--tls-cert=", 0) == 0) {
            if (!value("--tls-cert", &v) || v.empty()) return bad("--tls-cert needs a file");
            o.tls_cert = v;
        } else if (a == "--tls-key" || a.rfind("--tls-key=", 0) == 0) {
            if (!value("--tls-key", &v) || v.empty()) return bad("--tls-key needs a file");
            o.tls_key = v;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--no-save") {
            o.no_save = true;
        } else if (a == "--reboot") {
            o.reboot = true;
        } else if (a == "--json") {
            o.json = true;
        } else {
            return bad("unknown option " + a + " (see --help)");
        }
    }
    if (o.help || o.version) return o;
    const bool web_options = o.listen || !o.tls_cert.empty() || !o.tls_key.empty();
    if (web_options && o.frontend != "web")
        return bad(std::string(o.listen              ? "--listen"
                               : !o.tls_cert.empty() ? "--tls-cert"
                                                     : "--tls-key") +
                   " needs the web frontend (--frontend web)");
    if (o.tls_cert.empty() != o.tls_key.empty()) return bad("--tls-cert and --tls-key go together");
    if (!words.empty() && is_command_word(words[0])) {
        o.command = words[0];
        o.args.assign(words.begin() + 1, words.end());
        if (!o.frontend.empty()) return bad("--frontend is not used by the command " + o.command);
        if (o.trace) return bad("--trace is not used by the command " + o.command);
        return o;
    }
    if (words.size() > 1) {
        std::error_code ec;
        if (words[0] == "-" || std::filesystem::exists(words[0], ec))
            return bad("more than one script given: " + words[0] + " and " + words[1]);
        return bad("unknown command " + words[0] + " (see --help)");
    }
    if (!words.empty()) o.script = words[0];
    for (auto [given, name] : {std::pair{o.no_save, "--no-save"},
                               {o.reboot, "--reboot"},
                               {o.json, "--json"},
                               {o.sha256.has_value(), "--sha256"}})
        if (given) return bad(std::string(name) + " is an option of the commands (see --help)");
    return o;
}

}  // namespace orva::app
