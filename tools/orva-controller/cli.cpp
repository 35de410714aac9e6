// The orva-controller commands (init, reg, log, flash, reboot, module), the
// table of them and of the global options, and --help written from it.
#include "tools/orva-controller/cli.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>

#include "board/board_controller.h"
#include "common/help_text.h"
#include "common/host_files.h"
#include "simulator/flash_geometry.h"
#include "simulator/paths.h"
#include "simulator/reg_file.h"
#include "simulator/sim_controller.h"
#include "tools/orva-controller/module_command.h"
#include "tools/orva-controller/value_text.h"

namespace orva::tool {

using sim::Hive;
using sim::RegResult;
using sim::SimController;

namespace {

// --help around the commands' entries.
constexpr const char* kHelpHead =
    "usage: orva-controller [-C DIR | --controller DIR | --board [FILE]] [--wait SECONDS] COMMAND ...\n"
    "       orva-controller --help | --version\n"
    "\n"
    "Prepares and inspects a simulated controller (default directory: $ORVA_CONTROLLER,\n"
    "else $XDG_STATE_HOME/orva-utility/controller, else ~/.local/state/orva-utility/controller),\n"
    "or with --board the Linux board this program runs on, described by FILE (default\n"
    "/etc/orva-utility/board.toml; FILE is the next word when it ends in .toml, else\n"
    "--board=FILE): reg, log, flash and reboot act on its state directory and its flash.\n"
    "-C DIR, --controller DIR and --board may stand anywhere on the line; \"--\" ends the\n"
    "options.\n"
    "A command that changes the controller has it alone; one that reads it (reg get, reg\n"
    "export to standard output, log, flash read and state) shares it with other readers.\n"
    "--wait SECONDS: how long to wait for a controller that another program has (default\n"
    "10, 0 not at all), then fail with \"controller DIR is in use by PID N (COMMAND)\"\n"
    "(\"board FILE is in use by PID N (COMMAND)\" with --board).\n"
    "\n";
constexpr const char* kHelpTail =
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
    "standard error and the others stay usable. So is factory.reg, against the factory copy;\n"
    "either is rebuilt from the other only by reg --factory restore. A copy of another\n"
    "controller, or a symbolic link, is refused like a damaged one.\n";

constexpr const char* kFlashUsage = "flash needs read SEGMENT [COUNT] [--force], state or reset";

std::optional<uint64_t> number(const std::string& s) {
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

const ToolOption* option_of(const std::vector<ToolOption>& options, const std::string& word) {
    for (const ToolOption& option : options)
        if (word == option.name || (!option.alias.empty() && word == option.alias)) return &option;
    return nullptr;
}

const ToolCommand* command_of(const std::string& words) {
    for (const ToolCommand& command : tool_commands())
        if (command.words == words) return &command;
    return nullptr;
}

// The options and arguments of `words` by the options of `options`; a
// value option takes the next word.
std::vector<Invocation::Item> items_of(const std::vector<std::string>& words, size_t from,
                                       const std::vector<ToolOption>& options) {
    std::vector<Invocation::Item> items;
    for (size_t i = from; i < words.size(); ++i) {
        const ToolOption* option = option_of(options, words[i]);
        if (!option) {
            items.push_back({"", words[i]});
        } else if (option->value.empty()) {
            items.push_back({option->name, std::nullopt});
        } else {
            items.push_back({option->name, i + 1 < words.size() ? std::optional(words[i + 1]) : std::nullopt});
            ++i;
        }
    }
    return items;
}

}  // namespace

std::vector<std::string> Invocation::args() const {
    std::vector<std::string> out;
    for (const Item& item : items)
        if (item.option.empty()) out.push_back(*item.value);
    return out;
}

int Invocation::count(const std::string& name) const {
    int n = 0;
    for (const std::vector<Item>* list : {&family, &items})
        for (const Item& item : *list) n += item.option == name;
    return n;
}

class ToolRun {
public:
    ToolRun(std::ostream& out, std::ostream& err, bool out_is_terminal)
        : m_out(out), m_err(err), m_out_is_terminal(out_is_terminal) {}

