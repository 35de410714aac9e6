// The simulated controller: a directory holding controller.toml, the registry
// database, the image-area flash file, the event log and fs/, the controller's
// own file system. This header is what the platform layer and the tools see
// of it; the device library (device/device_library.h) acts on the controller
// made current with set_current().
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::sim {

// Windows registry value types, as stored.
enum : uint32_t { kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7 };

struct RegValue {
    std::string name;  // as stored (case kept); "" is the key's unnamed value
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;  // exactly the bytes given when it was set
};

// BadName: a key or value name that holds a NUL character.
enum class RegResult { Ok, NoKey, NoValue, Denied, IoError, BadName };

// Where a controller path such as "\Storage Card\nk.bin" lands in fs/.
struct ResolvedPath {
    enum class Status { Ok, ParentMissing, Outside } status = Status::Ok;
    std::filesystem::path host;  // existing components matched case-insensitively;
                                 // a missing last component keeps the given spelling
    bool exists = false;         // whether `host` exists
};

class Controller {
public:
    virtual ~Controller() = default;

    // Opens an existing controller directory. nullptr and a one-line message
    // (naming the file, and the line where there is one) when it is missing,
    // unreadable or malformed. A registry copy that fails its check does not
    // stop it: see registry_problems().
    static std::unique_ptr<Controller> open(const std::filesystem::path& dir, std::string* error);

    virtual const std::filesystem::path& dir() const = 0;

    // The live registry, as the running program sees it. Key paths use
    // backslashes and are relative to HKEY_LOCAL_MACHINE; names compare
    // case-insensitively. Keys are never created here.
    virtual bool reg_key_exists(std::string_view key) = 0;
    virtual RegResult reg_get(std::string_view key, std::string_view name, RegValue* out) = 0;
    // Fails with Denied for "KEY\VALUE" listed in [faults] registry_read_only.
    virtual RegResult reg_set(std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                              size_t size) = 0;
    // RegFlushKey(HKEY_LOCAL_MACHINE): replaces the saved copy in one transaction.
    virtual bool reg_flush() = 0;
    // The copies of the registry that failed their check when the controller
    // was opened: one message each, naming the copy and its file.
    virtual std::vector<std::string> registry_problems() const = 0;

    // Resolves a controller path inside fs/, case-insensitively, never above it.
    virtual ResolvedPath resolve_path(std::string_view controller_path) = 0;
    // The root of the controller's file system (fs/).
    virtual std::filesystem::path fs_root() const = 0;
    // Writes `text` as the file at a controller path, never outside fs/ and
    // replacing the file whole (see write_controller_file in paths.h). false
    // and a message naming the path otherwise.
    virtual bool write_file(std::string_view controller_path, const std::string& text, std::string* error) = 0;

    // The host device that a port such as "COM0" maps to. When it maps to the
    // simulated I/O module, the module is started on a pseudo-terminal (once
    // per process) and the path of its slave side is returned. nullopt when
    // the port is not mapped or the module cannot be started.
    virtual std::optional<std::string> serial_device(std::string_view port) = 0;

    // The controller's debug port (kernel debug output): appends the text to
    // debug.log in the controller directory, carriage returns left out. A
    // failing write is reported on stderr once and otherwise ignored.
    virtual void debug_output(std::string_view text) = 0;

    // Writes everything to disk and closes the registry database; nothing is
    // usable afterwards. Called before the program ends (also by reboot). A
    // flash that cannot be synced is reported on stderr.
    virtual void close() = 0;
};

// Creates a new controller with factory settings. Refuses an existing one
// unless `force`. segment_size is 131072 or 262144.
bool init_controller(const std::filesystem::path& dir, uint32_t segment_size, bool force, std::string* error);

// $ORVA_CONTROLLER, else $XDG_STATE_HOME/orva-utility/controller, else
// ~/.local/state/orva-utility/controller.
std::filesystem::path default_controller_dir();

// The controller the device library acts on (not owned).
void set_current(Controller* controller);
Controller* current();

// What reboot() does after the registry has been reloaded and the reboot
// logged: the program installs its own shutdown here (flush the transcript,
// close the controller, exit 0). Without a handler reboot() closes the
// controller and calls std::exit(0).
void set_reboot_handler(std::function<void()> handler);

}  // namespace orva::sim
