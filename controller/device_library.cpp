// The twelve device library functions the application imports, on the
// current controller's backend. With no current controller they fail
// harmlessly and touch no buffer.
#include "device/device_library.h"

#include "controller/controller.h"

namespace {

orva::ctl::DeviceLibrary* device() {
    orva::ctl::Controller* c = orva::ctl::current();
    return c ? &c->device() : nullptr;
}

}  // namespace

int reboot(void) { return device() ? device()->reboot() : 0; }

int FlashErase_Reg(int segment) { return device() ? device()->FlashErase_Reg(segment) : 0; }

int FlashErase_Img(int segment) { return device() ? device()->FlashErase_Img(segment) : 0; }

int FlashWriteString_Img(int segment, uint32_t offset, const uint8_t* data, uint32_t count) {
    return device() ? device()->FlashWriteString_Img(segment, offset, data, count) : 0;
}

int32_t GetFlashSize_Img(uint32_t* segmentSize) { return device() ? device()->GetFlashSize_Img(segmentSize) : 0; }

int GetSystemSerialNumber(uint8_t* serial8) { return device() ? device()->GetSystemSerialNumber(serial8) : 1; }

int ReadMAC(int interfaceIndex, uint32_t* mac6) { return device() ? device()->ReadMAC(interfaceIndex, mac6) : 0; }

int GetOSversion(char16_t* text80) { return device() ? device()->GetOSversion(text80) : 0; }

int GetSDKversion(char16_t* text80) { return device() ? device()->GetSDKversion(text80) : 0; }

int GetKernelVersion(uint8_t* text8) { return device() ? device()->GetKernelVersion(text8) : 0; }

int GetNameOfModule(int slot, char* name8) { return device() ? device()->GetNameOfModule(slot, name8) : 0; }

int ChangeSlotToVex(uint8_t slot) { return device() ? device()->ChangeSlotToVex(slot) : 0; }
