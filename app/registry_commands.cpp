// `registry get KEY [VALUE]`, `registry set KEY VALUE TYPE DATA` and
// `registry delete KEY VALUE`: values of the live registry that no page
// shows, read and written through the program's own registry calls, and
// saved as the pages' settings are.
#include <optional>

#include "app/commands.h"
#include "platform/text.h"
#include "platform/wince.h"
#include "simulator/text.h"
#include "tools/orva-controller/value_text.h"

namespace orva::app {

namespace {

// A value as the registry calls read it: nullopt when the key or the value
// is missing; `error` a failure of the calls (ERROR_SUCCESS when none).
struct Read {
    std::optional<ctl::RegValue> value;
    LONG error = ERROR_SUCCESS;
};

Read read_value(const std::string& key, const std::string& name) {
    Read out;
    HKEY hKey = nullptr;
    LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, platform::to_utf16(key).c_str(), 0, KEY_ALL_ACCESS, &hKey);
    if (r == ERROR_FILE_NOT_FOUND) return out;
    if (r != ERROR_SUCCESS) return out.error = r, out;
    const std::u16string wide = platform::to_utf16(name);
    DWORD type = REG_NONE, size = 0;
    r = RegQueryValueExW(hKey, wide.c_str(), nullptr, &type, nullptr, &size);
    std::vector<uint8_t> data(size);
    if (r == ERROR_SUCCESS && size) r = RegQueryValueExW(hKey, wide.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(hKey);
    if (r == ERROR_SUCCESS) out.value = ctl::RegValue{name, type, data};
    else if (r != ERROR_FILE_NOT_FOUND && r != ERROR_KEY_DELETED) out.error = r;
    return out;
}

std::string error_text(LONG error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return "access denied";
        case ERROR_KEY_DELETED:
            return "the key is gone";
        case ERROR_BAD_PATHNAME:
            return "a key is named without a backslash in front";
        case ERROR_INVALID_NAME:
            return "the name is not a valid one";
        default:
            return "the registry could not be read or written (error " + std::to_string(error) + ")";
    }
}

// "\"NAME\" in KEY", as the messages name a value.
std::string value_in(const Options& options) {
    const std::string name = options.args.size() > 1 ? options.args[1] : "";
    return "\"" + name + "\" in " + options.args[0];
}

// The data as `registry set` takes it: the text of a string, a REG_DWORD in
// decimal, anything else hex:...
std::string data_text(const ctl::RegValue& v) {
    if (v.type == ctl::kRegSz || v.type == ctl::kRegExpandSz) return utf8(sim::reg_sz_text(v.data));
    if (v.type == ctl::kRegDword && v.data.size() == 4)
        return std::to_string(v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (uint32_t(v.data[3]) << 24));
    std::string out = "hex:";
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < v.data.size(); ++i) {
        if (i) out += ',';
        out += digits[v.data[i] >> 4];
        out += digits[v.data[i] & 15];
    }
    return out;
}

json::Object value_object(const std::optional<ctl::RegValue>& v, bool saved) {
    json::Object out;
    out.add("exists", json::boolean(v.has_value()))
        .add("type", v ? json::string(tool::type_name(v->type)) : json::kNull)
        .add("size", v ? json::number(int64_t(v->data.size())) : json::kNull)
        .add("data", v ? json::string(data_text(*v)) : json::kNull)
        .add("saved", json::boolean(saved));
    return out;
}

// TYPE and DATA of `registry set` as the value they make; nullopt and the
// usage error when they make none.
std::optional<ctl::RegValue> wanted_value(const Options& options, std::string* error) {
    // hex(N): type N with exactly the bytes given, as .reg files write it.
    const auto exact = tool::parse_hex_type(options.args[2]);
    const auto type = exact ? exact : tool::parse_type_name(options.args[2]);
    if (!type) {
        *error = usage_of(options, "unknown TYPE \"" + options.args[2] +
                                       "\" (REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY, REG_MULTI_SZ, REG_NONE "
                                       "or hex(N))");
        return std::nullopt;
    }
    std::string why;
    auto data = tool::parse_value_data(*type, options.args[3], std::nullopt, &why, exact.has_value());
    if (!data) {
        *error = usage_of(options, why);
        return std::nullopt;
    }
    return ctl::RegValue{options.args[1], *type, *data};
}

std::string check_key(const Options& options) {
    if (options.args[0].empty()) return usage_of(options, "KEY is empty");
    if (options.args[0][0] == '\\')
        return usage_of(options, "KEY is relative to HKEY_LOCAL_MACHINE and starts without a backslash");
    return "";
}

