// The orva-controller commands: init, reg, log, flash, reboot, module.
#include "tools/orva-controller/cli.h"

#include <charconv>
#include <fstream>
#include <optional>

#include "simulator/paths.h"
#include "simulator/reg_file.h"
#include "simulator/sim_controller.h"
#include "tools/orva-controller/module_command.h"
#include "tools/orva-controller/value_text.h"

namespace orva::tool {

namespace {

using sim::Hive;
using sim::RegResult;
using sim::SimController;

const std::string kUsage =
    std::string() +
    "usage: orva-controller [-C DIR | --controller DIR] COMMAND ...\n"
    "       orva-controller --help | --version\n"
    "\n"
    "Prepares and inspects a simulated controller (default directory: $ORVA_CONTROLLER,\n"
    "else $XDG_STATE_HOME/orva-utility/controller, else ~/.local/state/orva-utility/controller).\n"
    "-C DIR and --controller DIR may stand anywhere on the line; \"--\" ends the options.\n"
    "\n"
    "  init DIR [--segment-size " +
    sim::segment_sizes_text("|") +
    "] [--force]\n"
    "                          a new controller with factory settings\n"
    "  reg [--saved|--factory] get KEY VALUE\n"
    "                          prints TYPE SIZE DATA, e.g. REG_DWORD 4 640\n"
    "  reg [--saved|--factory] set KEY VALUE TYPE DATA [--size BYTES]\n"
    "                          TYPE REG_SZ (text), REG_DWORD (decimal or 0x hex),\n"
    "                          REG_BINARY and others (hex:01,02,...); --size pads with zero bytes\n"
    "  reg [--saved|--factory] delete KEY [VALUE]\n"
    "  reg [--saved|--factory] mkkey KEY\n"
    "  reg [--saved|--factory] export [KEY] [--to-fs PATH]\n"
    "                          .reg text to stdout, or with --to-fs into the controller's file\n"
    "                          system at PATH (\\Temp\\RegView.txt), never outside fs/\n"
    "  reg [--saved|--factory] import FILE\n"
    "                          .reg text (at most 64 MiB); all of it or nothing\n"
    "  reg restore --from saved|factory\n"
    "                          rebuilds the live copy from the saved copy or the factory registry\n"
    "  reg --saved restore --from factory\n"
    "                          rebuilds the saved copy from the factory registry\n"
    "  log [--clear]           the event log of device library calls\n"
    "  log --debug [--clear]   the debug log: the program's kernel debug output\n"
    "  flash read SEGMENT [COUNT] [--force]\n"
    "                          raw bytes of COUNT image segments (default 1) to stdout;\n"
    "                          refused when stdout is a terminal, unless --force\n"
    "  flash state             segments that are not erased: SEGMENT BYTES-NOT-0xFF\n"
    "  reboot                  what a restart does to the registry, without a program to end\n"
    "  module serve            the simulated I/O module on a pseudo-terminal of its own: prints\n"
    "                          the device path for [serial] COM0, answers until killed\n"
    "\n"
    "KEY is relative to HKEY_LOCAL_MACHINE (\"Drivers\\Display\\MQ200\"); VALUE \"\" is the\n"
    "key's unnamed value. --saved and --factory address the copy saved in flash and the\n"
    "factory registry instead of the live one.\n"
    "\n"
    "Exit status: 0 success; 1 the operation failed (including a missing key or value);\n"
    "2 a bad command line, or no controller in DIR.\n"
    "\n"
    "Each copy is a file of the controller directory (registry-live.db, registry-saved.db,\n"
    "registry-factory.db) checked when it is opened; a copy that fails its check is named on\n"
    "standard error and the others stay usable. The factory copy follows factory.reg.\n";

class Run {
public:
    Run(std::ostream& out, std::ostream& err, bool out_is_terminal)
        : m_out(out), m_err(err), m_out_is_terminal(out_is_terminal) {}

    // The operation failed: exit code 1.
    int fail(const std::string& what) {
        m_err << "orva-controller: " << what << "\n";
        return 1;
    }
    // A bad command line, or no controller to work on: exit code 2.
    int usage(const std::string& what) { return bad(what + " (see orva-controller --help)"); }
    int bad(const std::string& what) {
        m_err << "orva-controller: " << what << "\n";
        return 2;
    }