    int main(const std::vector<std::string>& all) {
        // The global options may stand anywhere before "--".
        std::optional<std::filesystem::path> dir, board;
        std::vector<std::string> args;
        bool options = true;
        for (size_t i = 0; i < all.size(); ++i) {
            const std::string& a = all[i];
            const ToolOption* option = options ? option_of(tool_global_options(), a) : nullptr;
            std::optional<std::string> value;
            if (options && !option) {
                // "--controller=DIR", or "-CDIR".
                for (const ToolOption& o : tool_global_options()) {
                    if (o.value.empty()) continue;
                    if (a.rfind(o.name + "=", 0) == 0) option = &o, value = a.substr(o.name.size() + 1);
                    else if (o.alias.size() == 2 && a.size() > 2 && a.rfind(o.alias, 0) == 0)
                        option = &o, value = a.substr(2);
                    if (option) break;
                }
            }
            if (!options || !option) {
                if (options && a == "--") options = false;
                else args.push_back(a);
                continue;
            }
            if (option->name == "--help") return help({});
            if (option->name == "--version") {
                m_out << "orva-controller " ORVA_VERSION "\n";
                return 0;
            }
            if (!value && option->toml) {
                const std::string next = i + 1 < all.size() ? all[i + 1] : "";
                value = next.size() > 5 && next.compare(next.size() - 5, 5, ".toml") == 0 ? all[++i] : "";
            }
            if (!value) {
                if (i + 1 >= all.size()) return usage(a + " needs " + option->needs);
                value = all[++i];
            }
            if (option->name == "--controller") dir = *value;
            if (option->name == "--board") board = value->empty() ? board::kDefaultBoardFile : *value;
            if (option->name == "--wait") {
                auto w = lock::parse_wait(*value);
                if (!w) return usage("--wait needs a number of seconds, not \"" + *value + "\"");
                m_wait = *w;
            }
        }
        if (dir && board) return usage("--board and --controller each choose the controller: give one");
        if (args.empty()) return usage("no command given");
        if (!args[0].empty() && args[0][0] == '-' && args[0] != "-") return usage("unknown option " + args[0]);
        const ToolCommand* command = command_of(args[0]);
        if (!command) return usage("unknown command " + args[0]);
        if (board && !command->controller)
            return usage(args[0] + " makes a simulated controller; a board's state is made when it is first used");
        const ToolCommand* family = nullptr;
        Invocation call;
        size_t next = 1;
        if (!command->missing.empty()) {
            // A family: its own options, then the second word.
            family = command;
            for (; next < args.size(); ++next) {
                const ToolOption* option = option_of(command->options, args[next]);
                if (!option) break;
                call.family.push_back({option->name, std::nullopt});
            }
            if (next >= args.size()) return usage(command->missing);
            const ToolCommand* second = command_of(command->words + " " + args[next]);
            if (!second) {
                std::string unknown = command->unknown;
                if (size_t at = unknown.find("WORD"); at != std::string::npos) unknown.replace(at, 4, args[next]);
                return usage(unknown);
            }
            command = second;
            ++next;
        }
        call.items = items_of(args, next, command->options);
        if (command->controller && board)
            if (int code = open_board(*board, *command, call)) return code;
        if (command->controller && !board)
            if (int code = open(dir ? *dir : sim::default_controller_dir(), *command, call)) return code;
        if (family && family->run)
            if (int code = (this->*family->run)(call)) return code;
        return (this->*command->run)(call);
    }

    int help(const Invocation&) {
        m_out << tool_usage();
        return 0;
    }

