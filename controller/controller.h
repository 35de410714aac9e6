// The controller seam: what the platform layer, the program and the tools see
// of the controller the program runs on, whichever backend provides it (the
// simulated controller of simulator/, or the Linux board of board/). The
// device library's twelve calls (device/device_library.h) act on the
// controller made current with set_current(), through its DeviceLibrary.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::ctl {

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

// The device library's twelve calls, with the arguments and results of
// device/device_library.h, implemented by each backend.
class DeviceLibrary {
public:
    virtual ~DeviceLibrary() = default;
    virtual int reboot() = 0;
    virtual int FlashErase_Reg(int segment) = 0;
    virtual int FlashErase_Img(int segment) = 0;
    virtual int FlashWriteString_Img(int segment, uint32_t offset, const uint8_t* data, uint32_t count) = 0;
    virtual int32_t GetFlashSize_Img(uint32_t* segmentSize) = 0;
    virtual int GetSystemSerialNumber(uint8_t* serial8) = 0;
    virtual int ReadMAC(int interfaceIndex, uint32_t* mac6) = 0;
    virtual int GetOSversion(char16_t* text80) = 0;
    virtual int GetSDKversion(char16_t* text80) = 0;
    virtual int GetKernelVersion(uint8_t* text8) = 0;
    virtual int GetNameOfModule(int slot, char* name8) = 0;
    virtual int ChangeSlotToVex(uint8_t slot) = 0;
};

class Controller {
public:
    virtual ~Controller() = default;

    // Where the controller keeps its state: the simulated controller's
    // directory, or the board's state directory.
    virtual const std::filesystem::path& dir() const = 0;

    // The device library's twelve calls on this controller.
    virtual DeviceLibrary& device() = 0;
    // The size of the image area in bytes (0 when unknown); no device call
    // is made or logged.
    virtual uint64_t image_area_bytes() const = 0;
    // Reads `count` bytes of the image area from `offset` (0 is the first
    // byte of its first segment), as flash holds them; no device call is
    // made or logged. false when they cannot be read (outside the area, an
    // unusable flash): the caller cannot tell what the area holds. The
    // default reads nothing.
    virtual bool read_image(uint64_t offset, uint8_t* out, size_t count);
    // What the controller's configuration warns of (unknown keys and the
    // like), one line each, for standard error when it is opened.
    virtual std::vector<std::string> warnings() const { return {}; }

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
    // RegCreateKeyExW: makes the key of the live registry, with any missing
    // parents; Ok when it exists already. The default makes none (Denied).
    virtual RegResult reg_create_key(std::string_view key);
    // RegDeleteValueW: removes a value of the live registry (NoValue when it
    // is missing). The default removes none (Denied).
    virtual RegResult reg_delete_value(std::string_view key, std::string_view name);
    // Whether the copy saved in flash is valid and holds this value of the
    // live registry exactly (type and bytes; missing in both counts as
    // held). nullopt when it cannot be told: the callers then take it for
    // not saved, so that a save is made rather than skipped. The default
    // cannot tell.
    virtual std::optional<bool> reg_value_saved(std::string_view key, std::string_view name);
    // Whether the copy saved in flash is valid and holds the whole live
    // registry exactly; nullopt when it cannot be told (taken for not
    // saved, as above). The default cannot tell.
    virtual std::optional<bool> registry_saved();
    // The copies of the registry that failed their check when the controller
    // was opened: one message each, naming the copy and its file.
    virtual std::vector<std::string> registry_problems() const = 0;

    // Resolves a controller path inside fs/, case-insensitively, never above it.
    virtual ResolvedPath resolve_path(std::string_view controller_path) = 0;
    // The root of the controller's file system (fs/).
    virtual std::filesystem::path fs_root() const = 0;
    // The controller path ("\Storage Card\nk.bin") of a host file or
    // folder in the controller's file system, as resolve_path() gives them
    // or made canonical; nullopt when it lies in none of the controller's
    // folders. The default spells it below fs_root().
    virtual std::optional<std::string> controller_path_of(const std::filesystem::path& host) const;
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

// What a program locks before it opens a controller (opening may repair
// files): the lock file (common/use_lock.h), and the words that name the
// controller in the message when another program has it ("controller DIR").
struct LockPlace {
    std::filesystem::path file;
    std::string name;
};

// The controller the device library acts on (not owned).
void set_current(Controller* controller);
Controller* current();

// What reboot() does after the registry has been reloaded and the reboot
// logged: the program installs its own shutdown here (flush the transcript,
// close the controller, exit 0). Without a handler reboot() closes the
// controller and calls std::exit(0).
void set_reboot_handler(std::function<void()> handler);
// The handler installed with set_reboot_handler (empty when none).
const std::function<void()>& reboot_handler();

// How a backend tells the operator why it refused a device call (a device
// that may not be erased, say): the program installs a message box here.
// Without a handler the text goes to standard error.
void set_notice_handler(std::function<void(const std::string& caption, const std::string& text)> handler);
void notice(const std::string& caption, const std::string& text);

// `host` spelled as a controller path below `root` ("\" for the root
// itself), compared as written and then with `root` made canonical (`host`
// is taken as given: a path the resolver built, or one the caller made
// canonical); nullopt when it is not below `root` or a name holds a
// backslash.
std::optional<std::string> controller_path_below(const std::filesystem::path& root, const std::filesystem::path& host);

}  // namespace orva::ctl