    int main(const std::vector<std::string>& all) {
        // -C DIR and --controller DIR may stand anywhere before "--".
        std::optional<std::filesystem::path> dir;
        std::vector<std::string> args;
        bool options = true;
        for (size_t i = 0; i < all.size(); ++i) {
            const std::string& a = all[i];
            if (!options) {
                args.push_back(a);
            } else if (a == "--") {
                options = false;
            } else if (a == "--help" || a == "-h") {
                m_out << kUsage;
                return 0;
            } else if (a == "--version") {
                m_out << "orva-controller " ORVA_VERSION "\n";
                return 0;
            } else if (a == "-C" || a == "--controller") {
                if (i + 1 >= all.size()) return usage(a + " needs a directory");
                dir = all[++i];
            } else if (a.rfind("--controller=", 0) == 0) {
                dir = a.substr(13);
            } else if (a.size() > 2 && a.rfind("-C", 0) == 0) {
                dir = a.substr(2);
            } else {
                args.push_back(a);
            }
        }
        if (args.empty()) return usage("no command given");
        if (!args[0].empty() && args[0][0] == '-' && args[0] != "-") return usage("unknown option " + args[0]);
        const std::string cmd = args[0];
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (cmd == "help") {
            m_out << kUsage;
            return 0;
        }
        if (cmd == "init") return init(rest);
        if (cmd != "reg" && cmd != "log" && cmd != "flash" && cmd != "reboot" && cmd != "module")
            return usage("unknown command " + cmd);
        std::string error;
        m_controller = SimController::open_dir(dir ? *dir : sim::default_controller_dir(), &error);
        if (!m_controller) return bad(error);
        for (const std::string& warning : m_controller->config().warnings)
            m_err << "orva-controller: warning: " << warning << "\n";
        for (const std::string& problem : m_controller->registry_problems())
            m_err << "orva-controller: warning: " << problem << "\n";
        if (cmd == "reg") return reg(rest);
        if (cmd == "log") return log(rest);
        if (cmd == "flash") return flash(rest);
        if (cmd == "module") return module_command(*m_controller, rest, m_out, m_err);
        return reboot(rest);
    }

private:
    static std::optional<uint64_t> number(const std::string& s) {
        uint64_t v = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
        return v;
    }

    int init(const std::vector<std::string>& args) {
        std::optional<std::string> dir;
        uint32_t segment_size = sim::kDefaultSegmentSize;
        bool force = false;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--force") {
                force = true;
            } else if (args[i] == "--segment-size") {
                auto v = i + 1 < args.size() ? number(args[i + 1]) : std::nullopt;
                if (!v || !sim::is_segment_size(*v))
                    return usage("--segment-size must be " + sim::segment_sizes_text());
                segment_size = static_cast<uint32_t>(*v);
                ++i;
            } else if (!dir && (args[i].empty() || args[i][0] != '-')) {
                dir = args[i];
            } else {
                return usage("unexpected argument " + args[i] + " for init");
            }
        }
        if (!dir) return usage("init needs a directory");
        std::string error;
        if (!sim::init_controller(*dir, segment_size, force, &error)) return fail(error);
        return 0;
    }

