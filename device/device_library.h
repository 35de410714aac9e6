// The controller's device platform library: flash, identity data, module slots
// and reboot. On a real controller these twelve functions come from OrvaSDK.dll;
// here the simulated controller (simulator/) provides them.
//
// Only fixed-width standard types are used, so that whatever takes the
// library's place does not need the Windows types of the platform layer.
#pragma once

#include <cstdint>

// The flash: GetFlashSize_Img reports one of these segment sizes (128 KB on a
// 16 MB flash, 256 KB on a 32 MB one), and the registry area has
// REGISTRY_SEGMENT_COUNT segments.
#define FLASH_SEGMENT_SIZE_128K 131072
#define FLASH_SEGMENT_SIZE_256K 262144
#define REGISTRY_SEGMENT_COUNT 16

// Restarts the controller. Does not return when a controller is attached.
int reboot(void);

// Erases segment 0 to 15 of the registry area. 1 on success, 0 when refused.
int FlashErase_Reg(int segment);

// Erases one segment of the OS image area. 1 on success, 0 when refused.
int FlashErase_Img(int segment);

// Programs `count` bytes at `offset` of an image segment. Non-zero on success,
// 0 on failure (segment refused, data past the segment, verify mismatch).
int FlashWriteString_Img(int segment, uint32_t offset, const uint8_t* data, uint32_t count);

// Returns the OS image area size in bytes; stores the flash segment size.
int32_t GetFlashSize_Img(uint32_t* segmentSize);

// Fills eight serial-number bytes. 0 on success, non-zero on failure.
int GetSystemSerialNumber(uint8_t* serial8);

// Stores the six bytes of a MAC address (interface 0 or 1), one in the low
// byte of each value, first byte first. 1 on success, 0 on failure.
int ReadMAC(int interfaceIndex, uint32_t* mac6);

// Store a NUL-terminated wide text of at most 80 characters with the NUL.
int GetOSversion(char16_t* text80);
int GetSDKversion(char16_t* text80);

// Stores six characters in the first six bytes of an 8-byte buffer.
int GetKernelVersion(uint8_t* text8);

// Returns the model number of the module in `slot` less 5000; stores its
// NUL-terminated 8-bit name (at most seven characters) in an 8-byte buffer.
int GetNameOfModule(int slot, char* name8);

// Routes the serial port "COM0:" to the module bus of `slot`.
int ChangeSlotToVex(uint8_t slot);