    int init(const Invocation& call) {
        std::optional<std::string> dir;
        uint32_t segment_size = sim::kDefaultSegmentSize;
        bool force = false;
        // Each new controller its own identity, unless given.
        sim::Identity identity = sim::random_identity();
        for (const Invocation::Item& item : call.items) {
            if (item.option == "--force") {
                force = true;
            } else if (item.option == "--serial") {
                if (!item.value || !sim::is_serial_text(*item.value))
                    return usage("--serial needs 16 hexadecimal digits (8 bytes, byte 0 first)");
                identity.serial = *item.value;
            } else if (item.option == "--mac1" || item.option == "--mac2") {
                if (!item.value || !sim::is_mac_text(*item.value))
                    return usage(item.option + " needs six hexadecimal bytes like 02:00:00:00:00:01");
                (item.option == "--mac1" ? identity.mac1 : identity.mac2) = *item.value;
            } else if (item.option == "--segment-size") {
                auto v = item.value ? number(*item.value) : std::nullopt;
                if (!v || !sim::is_segment_size(*v))
                    return usage("--segment-size must be " + sim::segment_sizes_text());
                segment_size = static_cast<uint32_t>(*v);
            } else if (!dir && (item.value->empty() || (*item.value)[0] != '-')) {
                dir = *item.value;
            } else {
                return usage("unexpected argument " + *item.value + " for init");
            }
        }
        if (!dir) return usage("init needs a directory");
        // A controller that is being replaced must not be in use; the
        // directory is made first to hold the lock (init reports what is
        // wrong with it).
        std::error_code ec;
        std::filesystem::create_directories(*dir, ec);
        if (int code = take_lock(*dir, lock::Use::Write)) return code;
        std::string error;
        if (!sim::init_controller(*dir, segment_size, force, &error, identity)) return fail(error);
        return 0;
    }

    int reg_get(const Invocation& call) {
        const Hive hive = hive_of(call);
        sim::RegistryStore& store = *registry();
        if (!store.usable(hive)) return unusable(hive);
        const std::vector<std::string> args = call.args();
        if (args.size() != 2) return usage("reg get needs KEY VALUE");
        sim::RegValue v;
        switch (store.get(hive, args[0], args[1], &v)) {
            case RegResult::Ok:
                m_out << format_value(v) << "\n";
                return 0;
            case RegResult::NoKey:
                return key_missing(hive, args[0]);
            case RegResult::NoValue:
                return fail("no value \"" + args[1] + "\" in key \"" + args[0] + "\"" + copy_note(hive));
            default:
                return fail(store.last_error());
        }
    }

    int reg_set(const Invocation& call) {
        const Hive hive = hive_of(call);
        sim::RegistryStore& store = *registry();
        if (!store.usable(hive)) return unusable(hive);
        std::optional<uint64_t> size;
        std::vector<std::string> pos;
        for (const Invocation::Item& item : call.items) {
            if (item.option == "--size") {
                size = item.value ? number(*item.value) : std::nullopt;
                if (!size) return usage("--size needs a number of bytes");
            } else {
                pos.push_back(*item.value);
            }
        }
        if (pos.size() != 4) return usage("reg set needs KEY VALUE TYPE DATA");
        const std::optional<uint32_t> exact = parse_hex_type(pos[2]);
        const std::optional<uint32_t> type = exact ? exact : parse_type_name(pos[2]);
        if (!type) return usage("unknown type " + pos[2]);
        std::string error;
        auto data = parse_value_data(*type, pos[3], size, &error, exact.has_value());
        if (!data) return bad(error);
        switch (store.set(hive, pos[0], pos[1], *type, data->data(), data->size())) {
            case RegResult::Ok:
                return 0;
            case RegResult::NoKey:
                return key_missing(hive, pos[0]);
            default:
                return fail(store.last_error());
        }
    }

    int reg_delete(const Invocation& call) {
        const Hive hive = hive_of(call);
        sim::RegistryStore& store = *registry();
        if (!store.usable(hive)) return unusable(hive);
        const std::vector<std::string> args = call.args();
        if (args.empty() || args.size() > 2) return usage("reg delete needs KEY [VALUE]");
        RegResult r = args.size() == 2 ? store.delete_value(hive, args[0], args[1]) : store.delete_key(hive, args[0]);
        switch (r) {
            case RegResult::Ok:
                return 0;
            case RegResult::NoKey:
                return key_missing(hive, args[0]);
            case RegResult::NoValue:
                return fail("no value \"" + args[1] + "\" in key \"" + args[0] + "\"" + copy_note(hive));
            default:
                return fail(store.last_error());
        }
    }