// A command that changes one value: reads it, settles whether anything
// changes, and when something is to be written, `write` does it through the
// registry calls (LONG result). `after` is the value it leaves (nullopt: none).
void change_value(const Options& options, ctl::Controller& controller, CommandFrontend& frontend, Report& report,
                  const std::optional<ctl::RegValue>& after, const std::function<LONG()>& write, const char* doing) {
    const std::string& key = options.args[0];
    const std::string& name = options.args[1];
    const Read before = read_value(key, name);
    if (before.error != ERROR_SUCCESS)
        return frontend.fail(usage_of(options, value_in(options) + " cannot be read: " + error_text(before.error)));
    const bool same = before.value.has_value() == after.has_value() &&
                      (!after || (before.value->type == after->type && before.value->data == after->data));
    const bool saved = values_saved(controller, key, {name});
    const Settled settled = settle(options, frontend, same, saved);
    report.set_change(value_object(before.value, saved), value_object(after, settled.saved_after(saved)),
                      settled.changed());
    if (settled.write) {
        if (const LONG r = write(); r != ERROR_SUCCESS)
            return frontend.fail(usage_of(options, value_in(options) + " cannot be " + doing + ": " + error_text(r)));
    }
    if (after) report.line(tool::format_value(*after));
}

}  // namespace

std::string commands::registry_get::check(const Options& options) {
    if (options.args.empty() || options.args.size() > 2) return usage_of(options, "takes KEY and VALUE");
    if (std::string error = check_key(options); !error.empty()) return error;
    return check_saving(options, false);
}

bool commands::registry_get::writes(const Options&) { return false; }

int commands::registry_get::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                                 Report& report) {
    frontend.add_step([&options, &controller, &frontend, &report] {
        const std::string name = options.args.size() > 1 ? options.args[1] : "";
        const Read read = read_value(options.args[0], name);
        if (read.error != ERROR_SUCCESS)
            return frontend.fail(usage_of(options, value_in(options) + " cannot be read: " + error_text(read.error)));
        if (!read.value) return frontend.fail(usage_of(options, "no value " + value_in(options)));
        report.line(tool::format_value(*read.value));
        report.shown()
            .add("key", json::string(options.args[0]))
            .add("value", json::string(name))
            .add_all(value_object(read.value, values_saved(controller, options.args[0], {name})));
    });
    plan_close(options, frontend, false);
    return 0;
}

std::string commands::registry_set::check(const Options& options) {
    if (options.args.size() != 4) return usage_of(options, "takes KEY, VALUE, TYPE and DATA");
    if (std::string error = check_key(options); !error.empty()) return error;
    std::string error;
    if (!wanted_value(options, &error)) return error;
    return check_saving(options, true);
}

bool commands::registry_set::writes(const Options& options) { return !options.has("--check"); }

int commands::registry_set::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                                 Report& report) {
    std::string error;
    const ctl::RegValue value = *wanted_value(options, &error);
    frontend.add_step([&options, value, &controller, &frontend, &report] {
        auto write = [&options, &value] {
            HKEY hKey = nullptr;
            DWORD disposition = 0;
            LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::to_utf16(options.args[0]).c_str(), 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, &hKey, &disposition);
            if (r != ERROR_SUCCESS) return r;
            r = RegSetValueExW(hKey, platform::to_utf16(value.name).c_str(), 0, value.type, value.data.data(),
                               DWORD(value.data.size()));
            RegCloseKey(hKey);
            return r;
        };
        change_value(options, controller, frontend, report, value, write, "written");
    });
    return 0;
}

std::string commands::registry_delete::check(const Options& options) {
    if (options.args.size() != 2) return usage_of(options, "takes KEY and VALUE");
    if (std::string error = check_key(options); !error.empty()) return error;
    return check_saving(options, true);
}

bool commands::registry_delete::writes(const Options& options) { return !options.has("--check"); }

int commands::registry_delete::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                                    Report& report) {
    frontend.add_step([&options, &controller, &frontend, &report] {
        auto write = [&options] {
            HKEY hKey = nullptr;
            LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, platform::to_utf16(options.args[0]).c_str(), 0, KEY_ALL_ACCESS,
                                   &hKey);
            if (r != ERROR_SUCCESS) return r;
            r = RegDeleteValueW(hKey, platform::to_utf16(options.args[1]).c_str());
            RegCloseKey(hKey);
            return r;
        };
        change_value(options, controller, frontend, report, std::nullopt, write, "removed");
    });
    return 0;
}

}  // namespace orva::app
