// The twelve device library calls on a simulated controller, each appended to
// its event log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/diagnostics.h"
#include "device/device_library.h"
#include "simulator/sim_controller.h"
#include "simulator/text.h"

namespace orva::sim {

namespace {

template <typename T>
T logged(SimController* c, const std::string& call, T result) {
    c->event_log().append(call + " -> " + std::to_string(result));
    return result;
}

// The controller's flash; null when its file cannot be used, which is said
// once on stderr.
NorFlash* usable_flash(SimController* c) {
    static bool said = false;
    if (!c->flash() && !c->flash_error().empty() && !said) {
        report(c->flash_error());
        said = true;
    }
    return c->flash();
}

// At most 79 code units and the NUL, never half of a surrogate pair.
int store_text80(SimController* c, const char* name, const std::u16string& text, char16_t* out) {
    if (out) {
        const size_t n = utf16_cut(text, 79);
        std::memcpy(out, text.data(), n * sizeof(char16_t));
        out[n] = 0;
    }
    return logged(c, std::string(name) + "()", out ? 1 : 0);
}

}  // namespace

int SimDeviceLibrary::reboot() {
    SimController* c = &m_c;
    std::string error;
    if (!c->restart(&error)) report("reboot: " + error);
    if (const auto& handler = reboot_handler()) {
        handler();
        return 1;
    }
    c->close();
    std::exit(0);
}

int SimDeviceLibrary::FlashErase_Reg(int segment) {
    SimController* c = &m_c;
    const bool ok = c->erase_registry_segment(segment);
    // Why the registry area could not be erased, once for a run of calls
    // that fail alike.
    static std::string said;
    const bool in_area = segment >= 0 && segment < REGISTRY_SEGMENT_COUNT;
    const std::string why = ok || !in_area || !c->registry() ? "" : c->registry()->last_error();
    if (!why.empty() && why != said) report(why);
    said = why;
    return logged(c, "FlashErase_Reg(" + std::to_string(segment) + ")", ok ? 1 : 0);
}

int SimDeviceLibrary::FlashErase_Img(int segment) {
    SimController* c = &m_c;
    NorFlash* flash = usable_flash(c);
    bool ok = flash && flash->erase(segment);
    if (!ok && flash && !flash->last_error().empty()) report(flash->last_error());
    return logged(c, "FlashErase_Img(" + std::to_string(segment) + ")", ok ? 1 : 0);
}

int SimDeviceLibrary::FlashWriteString_Img(int segment, uint32_t offset, const uint8_t* data, uint32_t count) {
    SimController* c = &m_c;
    NorFlash* flash = usable_flash(c);
    const bool tried = flash && segment != c->config().flash_write_fail_segment;
    const bool ok = tried && flash->program(segment, offset, data, count);
    if (tried && !ok && !flash->last_error().empty()) report(flash->last_error());
    return logged(c,
                  "FlashWriteString_Img(" + std::to_string(segment) + ", " + std::to_string(offset) + ", " +
                      std::to_string(count) + ")",
                  ok ? 1 : 0);
}

int32_t SimDeviceLibrary::GetFlashSize_Img(uint32_t* segmentSize) {
    SimController* c = &m_c;
    // A flash that cannot be used has no geometry to tell: nothing is stored.
    if (!usable_flash(c)) return logged(c, std::string("GetFlashSize_Img()"), 0);
    if (segmentSize) *segmentSize = c->config().segment_size;
    return logged(c, std::string("GetFlashSize_Img()"), c->config().image_area_size);
}

int SimDeviceLibrary::GetSystemSerialNumber(uint8_t* serial8) {
    SimController* c = &m_c;
    if (!serial8 || !c->take_serial_number_call()) return logged(c, std::string("GetSystemSerialNumber()"), 1);
    std::memcpy(serial8, c->config().serial_number.data(), 8);
    return logged(c, std::string("GetSystemSerialNumber()"), 0);
}

int SimDeviceLibrary::ReadMAC(int interfaceIndex, uint32_t* mac6) {
    SimController* c = &m_c;
    const std::string call = "ReadMAC(" + std::to_string(interfaceIndex) + ")";
    if (!mac6 || interfaceIndex < 0 || interfaceIndex > 1) return logged(c, call, 0);
    for (int i = 0; i < 6; ++i) mac6[i] = c->config().mac[interfaceIndex][i];
    return logged(c, call, 1);
}

int SimDeviceLibrary::GetOSversion(char16_t* text80) {
    SimController* c = &m_c;
    return store_text80(c, "GetOSversion", c->config().os_version, text80);
}

int SimDeviceLibrary::GetSDKversion(char16_t* text80) {
    SimController* c = &m_c;
    return store_text80(c, "GetSDKversion", c->config().sdk_version, text80);
}

int SimDeviceLibrary::GetKernelVersion(uint8_t* text8) {
    SimController* c = &m_c;
    if (text8) std::memcpy(text8, c->config().kernel_version.data(), 6);
    return logged(c, std::string("GetKernelVersion()"), text8 ? 1 : 0);
}

int SimDeviceLibrary::GetNameOfModule(int slot, char* name8) {
    SimController* c = &m_c;
    const std::string call = "GetNameOfModule(" + std::to_string(slot) + ")";
    if (slot != 1) {
        // An empty slot: no name, and a model number below any module's.
        if (name8) name8[0] = 0;
        return logged(c, call, -1);
    }
    if (name8) {
        const std::string& name = c->config().slot1_name;
        size_t n = name.size() < 7 ? name.size() : 7;
        std::memcpy(name8, name.data(), n);
        name8[n] = 0;
    }
    return logged(c, call, c->config().slot1_model - 5000);
}

int SimDeviceLibrary::ChangeSlotToVex(uint8_t slot) {
    SimController* c = &m_c;
    return logged(c, "ChangeSlotToVex(" + std::to_string(slot) + ")", 1);
}

}  // namespace orva::sim
