// The simulated controller behind the Controller interface, with the parts
// the device library and the orva-controller tool reach directly: the three
// registry hives, the flash, the event log and the configuration.
#pragma once

#include <algorithm>
#include <memory>

#include "simulator/config.h"
#include "simulator/controller.h"
#include "simulator/event_log.h"
#include "simulator/flash.h"
#include "simulator/registry_store.h"
#include "simulator/whole_file.h"

namespace orva::sim {

// File names inside a controller directory.
// (The registry's files are named in registry_store.h.)
inline constexpr const char* kConfigFile = "controller.toml";
inline constexpr const char* kFlashFile = "flash.img";
inline constexpr const char* kEventLogFile = "events.log";
inline constexpr const char* kDebugLogFile = "debug.log";
inline constexpr const char* kFsFolder = "fs";
inline constexpr const char* kLockFile = "controller.lock";

// The lock of the controller in `dir`: its controller.lock, named
// "controller DIR".
inline LockPlace lock_place(const std::filesystem::path& dir) {
    return {dir / kLockFile, "controller " + dir.string()};
}

class SimController;

// The twelve device library calls on a simulated controller. Every call is
// appended to the event log as "Name(arguments) -> result" (pointer
// arguments left out).
class SimDeviceLibrary final : public DeviceLibrary {
public:
    explicit SimDeviceLibrary(SimController& controller) : m_c(controller) {}
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
    SimController& m_c;
};

class SimController final : public Controller {
public:
    // Opens an existing controller directory (see Controller::open).
    static std::unique_ptr<SimController> open_dir(const std::filesystem::path& dir, std::string* error);
    ~SimController() override;

    const std::filesystem::path& dir() const override { return m_dir; }
    DeviceLibrary& device() override { return m_device; }
    uint64_t image_area_bytes() const override { return uint64_t(std::max(0, m_config.image_area_size)); }
    bool read_image(uint64_t offset, uint8_t* out, size_t count) override;
    std::vector<std::string> warnings() const override { return m_config.warnings; }
    bool reg_key_exists(std::string_view key) override;
    RegResult reg_get(std::string_view key, std::string_view name, RegValue* out) override;
    RegResult reg_set(std::string_view key, std::string_view name, uint32_t type, const uint8_t* data,
                      size_t size) override;
    bool reg_flush() override;
    // Fails as reg_set does for a value listed in registry_read_only.
    RegResult reg_create_key(std::string_view key) override;
    RegResult reg_delete_value(std::string_view key, std::string_view name) override;
    std::optional<bool> reg_value_saved(std::string_view key, std::string_view name) override;
    std::optional<bool> registry_saved() override;
    std::vector<std::string> registry_problems() const override;
    ResolvedPath resolve_path(std::string_view controller_path) override;
    std::filesystem::path fs_root() const override { return m_dir / kFsFolder; }
    bool write_file(std::string_view controller_path, const std::string& text, std::string* error) override;
    std::optional<std::string> serial_device(std::string_view port) override;
    void debug_output(std::string_view text) override;
    void close() override;

    // Null after close().
    RegistryStore* registry() { return m_registry.get(); }
    // Null after close(), and when the flash file could not be opened:
    // flash_error() then says why.
    NorFlash* flash() { return m_flash.get(); }
    const std::string& flash_error() const { return m_flash_error; }
    EventLog& event_log() { return m_log; }
    EventLog& debug_log() { return m_debug_log; }
    const ControllerConfig& config() const { return m_config; }

    // What a restart does to the controller: the live registry becomes the
    // saved copy, or the factory registry (the factory copy) when a
    // registry segment was erased since the last save or the saved copy
    // fails its check; the flash is synced and "reboot()" is logged. false
    // with a message when the registry could not be reloaded, or was loaded
    // from the factory registry because the saved copy fails its check, or
    // the flash could not be synced (the reboot is logged all the same). A
    // saved copy that cannot be read (an I/O error) is not taken for an
    // erased one: the live registry is kept, and the result is false.
    bool restart(std::string* error);

    // Replaces the flash file and its map with a new flash, erased
    // throughout (orva-controller flash reset): the image area is erased,
    // the registry is left alone. false and a message naming the file
    // otherwise; flash() is then null.
    bool reset_flash(std::string* error);

    // Erases a registry segment (0 to 15): the saved copy becomes invalid.
    bool erase_registry_segment(int segment);

    // Takes one GetSystemSerialNumber call: false while the configured
    // failures are not yet used up.
    bool take_serial_number_call();

private:
    SimController(std::filesystem::path dir, ControllerConfig config);
    // Whether [faults] registry_read_only lists this value.
    bool read_only(std::string_view key, std::string_view name) const;

    SimDeviceLibrary m_device;
    std::filesystem::path m_dir;
    ControllerConfig m_config;
    std::unique_ptr<RegistryStore> m_registry;
    std::unique_ptr<NorFlash> m_flash;
    std::string m_flash_error;
    EventLog m_log;
    EventLog m_debug_log;
    int64_t m_serial_failures_left = 0;
};

}  // namespace orva::sim