    int reg_mkkey(const Invocation& call) {
        const Hive hive = hive_of(call);
        sim::RegistryStore& store = *registry();
        if (!store.usable(hive)) return unusable(hive);
        const std::vector<std::string> args = call.args();
        if (args.size() != 1) return usage("reg mkkey needs KEY");
        if (sim::normalize_key(args[0]).empty()) return usage("reg mkkey needs a key below HKEY_LOCAL_MACHINE");
        if (store.make_key(hive, args[0]) != RegResult::Ok) return fail(store.last_error());
        return 0;
    }

    int reg_export(const Invocation& call) {
        const Hive hive = hive_of(call);
        sim::RegistryStore& store = *registry();
        if (!store.usable(hive)) return unusable(hive);
        std::optional<std::string> to_fs;
        std::vector<std::string> keys;
        for (const Invocation::Item& item : call.items) {
            if (item.option == "--to-fs") {
                if (!item.value || to_fs) return usage("--to-fs needs one controller path");
                to_fs = item.value;
            } else if (item.option.empty() && item.value->rfind("--", 0) == 0) {
                return usage("unknown option " + *item.value + " for reg export");
            } else if (item.option.empty()) {
                keys.push_back(*item.value);
            }
        }
        if (keys.size() > 1) return usage("reg export takes at most one KEY");
        const std::string key = keys.empty() ? "" : keys[0];
        if (!store.key_exists(hive, key)) return key_missing(hive, key);
        std::string text = sim::format_reg_text(store.dump(hive, key));
        if (!call.count("--utf8")) text = sim::utf16le_file_text(text);
        if (!to_fs) {
            m_out << text;
            return 0;
        }
        std::string error;
        if (!seam().write_file(*to_fs, text, &error)) return fail(error);
        return 0;
    }

    int reg_import(const Invocation& call) {
        const Hive hive = hive_of(call);
        sim::RegistryStore& store = *registry();
        if (!store.usable(hive)) return unusable(hive);
        sim::RegParseOptions options;
        std::vector<std::string> files;
        for (const Invocation::Item& item : call.items) {
            if (item.option == "--encoding") {
                options.encoding = item.value ? sim::parse_encoding_name(*item.value) : std::nullopt;
                if (!options.encoding)
                    return usage(item.value ? "unknown encoding " + *item.value + " (utf-8, utf-16le or windows-1252)"
                                            : "--encoding needs utf-8, utf-16le or windows-1252");
            } else if (item.option.empty() && item.value->rfind("--", 0) == 0) {
                return usage("unknown option " + *item.value + " for reg import");
            } else if (item.option.empty()) {
                files.push_back(*item.value);
            }
        }
        options.strict = call.count("--strict") > 0;
        options.skip_bad_lines = call.count("--skip-bad-lines") > 0;
        if (files.size() != 1) return usage("reg import needs FILE");
        std::string bytes, error;
        if (!sim::read_whole_file(files[0], bytes, &error)) return fail("reg import " + error);
        std::vector<std::string> warnings;
        const bool ok = store.import(hive, bytes, files[0], options, &warnings);
        for (const std::string& w : warnings) m_err << "orva-controller: warning: " << w << "\n";
        if (!ok) return fail(store.last_error());
        return 0;
    }

