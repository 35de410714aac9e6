// The controller a command run with --check works on: every read reaches the
// real controller (and its device calls are logged as usual), every write is
// answered as if it had succeeded and does nothing: no registry value, key or
// flush, no erase, no program, no reboot, no file, no debug output. The page
// runs as far as it can, with all its reads and checks, and leaves the
// controller as it was.
#pragma once

#include "controller/controller.h"

namespace orva::app {

class CheckController final : public ctl::Controller, private ctl::DeviceLibrary {
public:
    explicit CheckController(ctl::Controller& real) : m_real(real) {}

    const std::filesystem::path& dir() const override { return m_real.dir(); }
    ctl::DeviceLibrary& device() override { return *this; }
    uint64_t image_area_bytes() const override { return m_real.image_area_bytes(); }
    bool read_image(uint64_t offset, uint8_t* out, size_t count) override {
        return m_real.read_image(offset, out, count);
    }
    std::vector<std::string> warnings() const override { return m_real.warnings(); }
    bool reg_key_exists(std::string_view key) override { return m_real.reg_key_exists(key); }
    ctl::RegResult reg_get(std::string_view key, std::string_view name, ctl::RegValue* out) override {
        return m_real.reg_get(key, name, out);
    }
    ctl::RegResult reg_set(std::string_view, std::string_view, uint32_t, const uint8_t*, size_t) override {
        return ctl::RegResult::Ok;
    }
    bool reg_flush() override { return true; }
    ctl::RegResult reg_create_key(std::string_view) override { return ctl::RegResult::Ok; }
    // Ok for a value that exists, NoValue or NoKey otherwise.
    ctl::RegResult reg_delete_value(std::string_view key, std::string_view name) override;
    std::optional<bool> reg_value_saved(std::string_view key, std::string_view name) override {
        return m_real.reg_value_saved(key, name);
    }
    std::optional<bool> registry_saved() override { return m_real.registry_saved(); }
    std::vector<std::string> registry_problems() const override { return m_real.registry_problems(); }
    ctl::ResolvedPath resolve_path(std::string_view path) override { return m_real.resolve_path(path); }
    std::filesystem::path fs_root() const override { return m_real.fs_root(); }
    std::optional<std::string> controller_path_of(const std::filesystem::path& host) const override {
        return m_real.controller_path_of(host);
    }
    bool write_file(std::string_view, const std::string&, std::string*) override { return true; }
    std::optional<std::string> serial_device(std::string_view port) override { return m_real.serial_device(port); }
    void debug_output(std::string_view) override {}
    // The real controller is closed by whoever opened it.
    void close() override {}

private:
    // The device library: reads reach the real one, writes do nothing.
    int reboot() override { return 1; }
    int FlashErase_Reg(int) override { return 1; }
    int FlashErase_Img(int) override { return 1; }
    int FlashWriteString_Img(int, uint32_t, const uint8_t*, uint32_t) override { return 1; }
    int32_t GetFlashSize_Img(uint32_t* segmentSize) override { return m_real.device().GetFlashSize_Img(segmentSize); }
    int GetSystemSerialNumber(uint8_t* serial8) override { return m_real.device().GetSystemSerialNumber(serial8); }
    int ReadMAC(int index, uint32_t* mac6) override { return m_real.device().ReadMAC(index, mac6); }
    int GetOSversion(char16_t* text80) override { return m_real.device().GetOSversion(text80); }
    int GetSDKversion(char16_t* text80) override { return m_real.device().GetSDKversion(text80); }
    int GetKernelVersion(uint8_t* text8) override { return m_real.device().GetKernelVersion(text8); }
    int GetNameOfModule(int slot, char* name8) override { return m_real.device().GetNameOfModule(slot, name8); }
    int ChangeSlotToVex(uint8_t slot) override { return m_real.device().ChangeSlotToVex(slot); }

    ctl::Controller& m_real;
};

}  // namespace orva::app
