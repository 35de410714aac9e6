// orva-autorun-generator: the systemd generator that starts the board's
// auto-run programs at boot. systemd runs it with its three output folders
// (normal, early, late); the units go to the first. It reads board.toml
// ($ORVA_BOARD, else /etc/orva-utility/board.toml); without one it makes
// nothing and says nothing. What it cannot use is logged (to the kernel's
// log when systemd runs it, else to standard error) and it then makes
// nothing, exiting 0 so that the boot goes on.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "board/autorun_units.h"
#include "board/board_config.h"
#include "common/host_files.h"
#include "common/syscalls.h"

namespace {

// One line to the kernel's log under systemd (which sets $SYSTEMD_SCOPE for
// its generators), else to standard error.
void log_line(int priority, const std::string& text) {
    const std::string line = "orva-autorun-generator: " + text + "\n";
    if (std::getenv("SYSTEMD_SCOPE")) {
        const int kmsg = orva::sys::open("/dev/kmsg", O_WRONLY | O_CLOEXEC, 0);
        if (kmsg >= 0) {
            const std::string entry = "<" + std::to_string(priority) + ">" + line;
            const bool written = orva::sys::write(kmsg, entry.data(), entry.size()) == ssize_t(entry.size());
            orva::sys::close(kmsg);
            if (written) return;
        }
    }
    std::fputs(line.c_str(), stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fputs("orva-autorun-generator: usage: orva-autorun-generator NORMAL-DIR [EARLY-DIR LATE-DIR]\n", stderr);
        return 2;
    }
    const char* given = std::getenv("ORVA_BOARD");
    const std::string file = given && *given ? given : orva::board::kDefaultBoardFile;
    if (!orva::files::exists(file)) return 0;
    std::string error;
    auto cfg = orva::board::load_board_config(file, &error);
    if (!cfg) {
        log_line(3, error + "; no auto-run program is started");
        return 0;
    }
    std::vector<std::string> notes;
    auto units = orva::board::autorun_units(*cfg, &notes, &error);
    if (!units) {
        log_line(3, error + "; no auto-run program is started");
        return 0;
    }
    for (const std::string& note : notes) log_line(4, note);
    if (!orva::board::write_autorun_units(argv[1], *units, &error)) {
        log_line(3, error);
        return 1;
    }
    return 0;
}
