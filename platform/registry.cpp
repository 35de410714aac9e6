// The registry calls on the controller's live registry (HKEY_LOCAL_MACHINE
// only). Keys are opened, never created; key handles live in a small table.
#include <cstring>
#include <map>
#include <string>

#include "platform/handles.h"
#include "platform/text.h"
#include "platform/wince.h"
#include "controller/controller.h"

namespace {

struct KeyTable {
    std::map<uintptr_t, std::string> keys;  // handle -> key path under HKLM
    uintptr_t next = 0x1000;
};

KeyTable& keys() {
    static KeyTable t;
    return t;
}

// The key path of an open key, or nullptr for a handle that is not one.
const std::string* key_path(HKEY key) {
    static const std::string root;
    if (key == HKEY_LOCAL_MACHINE) return &root;
    auto it = keys().keys.find(reinterpret_cast<uintptr_t>(key));
    return it == keys().keys.end() ? nullptr : &it->second;
}

std::string value_name(LPCWSTR name) { return orva::platform::to_utf8(orva::platform::wide_view(name)); }

}  // namespace

size_t orva::platform::open_key_count() { return keys().keys.size(); }

// A sub key that starts with a backslash fails with ERROR_BAD_PATHNAME; a
// missing key with ERROR_FILE_NOT_FOUND. *result is set only on success.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, HKEY* result) {
    const std::string* base = key_path(key);
    if (!base) return ERROR_INVALID_HANDLE;
    if (!result) return ERROR_INVALID_PARAMETER;
    std::string sub = value_name(subKey);
    if (!sub.empty() && sub[0] == '\\') return ERROR_BAD_PATHNAME;
    std::string path = *base;
    if (!sub.empty()) path = path.empty() ? sub : path + "\\" + sub;
    auto* controller = orva::ctl::current();
    if (!controller || !controller->reg_key_exists(path)) return ERROR_FILE_NOT_FOUND;
    uintptr_t h = keys().next;
    keys().next += 4;
    keys().keys.emplace(h, path);
    *result = reinterpret_cast<HKEY>(h);
    return ERROR_SUCCESS;
}

// Windows semantics: *type and *size report the stored value; data that does
// not fit gives ERROR_MORE_DATA and leaves the buffer untouched; a missing
// value gives ERROR_FILE_NOT_FOUND and touches nothing.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    const std::string* path = key_path(key);
    if (!path) return ERROR_INVALID_HANDLE;
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    auto* controller = orva::ctl::current();
    if (!controller) return ERROR_FILE_NOT_FOUND;
    orva::ctl::RegValue value;
    switch (controller->reg_get(*path, value_name(valueName), &value)) {
        case orva::ctl::RegResult::Ok:
            break;
        case orva::ctl::RegResult::NoKey:
            return ERROR_KEY_DELETED;
        case orva::ctl::RegResult::IoError:
            return ERROR_REGISTRY_IO_FAILED;
        default:
            return ERROR_FILE_NOT_FOUND;
    }
    if (type) *type = value.type;
    DWORD needed = DWORD(value.data.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) std::memcpy(data, value.data.data(), needed);
    }
    if (size) *size = needed;
    return ERROR_SUCCESS;
}

// Stores exactly `size` bytes with the given type.
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    const std::string* path = key_path(key);
    if (!path) return ERROR_INVALID_HANDLE;
    if (!data && size) return ERROR_INVALID_PARAMETER;
    auto* controller = orva::ctl::current();
    if (!controller) return ERROR_REGISTRY_IO_FAILED;
    switch (controller->reg_set(*path, value_name(valueName), type, data, size)) {
        case orva::ctl::RegResult::Ok:
            return ERROR_SUCCESS;
        case orva::ctl::RegResult::NoKey:
            return ERROR_KEY_DELETED;
        case orva::ctl::RegResult::Denied:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

// Windows semantics: the key is made with every missing parent; *result is
// set only on success; keyClass, options, sam and sa are not looked at.
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, HKEY* result,
                     LPDWORD disposition) {
    const std::string* base = key_path(key);
    if (!base) return ERROR_INVALID_HANDLE;
    if (!result || !subKey) return ERROR_INVALID_PARAMETER;
    std::string sub = value_name(subKey);
    if (!sub.empty() && sub[0] == '\\') return ERROR_BAD_PATHNAME;
    std::string path = *base;
    if (!sub.empty()) path = path.empty() ? sub : path + "\\" + sub;
    auto* controller = orva::ctl::current();
    if (!controller) return ERROR_REGISTRY_IO_FAILED;
    const bool existed = controller->reg_key_exists(path);
    if (!existed) {
        switch (controller->reg_create_key(path)) {
            case orva::ctl::RegResult::Ok:
                break;
            case orva::ctl::RegResult::Denied:
                return ERROR_ACCESS_DENIED;
            case orva::ctl::RegResult::BadName:
                return ERROR_INVALID_NAME;
            default:
                return ERROR_REGISTRY_IO_FAILED;
        }
    }
    uintptr_t h = keys().next;
    keys().next += 4;
    keys().keys.emplace(h, path);
    *result = reinterpret_cast<HKEY>(h);
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return ERROR_SUCCESS;
}

LONG RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    const std::string* path = key_path(key);
    if (!path) return ERROR_INVALID_HANDLE;
    auto* controller = orva::ctl::current();
    if (!controller) return ERROR_REGISTRY_IO_FAILED;
    switch (controller->reg_delete_value(*path, value_name(valueName))) {
        case orva::ctl::RegResult::Ok:
            return ERROR_SUCCESS;
        case orva::ctl::RegResult::NoKey:
            return ERROR_KEY_DELETED;
        case orva::ctl::RegResult::NoValue:
            return ERROR_FILE_NOT_FOUND;
        case orva::ctl::RegResult::Denied:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    return keys().keys.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// Flushing any key flushes the whole of HKEY_LOCAL_MACHINE.
LONG RegFlushKey(HKEY key) {
    if (!key_path(key)) return ERROR_INVALID_HANDLE;
    auto* controller = orva::ctl::current();
    if (!controller || !controller->reg_flush()) return ERROR_REGISTRY_IO_FAILED;
    return ERROR_SUCCESS;
}
