// The Linux board this program runs on, behind the controller seam: the
// device library's twelve calls on its flash, identity data, slot routing and
// restart, the registry in checked SQLite files in its state directory,
// controller paths mapped to host folders, and the serial ports board.toml
// names. Every device library call is appended to the event log in the
// state directory in the simulated controller's words.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "board/board_config.h"
#include "board/file_map.h"
#include "board/image_area.h"
#include "board/slot_route.h"
#include "controller/controller.h"
#include "simulator/event_log.h"
#include "simulator/registry_store.h"

namespace orva::board {

// File names inside the state directory, as in a controller directory.
inline constexpr const char* kEventLogFile = "events.log";
inline constexpr const char* kDebugLogFile = "debug.log";
// The boot the live registry was loaded in (/proc/sys/kernel/random/boot_id).
inline constexpr const char* kBootFile = "boot-id";
// The lock that keeps the board to one writer at a time (common/use_lock.h).
inline constexpr const char* kLockFile = "board.lock";

class BoardController;

class BoardDeviceLibrary final : public ctl::DeviceLibrary {
public:
    explicit BoardDeviceLibrary(BoardController& controller) : m_c(controller) {}
    int reboot() override;
    int FlashErase_Reg(int segment) override;
    int FlashErase_Img(int segment) override;
    int FlashWriteString_Img(int segment, uint32_t offset, const uint8_t* data, uint32_t count) override;
    int32_t GetFlashSize_Img(uint32_t* segmentSize) override;
    int GetSystemSerialNumber(uint8_t* serial8) override;
    int ReadMAC(int interfaceIndex, uint32_t* mac6) override;
    int GetOSversion(char16_t* text80) override;
    int GetSDKversion(char16_t* text80) override;
    int GetKernelVersion(uint8_t* text8) override;
    int GetNameOfModule(int slot, char* name8) override;
    int ChangeSlotToVex(uint8_t slot) override;

private:
    // Whether the image area may be erased in the update under way: the
    // checks run when an update begins (the registry erase that follows the
    // flash size, as the update page makes them) or, outside one, before an
    // image segment is erased. A refusal is told to the operator once.
    bool update_allowed(bool starting);
    // Whether an erase or a write must be checked first: outside an update,
    // or once its pass has ended and the device was let go.
    bool needs_check();
    // Ends the update under way, if any: its writes made durable and read
    // back, the device let go.
    void end_update();
    // Records the call that was just made, for telling an update's start.
    void called(const char* name) { m_last_call = name; }

    BoardController& m_c;
    const char* m_last_call = "";
    enum class Update { None, Allowed, Refused } m_update = Update::None;
};

class BoardController final : public ctl::Controller {
public:
    // Opens the board board.toml describes. The state directory is created
    // on first use, with the registry from the factory registry (board.toml's
    // factory.reg, else the built-in one) and the file system's root with
    // the factory folders and files. When the machine has started again
    // since the live registry was last loaded, it is loaded again from the
    // saved copy, or the factory registry, as a restart does. A device that
    // cannot be used fails the flash calls only (flash_error() says why).
    // nullptr and a message when board.toml or the state directory is
    // unusable.
    static std::unique_ptr<BoardController> open(const std::filesystem::path& board_file, std::string* error);
    ~BoardController() override;

    const std::filesystem::path& dir() const override { return m_cfg.state_dir; }
    ctl::DeviceLibrary& device() override { return m_device; }
    uint64_t image_area_bytes() const override { return m_area ? uint64_t(m_area->area_bytes()) : 0; }
    // Through the image area (opened again when it could not be before).
    bool read_image(uint64_t offset, uint8_t* out, size_t count) override;
    std::vector<std::string> warnings() const override { return m_cfg.warnings; }
    bool reg_key_exists(std::string_view key) override;
    ctl::RegResult reg_get(std::string_view key, std::string_view name, ctl::RegValue* out) override;
    ctl::RegResult reg_set(std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                           size_t size) override;
    // Also runs the apply hooks once the saved copy holds the live registry.
    bool reg_flush() override;
    ctl::RegResult reg_create_key(std::string_view key) override;
    ctl::RegResult reg_delete_value(std::string_view key, std::string_view name) override;
    std::optional<bool> reg_value_saved(std::string_view key, std::string_view name) override;
    std::optional<bool> registry_saved() override;
    std::vector<std::string> registry_problems() const override;
    ctl::ResolvedPath resolve_path(std::string_view controller_path) override {
        return m_files.resolve(controller_path);
    }
    std::filesystem::path fs_root() const override { return m_files.root(); }
    std::optional<std::string> controller_path_of(const std::filesystem::path& host) const override {
        return m_files.controller_path_of(host);
    }
    bool write_file(std::string_view controller_path, const std::string& text, std::string* error) override {
        return m_files.write_file(controller_path, text, error);
    }
    std::optional<std::string> serial_device(std::string_view port) override;
    void debug_output(std::string_view text) override;
    void close() override;

    const BoardConfig& config() const { return m_cfg; }
    const FileMap& files() const { return m_files; }
    // Null after close().
    sim::RegistryStore* registry() { return m_registry.get(); }
    // The image area; opened again when it could not be before. Null (and
    // flash_error() saying why) when the device cannot be used.
    ImageArea* area();
    const std::string& flash_error() const { return m_flash_error; }
    SlotRouter& slot_router() { return m_router; }
    sim::EventLog& event_log() { return m_log; }
    sim::EventLog& debug_log() { return m_debug_log; }

    // What a restart does to the registry (see SimController::restart): the
    // live registry becomes the saved copy, or the factory registry when the
    // saved copy was erased or fails its check. false with a message when it
    // could not be loaded, or the factory registry stood in for a damaged
    // saved copy.
    bool restart_registry(std::string* error);
    // FlashErase_Reg: erases the saved copy (it becomes invalid).
    bool erase_registry_segment(int segment);

private:
    BoardController(BoardConfig cfg);
    bool prepare_state_dir(std::string* error);
    void reload_after_boot();

    BoardConfig m_cfg;
    BoardDeviceLibrary m_device;
    FileMap m_files;
    SlotRouter m_router;
    std::unique_ptr<sim::RegistryStore> m_registry;
    std::unique_ptr<ImageArea> m_area;
    std::string m_flash_error;
    sim::EventLog m_log;
    sim::EventLog m_debug_log;
};

// The boot this machine is in ("" when unknown): the kernel's random boot
// id, below the identity root.
std::string current_boot_id(const BoardConfig& cfg);

// The board's lock: board.lock in its state directory, named "board FILE".
ctl::LockPlace lock_place(const BoardConfig& cfg);
// Whether opening the board changes its state: its first use makes it, and
// the first opening after the machine started again reloads the live
// registry. Such an opening needs the board alone.
bool opening_writes(const BoardConfig& cfg);

}  // namespace orva::board