    // reg [--saved] restore --from saved|factory: rebuilds the live copy (or
    // the saved copy) from another one, whatever state it is in. reg
    // --factory restore --from-file | --to-file: the factory copy from
    // factory.reg, or factory.reg from the factory copy.
    int reg_restore(const Invocation& call) {
        const std::vector<Invocation::Item>& items = call.items;
        if (hive_of(call) == Hive::Factory) {
            if (items.size() != 1 || (items[0].option != "--from-file" && items[0].option != "--to-file"))
                return usage("reg --factory restore needs --from-file or --to-file");
            sim::RegistryStore& store = *registry();
            if (items[0].option == "--from-file") {
                if (!store.load_factory_file()) return fail(store.last_error());
                return 0;
            }
            if (!store.usable(Hive::Factory)) return unusable(Hive::Factory);
            if (!store.write_factory_file()) return fail(store.last_error());
            return 0;
        }
        if (items.size() != 1 || items[0].option != "--from" ||
            (items[0].value != "saved" && items[0].value != "factory"))
            return usage("reg restore needs --from saved or --from factory");
        const Hive from = items[0].value == "saved" ? Hive::Saved : Hive::Factory;
        const Hive to = hive_of(call);
        if (to == from) return usage("reg --saved restore takes --from factory");
        sim::RegistryStore& store = *registry();
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

    int log(const Invocation& call) {
        if (!call.args().empty() || call.count("--debug") > 1 || call.count("--clear") > 1)
            return usage("log takes only --debug and --clear");
        sim::EventLog& log = m_board ? (call.count("--debug") ? m_board->debug_log() : m_board->event_log())
                                     : (call.count("--debug") ? m_controller->debug_log() : m_controller->event_log());
        if (call.count("--clear")) {
            if (!log.clear()) return fail(log.file().string() + ": cannot be cleared");
            return 0;
        }
        // A missing log prints nothing and is no failure; a log that cannot
        // be read whole is one.
        const bool read = files::read_pieces(log.file(), [&](std::string_view piece) {
            m_out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        });
        if (!read && errno != ENOENT) return fail(log.file().string() + ": cannot be read: " + std::strerror(errno));
        return 0;
    }

    // Before a flash command but reset: a flash to work on.
    int flash_ready() {
        if (m_board) return m_board->area() ? 0 : fail(m_board->flash_error());
        if (!m_controller->flash()) return fail(m_controller->flash_error());
        return 0;
    }

    int flash_state(const Invocation& call) {
        if (!call.family.empty() || !call.items.empty()) return usage(kFlashUsage);
        if (int code = flash_ready()) return code;
        if (m_board) {
            // What is not erased, read from the device itself.
            board::ImageArea& area = *m_board->area();
            std::vector<uint8_t> bytes;
            for (int64_t s = area.first_segment(); s < area.first_segment() + area.segment_count(); ++s) {
                if (!area.read(s, bytes)) return fail(area.last_error());
                const auto n = std::count_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0xFF; });
                if (n) m_out << s << " " << n << "\n";
            }
            return 0;
        }
        sim::NorFlash& flash = *m_controller->flash();
        for (auto [segment, bytes] : flash.programmed_segments()) m_out << segment << " " << bytes << "\n";
        if (!flash.last_error().empty()) return fail(flash.last_error());
        return 0;
    }

    int flash_read(const Invocation& call) {
        if (int code = flash_ready()) return code;
        const bool force = call.count("--force") > 0;
        const std::vector<std::string> args = call.args();
        if (args.empty() || args.size() > 2) return usage(kFlashUsage);
        int64_t first = 0;
        auto [p, ec] = std::from_chars(args[0].data(), args[0].data() + args[0].size(), first);
        if (ec != std::errc() || p != args[0].data() + args[0].size() || args[0].empty())
            return usage("bad segment number " + args[0]);
        uint64_t count = 1;
        if (args.size() == 2) {
            auto c = number(args[1]);
            if (!c || *c == 0) return usage("bad segment count " + args[1]);
            count = *c;
        }
        // Checked without adding first and count, which may be anywhere in 64 bits.
        const int64_t lo = m_board ? m_board->area()->first_segment() : m_controller->flash()->first_segment();
        const int64_t n = m_board ? m_board->area()->segment_count() : m_controller->flash()->segment_count();
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
            const int64_t s = first + static_cast<int64_t>(k);
            if (m_board ? !m_board->area()->read(s, buf) : !m_controller->flash()->read(s, buf))
                return fail(m_board ? m_board->area()->last_error() : m_controller->flash()->last_error());
            m_out.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
        }
        return 0;
    }

