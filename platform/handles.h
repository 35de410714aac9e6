// Kernel objects (files, the serial port, searches, processes) behind HANDLE
// values. CloseHandle frees any of them; ReadFile and WriteFile go to the
// object's own read and write.
#pragma once

#include <memory>

#include "platform/wince.h"

namespace orva::platform {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Default: the object cannot be read or written (ERROR_INVALID_HANDLE).
    virtual BOOL read(void* buffer, DWORD size, DWORD* done);
    virtual BOOL write(const void* buffer, DWORD size, DWORD* done);
    // What GetFileType says of it.
    virtual DWORD file_type() const { return FILE_TYPE_UNKNOWN; }
};

HANDLE add_handle(std::unique_ptr<KernelObject> object);
KernelObject* find_handle(HANDLE handle);
template <class T>
T* find_handle_as(HANDLE handle) {
    return dynamic_cast<T*>(find_handle(handle));
}
bool remove_handle(HANDLE handle);
// How many kernel objects are open (tests check that nothing leaks).
size_t open_handle_count();
// How many registry keys are open, HKEY_LOCAL_MACHINE aside (likewise).
size_t open_key_count();

}  // namespace orva::platform