    int reg(std::vector<std::string> args) {
        Hive hive = Hive::Live;
        while (!args.empty() && (args[0] == "--saved" || args[0] == "--factory")) {
            hive = args[0] == "--saved" ? Hive::Saved : Hive::Factory;
            args.erase(args.begin());
        }
        if (args.empty()) return usage("reg needs a subcommand");
        const std::string sub = args[0];
        args.erase(args.begin());
        if (sub == "restore") return restore(hive, args);
        sim::RegistryStore& store = *m_controller->registry();
        if (!store.usable(hive)) return unusable(hive);
        const std::string copy = hive == Hive::Live    ? ""
                                 : hive == Hive::Saved ? " (saved copy)"
                                                       : " (factory registry)";
        auto key_missing = [&](const std::string& key) { return fail("no key \"" + key + "\"" + copy); };
        if (sub == "get") {
            if (args.size() != 2) return usage("reg get needs KEY VALUE");
            sim::RegValue v;
            switch (store.get(hive, args[0], args[1], &v)) {
                case RegResult::Ok:
                    m_out << format_value(v) << "\n";
                    return 0;
                case RegResult::NoKey:
                    return key_missing(args[0]);
                case RegResult::NoValue:
                    return fail("no value \"" + args[1] + "\" in key \"" + args[0] + "\"" + copy);
                default:
                    return fail(store.last_error());
            }
        }
        if (sub == "set") {
            std::optional<uint64_t> size;
            std::vector<std::string> pos;
            for (size_t i = 0; i < args.size(); ++i) {
                if (args[i] == "--size") {
                    size = i + 1 < args.size() ? number(args[i + 1]) : std::nullopt;
                    if (!size) return usage("--size needs a number of bytes");
                    ++i;
                } else {
                    pos.push_back(args[i]);
                }
            }
            if (pos.size() != 4) return usage("reg set needs KEY VALUE TYPE DATA");
            auto type = parse_type_name(pos[2]);
            if (!type) return usage("unknown type " + pos[2]);
            std::string error;
            auto data = parse_value_data(*type, pos[3], size, &error);
            if (!data) return bad(error);
            switch (store.set(hive, pos[0], pos[1], *type, data->data(), data->size())) {
                case RegResult::Ok:
                    return 0;
                case RegResult::NoKey:
                    return key_missing(pos[0]);
                default:
                    return fail(store.last_error());
            }
        }
        if (sub == "delete") {
            if (args.empty() || args.size() > 2) return usage("reg delete needs KEY [VALUE]");
            RegResult r =
                args.size() == 2 ? store.delete_value(hive, args[0], args[1]) : store.delete_key(hive, args[0]);
            switch (r) {
                case RegResult::Ok:
                    return 0;
                case RegResult::NoKey:
                    return key_missing(args[0]);
                case RegResult::NoValue:
                    return fail("no value \"" + args[1] + "\" in key \"" + args[0] + "\"" + copy);
                default:
                    return fail(store.last_error());
            }
        }
        if (sub == "mkkey") {
            if (args.size() != 1) return usage("reg mkkey needs KEY");
            if (sim::normalize_key(args[0]).empty()) return usage("reg mkkey needs a key below HKEY_LOCAL_MACHINE");
            if (store.make_key(hive, args[0]) != RegResult::Ok) return fail(store.last_error());
            return 0;
        }
        if (sub == "export") {
            std::optional<std::string> to_fs;
            std::vector<std::string> keys;
            for (size_t i = 0; i < args.size(); ++i) {
                if (args[i] == "--to-fs") {
                    if (i + 1 >= args.size() || to_fs) return usage("--to-fs needs one controller path");
                    to_fs = args[++i];
                } else {
                    keys.push_back(args[i]);
                }
            }
            if (keys.size() > 1) return usage("reg export takes at most one KEY");
            const std::string key = keys.empty() ? "" : keys[0];
            if (!store.key_exists(hive, key)) return key_missing(key);
            const std::string text = sim::format_reg_text(store.dump(hive, key));
            if (!to_fs) {
                m_out << text;
                return 0;
            }
            std::string error;
            if (!sim::write_controller_file(m_controller->fs_root(), *to_fs, text, &error)) return fail(error);
            return 0;
        }
        if (sub == "import") {
            if (args.size() != 1) return usage("reg import needs FILE");
            std::string text, error;
            if (!sim::read_whole_file(args[0], text, &error)) return fail("reg import " + error);
            auto changes = sim::parse_reg_text(text, args[0], &error);
            if (!changes) return fail(error);
            if (!store.apply(hive, *changes)) return fail(args[0] + ": not imported: " + store.last_error());
            return 0;
        }
        return usage("unknown reg subcommand " + sub);
    }

    // The copy's file and what is wrong with it were named when it was opened.
    int unusable(Hive hive) {
        return fail(std::string("the ") + sim::copy_name(hive) +
                    " of the registry cannot be used (see the warning above)");
    }