    // A new flash, erased throughout, in place of the one there (missing,
    // damaged or sound); the registry is left alone.
    int flash_reset(const Invocation& call) {
        if (!call.family.empty() || !call.items.empty()) return usage(kFlashUsage);
        if (m_board) return usage("flash reset makes a new simulated flash; a board's flash is its device");
        std::string error;
        if (!m_controller->reset_flash(&error)) return fail(error);
        return 0;
    }

    int reboot(const Invocation& call) {
        if (!call.items.empty()) return usage("reboot takes no arguments");
        std::string error;
        if (m_board ? !m_board->restart_registry(&error) : !m_controller->restart(&error)) return fail(error);
        return 0;
    }

    int module_serve(const Invocation& call) {
        if (!call.items.empty()) return usage("module needs serve");
        if (m_board) return usage("module serve is the simulated module; a board's COM0 is its [serial] device");
        return tool::module_serve(*m_controller, m_out, m_err);
    }

private:
    // What the command works on: the simulated controller, or the board.
    ctl::Controller& seam() { return m_board ? static_cast<ctl::Controller&>(*m_board) : *m_controller; }
    sim::RegistryStore* registry() { return m_board ? m_board->registry() : m_controller->registry(); }

    // Takes the lock of the controller in `dir`; 0, or the exit code after
    // saying why not.
    int take_lock(const std::filesystem::path& dir, lock::Use use) {
        const sim::LockPlace place = sim::lock_place(dir);
        std::string error;
        lock::UseLock::Failure failure{};
        m_lock = lock::UseLock::take(place.file, place.name, use, m_wait, &error, &failure);
        if (m_lock) return 0;
        return failure == lock::UseLock::Failure::InUse ? fail(error) : bad(error);
    }

    // Locks the controller in `dir` as `command` so called holds it, opens
    // it and says what its configuration and registry warn of; 0, or the
    // exit code.
    int open(const std::filesystem::path& dir, const ToolCommand& command, const Invocation& call) {
        const bool writes = !command.writes_with.empty() && call.count(command.writes_with) > 0;
        if (writes || command.lock) {
            if (int code = take_lock(dir, writes ? lock::Use::Write : *command.lock)) return code;
        }
        std::string error;
        m_controller = SimController::open_dir(dir, &error);
        if (!m_controller) return bad(error);
        for (const std::string& warning : m_controller->config().warnings)
            m_err << "orva-controller: warning: " << warning << "\n";
        for (const std::string& problem : m_controller->registry_problems())
            m_err << "orva-controller: warning: " << problem << "\n";
        return 0;
    }

    // The same for the board board.toml `file` describes: its lock is in its
    // state directory, and its first opening (or the first after the machine
    // started again) changes it, so it is had alone.
    int open_board(const std::filesystem::path& file, const ToolCommand& command, const Invocation& call) {
        std::string error;
        auto cfg = board::load_board_config(file, &error);
        if (!cfg) return bad(error);
        const bool writes =
            (!command.writes_with.empty() && call.count(command.writes_with) > 0) || board::opening_writes(*cfg);
        if (writes || command.lock) {
            // A state directory that cannot be made is said when the board opens.
            files::make_folders(cfg->state_dir);
            const ctl::LockPlace place = board::lock_place(*cfg);
            lock::UseLock::Failure failure{};
            m_lock = lock::UseLock::take(place.file, place.name, writes ? lock::Use::Write : *command.lock, m_wait,
                                         &error, &failure);
            if (!m_lock) return failure == lock::UseLock::Failure::InUse ? fail(error) : bad(error);
        }
        m_board = board::BoardController::open(file, &error);
        if (!m_board) return bad(error);
        for (const std::string& warning : m_board->warnings()) m_err << "orva-controller: warning: " << warning << "\n";
        for (const std::string& problem : m_board->registry_problems())
            m_err << "orva-controller: warning: " << problem << "\n";
        return 0;
    }

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

