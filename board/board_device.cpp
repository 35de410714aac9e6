// The twelve device library calls on the board, each appended to the event
// log in the words the simulated controller uses.
#include <sys/reboot.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "board/board_controller.h"
#include "board/identity.h"
#include "board/spawn.h"
#include "common/diagnostics.h"
#include "common/syscalls.h"
#include "simulator/text.h"

namespace orva::board {

namespace {

constexpr int kRebootCommandTimeoutMs = 60 * 1000;

template <typename T>
T logged(BoardController& c, const std::string& call, T result) {
    c.event_log().append(call + " -> " + std::to_string(result));
    return result;
}

// Says why a call failed on standard error, once for each reason.
void say_once(const std::string& what) {
    static std::set<std::string> said;
    if (!what.empty() && said.insert(what).second) report(what);
}

int store_text80(BoardController& c, const char* name, const std::string& utf8, char16_t* out) {
    if (out) {
        const std::u16string text = sim::utf8_to_utf16(utf8);
        const size_t n = sim::utf16_cut(text, 79);
        std::memcpy(out, text.data(), n * sizeof(char16_t));
        out[n] = 0;
    }
    return logged(c, std::string(name) + "()", out ? 1 : 0);
}

}  // namespace

bool BoardDeviceLibrary::update_allowed(bool starting) {
    ImageArea* area = m_c.area();
    if (!area) return true;  // nothing there to protect; its calls fail
    if (starting && !area->begin_update()) say_once(area->last_error());
    if (auto refusal = area->claim_for_update()) {
        m_update = Update::Refused;
        ctl::notice("Write File to Flash", *refusal + "; nothing was erased");
        return false;
    }
    m_update = Update::Allowed;
    return true;
}

bool BoardDeviceLibrary::needs_check() {
    if (m_update == Update::Refused) return false;
    ImageArea* area = m_c.area();
    return m_update == Update::None || (area && !area->claimed());
}

void BoardDeviceLibrary::end_update() {
    if (m_update == Update::None) return;
    m_update = Update::None;
    if (ImageArea* area = m_c.area(); area && !area->end_update()) say_once(area->last_error());
}

int BoardDeviceLibrary::reboot() {
    called("reboot");
    end_update();
    m_c.event_log().append("reboot()");
    sys::sync();
    std::string why;
    const std::vector<std::string>& command = m_c.config().reboot_command;
    if (!command.empty()) {
        if (run_and_wait(command, {}, kRebootCommandTimeoutMs, &why) != 0) {
            report("reboot: " + why);
            return 0;
        }
    } else if (sys::reboot(RB_AUTOBOOT) != 0) {
        report(std::string("reboot: the board cannot be restarted: ") + std::strerror(errno));
        return 0;
    }
    // The board is going down (a command asks for it and returns): the live
    // registry is already what it will start with.
    if (!m_c.restart_registry(&why)) report("reboot: " + why);
    if (const auto& handler = ctl::reboot_handler()) {
        handler();
        return 1;
    }
    m_c.close();
    std::exit(0);
}

int BoardDeviceLibrary::FlashErase_Reg(int segment) {
    // The update page asks for the flash size and then erases the registry
    // area: the image area's device is checked before that first erase.
    const bool starting = std::strcmp(m_last_call, "GetFlashSize_Img") == 0;
    called("FlashErase_Reg");
    if (starting && !update_allowed(true)) return logged(m_c, "FlashErase_Reg(" + std::to_string(segment) + ")", 0);
    const bool ok = m_update != Update::Refused && m_c.erase_registry_segment(segment);
    return logged(m_c, "FlashErase_Reg(" + std::to_string(segment) + ")", ok ? 1 : 0);
}

int BoardDeviceLibrary::FlashErase_Img(int segment) {
    called("FlashErase_Img");
    const std::string call = "FlashErase_Img(" + std::to_string(segment) + ")";
    if (needs_check()) update_allowed(false);
    ImageArea* area = m_c.area();
    if (!area) say_once(m_c.flash_error());
    bool ok = area && m_update == Update::Allowed && area->erase(segment);
    if (!ok && area && m_update == Update::Allowed) say_once(area->last_error());
    return logged(m_c, call, ok ? 1 : 0);
}

int BoardDeviceLibrary::FlashWriteString_Img(int segment, uint32_t offset, const uint8_t* data, uint32_t count) {
    called("FlashWriteString_Img");
    const std::string call = "FlashWriteString_Img(" + std::to_string(segment) + ", " + std::to_string(offset) + ", " +
                             std::to_string(count) + ")";
    if (needs_check()) update_allowed(false);
    ImageArea* area = m_c.area();
    if (!area) say_once(m_c.flash_error());
    const bool ok = area && m_update == Update::Allowed && area->program(segment, offset, data, count);
    if (!ok && area && m_update == Update::Allowed) report(area->last_error());
    return logged(m_c, call, ok ? 1 : 0);
}

int32_t BoardDeviceLibrary::GetFlashSize_Img(uint32_t* segmentSize) {
    end_update();
    called("GetFlashSize_Img");
    ImageArea* area = m_c.area();
    // A device that cannot be used has no geometry to tell: nothing is stored.
    if (!area) {
        say_once(m_c.flash_error());
        return logged(m_c, std::string("GetFlashSize_Img()"), int32_t(0));
    }
    if (segmentSize) *segmentSize = area->segment_size();
    return logged(m_c, std::string("GetFlashSize_Img()"), area->area_bytes());
}

int BoardDeviceLibrary::GetSystemSerialNumber(uint8_t* serial8) {
    end_update();
    called("GetSystemSerialNumber");
    std::string why;
    auto serial = serial8 ? read_serial_number(m_c.config(), &why) : std::nullopt;
    if (!serial) {
        say_once("serial number: " + why);
        return logged(m_c, std::string("GetSystemSerialNumber()"), 1);
    }
    std::memcpy(serial8, serial->data(), 8);
    return logged(m_c, std::string("GetSystemSerialNumber()"), 0);
}

int BoardDeviceLibrary::ReadMAC(int interfaceIndex, uint32_t* mac6) {
    end_update();
    called("ReadMAC");
    const std::string call = "ReadMAC(" + std::to_string(interfaceIndex) + ")";
    std::string why;
    auto mac = mac6 ? read_mac(m_c.config(), interfaceIndex, &why) : std::nullopt;
    if (!mac) {
        if (mac6) say_once("MAC address " + std::to_string(interfaceIndex) + ": " + why);
        return logged(m_c, call, 0);
    }
    for (int i = 0; i < 6; ++i) mac6[i] = (*mac)[size_t(i)];
    return logged(m_c, call, 1);
}

int BoardDeviceLibrary::GetOSversion(char16_t* text80) {
    end_update();
    called("GetOSversion");
    return store_text80(m_c, "GetOSversion", read_os_version(m_c.config()), text80);
}

int BoardDeviceLibrary::GetSDKversion(char16_t* text80) {
    end_update();
    called("GetSDKversion");
    return store_text80(m_c, "GetSDKversion", sdk_version(), text80);
}

int BoardDeviceLibrary::GetKernelVersion(uint8_t* text8) {
    end_update();
    called("GetKernelVersion");
    std::string why;
    auto version = text8 ? read_kernel_version(&why) : std::nullopt;
    if (!version) {
        if (text8) say_once("kernel version: " + why);
        return logged(m_c, std::string("GetKernelVersion()"), 0);
    }
    std::memcpy(text8, version->data(), 6);
    return logged(m_c, std::string("GetKernelVersion()"), 1);
}

int BoardDeviceLibrary::GetNameOfModule(int slot, char* name8) {
    end_update();
    called("GetNameOfModule");
    const std::string call = "GetNameOfModule(" + std::to_string(slot) + ")";
    if (slot != 1) {
        // An empty slot: no name, and a model number below any module's.
        if (name8) name8[0] = 0;
        return logged(m_c, call, -1);
    }
    if (name8) {
        const std::string& name = m_c.config().slot1_name;
        const size_t n = std::min<size_t>(name.size(), 7);
        std::memcpy(name8, name.data(), n);
        name8[n] = 0;
    }
    return logged(m_c, call, m_c.config().slot1_model - 5000);
}

int BoardDeviceLibrary::ChangeSlotToVex(uint8_t slot) {
    end_update();
    called("ChangeSlotToVex");
    const std::string call = "ChangeSlotToVex(" + std::to_string(slot) + ")";
    std::string why;
    if (slot != 1) return logged(m_c, call, 0);
    if (!m_c.slot_router().route(&why)) {
        report("slot 1: " + why);
        return logged(m_c, call, 0);
    }
    return logged(m_c, call, 1);
}

}  // namespace orva::board