    // reg [--saved] restore --from saved|factory: rebuilds the live copy (or
    // the saved copy) from another one, whatever state it is in.
    int restore(Hive to, const std::vector<std::string>& args) {
        if (args.size() != 2 || args[0] != "--from" || (args[1] != "saved" && args[1] != "factory"))
            return usage("reg restore needs --from saved or --from factory");
        const Hive from = args[1] == "saved" ? Hive::Saved : Hive::Factory;
        if (to == Hive::Factory) return usage("the factory copy is not restored: it is rebuilt from factory.reg");
        if (to == from) return usage("reg --saved restore takes --from factory");
        sim::RegistryStore& store = *m_controller->registry();
        if (!store.usable(from)) return unusable(from);
        if (from == Hive::Saved) {
            const sim::SavedState state = store.saved_state();
            if (state == sim::SavedState::Unreadable) return fail(store.last_error());
            if (state != sim::SavedState::Valid)
                return fail(
                    "the saved copy is not valid (a registry segment was erased since it was saved); "
                    "use --from factory");
        }
        if (!store.copy(from, to)) return fail(store.last_error());
        return 0;
    }

    int log(const std::vector<std::string>& args) {
        bool debug = false, clear = false;
        for (const std::string& a : args) {
            if (a == "--debug" && !debug) debug = true;
            else if (a == "--clear" && !clear) clear = true;
            else return usage("log takes only --debug and --clear");
        }
        sim::EventLog& log = debug ? m_controller->debug_log() : m_controller->event_log();
        if (clear) {
            if (!log.clear()) return fail(log.file().string() + ": cannot be cleared");
            return 0;
        }
        // An empty or missing log prints nothing and is no failure (inserting
        // an empty stream buffer would mark the output as failed).
        std::ifstream in(log.file(), std::ios::binary);
        if (in && in.peek() != std::ifstream::traits_type::eof()) m_out << in.rdbuf();
        return 0;
    }

    int flash(std::vector<std::string> args) {
        if (!m_controller->flash()) return fail(m_controller->flash_error());
        sim::NorFlash& flash = *m_controller->flash();
        if (args.size() == 1 && args[0] == "state") {
            for (auto [segment, bytes] : flash.programmed_segments()) m_out << segment << " " << bytes << "\n";
            if (!flash.last_error().empty()) return fail(flash.last_error());
            return 0;
        }
        bool force = false;
        std::erase_if(args, [&](const std::string& a) { return a == "--force" || a == "-f" ? (force = true) : false; });
        if (args.empty() || args[0] != "read" || args.size() < 2 || args.size() > 3)
            return usage("flash needs read SEGMENT [COUNT] [--force] or state");
        int64_t first = 0;
        auto [p, ec] = std::from_chars(args[1].data(), args[1].data() + args[1].size(), first);
        if (ec != std::errc() || p != args[1].data() + args[1].size() || args[1].empty())
            return usage("bad segment number " + args[1]);
        uint64_t count = 1;
        if (args.size() == 3) {
            auto c = number(args[2]);
            if (!c || *c == 0) return usage("bad segment count " + args[2]);
            count = *c;
        }
        // Checked without adding first and count, which may be anywhere in 64 bits.
        const int64_t lo = flash.first_segment(), n = flash.segment_count();
        if (n <= 0) return bad("flash read: this flash has no image segments");
        if (first < lo || first - lo >= n || count > static_cast<uint64_t>(n - (first - lo)))
            return bad("flash read: " +
                       (count == 1
                            ? "segment " + std::to_string(first) + " is not"
                            : std::to_string(count) + " segments from " + std::to_string(first) + " are not all") +
                       " in the image area (" + std::to_string(lo) + " to " + std::to_string(lo + n - 1) + ")");
        if (m_out_is_terminal && !force)
            return fail("flash read: binary data is not written to a terminal; redirect it or give --force");
        std::vector<uint8_t> buf;
        for (uint64_t k = 0; k < count; ++k) {
            if (!flash.read(first + static_cast<int64_t>(k), buf)) return fail(flash.last_error());
            m_out.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
        }
        return 0;
    }

    int reboot(const std::vector<std::string>& args) {
        if (!args.empty()) return usage("reboot takes no arguments");
        std::string error;
        if (!m_controller->restart(&error)) return fail(error);
        return 0;
    }

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_out_is_terminal;
    std::unique_ptr<SimController> m_controller;
};

}  // namespace

int run_controller_tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                        bool out_is_terminal) {
    return Run(out, err, out_is_terminal).main(args);
}

}  // namespace orva::tool