    // The copy a reg command addresses: the last of --saved and --factory.
    static Hive hive_of(const Invocation& call) {
        Hive hive = Hive::Live;
        for (const Invocation::Item& item : call.family)
            hive = item.option == "--saved" ? Hive::Saved : item.option == "--factory" ? Hive::Factory : hive;
        return hive;
    }
    static std::string copy_note(Hive hive) {
        return hive == Hive::Live ? "" : hive == Hive::Saved ? " (saved copy)" : " (factory registry)";
    }
    int key_missing(Hive hive, const std::string& key) { return fail("no key \"" + key + "\"" + copy_note(hive)); }

    // The copy's file and what is wrong with it were named when it was opened.
    int unusable(Hive hive) {
        return fail(std::string("the ") + sim::copy_name(hive) +
                    " of the registry cannot be used (see the warning above)");
    }

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_out_is_terminal;
    std::chrono::milliseconds m_wait = lock::kDefaultWait;  // --wait
    // Released after the controller is closed.
    std::unique_ptr<lock::UseLock> m_lock;
    std::unique_ptr<SimController> m_controller;
    std::unique_ptr<board::BoardController> m_board;
};

const std::vector<ToolOption>& tool_global_options() {
    static const std::vector<ToolOption> options{
        {.name = "--controller", .alias = "-C", .value = "DIR", .complete = "<dir>", .needs = "a directory"},
        {.name = "--board", .value = "FILE", .complete = "<file>", .needs = "a board.toml", .toml = true},
        {.name = "--wait", .value = "SECONDS", .needs = "a number of seconds"},
        {.name = "--help", .alias = "-h"},
        {.name = "--version"},
    };
    return options;
}

