// The kernel-object handle table, CloseHandle, ReadFile and WriteFile.
#include "platform/handles.h"

#include <map>

namespace orva::platform {
namespace {

struct Table {
    std::map<uintptr_t, std::unique_ptr<KernelObject>> objects;
    uintptr_t next = 0x100;
};

Table& table() {
    static Table t;
    return t;
}

}  // namespace

BOOL KernelObject::read(void*, DWORD, DWORD* done) {
    if (done) *done = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL KernelObject::write(const void*, DWORD, DWORD* done) {
    if (done) *done = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

HANDLE add_handle(std::unique_ptr<KernelObject> object) {
    uintptr_t h = table().next;
    table().next += 4;
    table().objects.emplace(h, std::move(object));
    return reinterpret_cast<HANDLE>(h);
}

KernelObject* find_handle(HANDLE handle) {
    auto it = table().objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table().objects.end() ? nullptr : it->second.get();
}

bool remove_handle(HANDLE handle) {
    auto it = table().objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table().objects.end()) return false;
    auto object = std::move(it->second);  // destroyed after the table forgets it
    table().objects.erase(it);
    return true;
}

size_t open_handle_count() { return table().objects.size(); }

}  // namespace orva::platform

using namespace orva::platform;

BOOL CloseHandle(HANDLE handle) {
    if (!remove_handle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace {

// Runs `io` (the object's read or write) on the object behind `file`; the
// count it moved goes through `done` when given.
template <class Io>
BOOL through_object(HANDLE file, LPDWORD done, Io io) {
    KernelObject* object = find_handle(file);
    DWORD count = 0;
    BOOL ok = FALSE;
    if (object) ok = io(*object, &count);
    else SetLastError(ERROR_INVALID_HANDLE);
    if (done) *done = count;
    return ok;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    return through_object(file, read, [&](KernelObject& o, DWORD* n) { return o.read(buffer, toRead, n); });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
    return through_object(file, written, [&](KernelObject& o, DWORD* n) { return o.write(buffer, toWrite, n); });
}