const std::vector<ToolCommand>& tool_commands() {
    const std::string copy = "reg [--saved|--factory] ";
    const ToolOption flag_force{.name = "--force", .alias = "-f"};
    static const std::vector<ToolCommand> commands{
        {.words = "init",
         .help = {{"init DIR [--segment-size " + sim::segment_sizes_text("|") +
                       "] [--force] [--serial HEX] [--mac1 MAC] [--mac2 MAC]",
                   "a new controller with factory settings and its own identity:\n"
                   "the serial number and MACs not given are drawn at random\n"
                   "(the MACs locally administered)"}},
         .options = {{.name = "--segment-size", .value = "BYTES", .complete = sim::segment_sizes_text(" ")},
                     {.name = "--force"},
                     {.name = "--serial", .value = "HEX"},
                     {.name = "--mac1", .value = "MAC"},
                     {.name = "--mac2", .value = "MAC"}},
         .args = {"<dir>"},
         .controller = false,
         .run = &ToolRun::init},
        {.words = "reg",
         .options = {{.name = "--saved"}, {.name = "--factory"}},
         .missing = "reg needs a subcommand",
         .unknown = "unknown reg subcommand WORD"},
        {.words = "reg get",
         .help = {{copy + "get KEY VALUE", "prints TYPE SIZE DATA, e.g. REG_DWORD 4 640"}},
         .lock = lock::Use::Read,
         .run = &ToolRun::reg_get},
        {.words = "reg set",
         .help = {{copy + "set KEY VALUE TYPE DATA [--size BYTES]",
                   "TYPE REG_SZ (text), REG_DWORD (decimal or 0x hex),\n"
                   "REG_BINARY and others (hex:01,02,...); --size pads with zero bytes;\n"
                   "TYPE hex(N) sets type N to exactly the bytes hex:01,02,..."}},
         .options = {{.name = "--size", .value = "BYTES"}},
         .args = {"", "", "REG_SZ REG_EXPAND_SZ REG_DWORD REG_BINARY REG_MULTI_SZ REG_NONE"},
         .run = &ToolRun::reg_set},
        {.words = "reg delete", .help = {{copy + "delete KEY [VALUE]", ""}}, .run = &ToolRun::reg_delete},
        {.words = "reg mkkey", .help = {{copy + "mkkey KEY", ""}}, .run = &ToolRun::reg_mkkey},
        {.words = "reg export",
         .help = {{copy + "export [KEY] [--to-fs PATH] [--utf8]",
                   ".reg text to stdout, or with --to-fs into the controller's file\n"
                   "system at PATH (\\Temp\\RegView.txt), never outside fs/: UTF-16LE\n"
                   "with CR LF as regedit writes it, with --utf8 UTF-8 with LF"}},
         .options = {{.name = "--to-fs", .value = "PATH"}, {.name = "--utf8"}},
         .lock = lock::Use::Read,
         .writes_with = "--to-fs",
         .run = &ToolRun::reg_export},
        {.words = "reg import",
         .help = {{copy + "import FILE [--encoding NAME] [--strict] [--skip-bad-lines]",
                   ".reg text (at most 64 MiB), all of it or nothing; --encoding\n"
                   "utf-8|utf-16le|windows-1252 instead of telling it as regedit does;\n"
                   "--strict refuses sections under other roots (else skipped with a\n"
                   "warning); --skip-bad-lines skips the lines Windows would skip"}},
         .options = {{.name = "--encoding", .value = "NAME", .complete = "utf-8 utf-16le windows-1252"},
                     {.name = "--strict"},
                     {.name = "--skip-bad-lines"}},
         .args = {"<file>"},
         .run = &ToolRun::reg_import},
        {.words = "reg restore",
         .help = {{"reg restore --from saved|factory",
                   "rebuilds the live copy from the saved copy or the factory registry"},
                  {"reg --saved restore --from factory", "rebuilds the saved copy from the factory registry"},
                  {"reg --factory restore --from-file|--to-file",
                   "loads the factory copy from factory.reg, or writes factory.reg\n"
                   "anew from the factory copy, when the two disagree"}},
         .options = {{.name = "--from", .value = "COPY", .complete = "saved factory"},
                     {.name = "--from-file"},
                     {.name = "--to-file"}},
         .run = &ToolRun::reg_restore},
        {.words = "log",
         .help = {{"log [--clear]", "the event log of device library calls"},
                  {"log --debug [--clear]", "the debug log: the program's kernel debug output"}},
         .options = {{.name = "--debug"}, {.name = "--clear"}},
         // The logs are only appended to: reading one waits for nobody, so
         // that an operator can follow it while the program runs.
         .lock = std::nullopt,
         .writes_with = "--clear",
         .run = &ToolRun::log},
        {.words = "flash", .options = {flag_force}, .missing = kFlashUsage, .unknown = kFlashUsage},
        {.words = "flash read",
         .help = {{"flash read SEGMENT [COUNT] [--force]",
                   "raw bytes of COUNT image segments (default 1) to stdout;\n"
                   "refused when stdout is a terminal, unless --force"}},
         .options = {flag_force},
         .lock = lock::Use::Read,
         .run = &ToolRun::flash_read},
        {.words = "flash state",
         .help = {{"flash state", "segments that are not erased: SEGMENT BYTES-NOT-0xFF"}},
         .lock = lock::Use::Read,
         .run = &ToolRun::flash_state},
        {.words = "flash reset",
         .help = {{"flash reset",
                   "a new flash, erased throughout, in place of the one there (missing,\n"
                   "damaged or sound); the registry is left alone"}},
         .run = &ToolRun::flash_reset},
        {.words = "reboot",
         .help = {{"reboot", "what a restart does to the registry, without a program to end"}},
         .run = &ToolRun::reboot},
        {.words = "module", .missing = "module needs serve", .unknown = "module needs serve"},
        {.words = "module serve",
         .help = {{"module serve",
                   "the simulated I/O module on a pseudo-terminal of its own: prints\n"
                   "the device path for [serial] COM0, answers until killed"}},
         .lock = std::nullopt,
         .run = &ToolRun::module_serve},
        {.words = "help", .controller = false, .run = &ToolRun::help},
    };
    return commands;
}

std::string tool_usage() {
    std::string out = kHelpHead;
    for (const ToolCommand& command : tool_commands())
        for (const auto& [synopsis, text] : command.help) out += help_entry(synopsis, text);
    return out + kHelpTail;
}

int run_controller_tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                        bool out_is_terminal) {
    return ToolRun(out, err, out_is_terminal).main(args);
}

}  // namespace orva::tool
