// `info [--json]`: the System Config page's fields, as the page shows them.
#include <cctype>
#include <cstdio>
#include <optional>

#include "app/commands.h"
#include "platform/window_model.h"
#include "resources/resource.h"

namespace orva::app {

namespace {

// The page's value fields with their keys in the JSON object, in the order
// that object lists them.
struct Field {
    int id;
    const char* key;
};
constexpr Field kFields[] = {
    {IDC_SLOT1, "slot1"},
    {IDC_SERIAL_NUMBER, "serial_number"},
    {IDC_MAC1, "mac1"},
    {IDC_MAC2, "mac2"},
    {IDC_FLASH_SIZE, "flash_size"},
    {IDC_EEPROM_SIZE, "eeprom_size"},
    {IDC_IMAGE_SIZE, "os_image_size"},
    {IDC_OS_VERSION, "os_version"},
    {IDC_SDK_VERSION, "sdk_version"},
    {IDC_KERNEL_VERSION, "kernel_version"},
};

constexpr std::u16string_view kSerialNumberError = u"Serial Number Error\r\n";
constexpr int kSerialNumberRetries = 10;

// The hexadecimal digits of a text such as "01  23  45" or "02 : 00 : 0A",
// in lower case; "" when it holds anything else or not `bytes` bytes.
std::string hex_bytes(const std::u16string& text, size_t bytes, const char* separator) {
    std::string digits, out;
    for (char16_t c : text) {
        if (c == u' ' || c == u':') continue;
        if (!std::isxdigit(c < 0x80 ? int(c) : 0)) return "";
        digits += char(std::tolower(int(c)));
    }
    if (digits.size() != bytes * 2) return "";
    for (size_t i = 0; i < digits.size(); i += 2) out += (i ? separator : "") + digits.substr(i, 2);
    return out;
}

// A size such as "29360128 bytes", "16M bytes" or "128K bytes" in bytes;
// nullopt for any other text ("Unknown").
std::optional<int64_t> size_bytes(const std::u16string& text) {
    int64_t value = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9' && value < (int64_t(1) << 40); ++i)
        value = value * 10 + (text[i] - u'0');
    if (i == 0) return std::nullopt;
    const std::u16string unit = text.substr(i);
    if (unit == u" bytes") return value;
    if (unit == u"K bytes") return value << 10;
    if (unit == u"M bytes") return value << 20;
    return std::nullopt;
}

// The fields as values a program can use, beside the texts.
void add_values(CommandFrontend& frontend, json::Object& shown) {
    auto text_or_null = [](const std::string& text) { return text.empty() ? json::kNull : json::string(text); };
    const std::u16string slot = frontend.text(IDC_SLOT1);
    shown.add("schema", json::number(1))
        .add("slot1_module", slot.empty() ? json::kNull : json::string(slot))
        .add("serial", text_or_null(hex_bytes(frontend.text(IDC_SERIAL_NUMBER), 8, "")))
        .add("mac1_address", text_or_null(hex_bytes(frontend.text(IDC_MAC1), 6, ":")))
        .add("mac2_address", text_or_null(hex_bytes(frontend.text(IDC_MAC2), 6, ":")))
        .add("flash_bytes", json::number_or_null(size_bytes(frontend.text(IDC_FLASH_SIZE))))
        .add("eeprom_bytes", json::number_or_null(size_bytes(frontend.text(IDC_EEPROM_SIZE))))
        .add("os_image_bytes", json::number_or_null(size_bytes(frontend.text(IDC_IMAGE_SIZE))));
}

// The label beside each field: the static text just before it in the page's
// tab order, without its trailing " :".
std::u16string label_of(const platform::Window& page, HWND field) {
    const platform::Window* label = nullptr;
    for (HWND child : page.children) {
        if (child == field) break;
        const platform::Window* w = platform::find_window(child);
        if (w && w->kind == platform::Kind::Static) label = w;
    }
    std::u16string text = label ? label->text : u"";
    while (!text.empty() && (text.back() == u' ' || text.back() == u':')) text.pop_back();
    return text;
}

void show(const Options& options, CommandFrontend& frontend, Report& report) {
    const platform::Window* page = platform::find_window(platform::active_dialog());
    if (!page || !frontend.control(IDC_SERIAL_NUMBER)) return frontend.fail("the System Config page did not open");
    if (options.has("--json")) {
        json::Object& shown = report.shown();
        for (const Field& f : kFields) shown.add(f.key, json::string(frontend.text(f.id)));
        add_values(frontend, shown);
    } else {
        for (HWND child : page->children) {
            const platform::Window* w = platform::find_window(child);
            if (!w || w->kind != platform::Kind::Static || w->id <= 0) continue;
            frontend.print(utf8(label_of(*page, child)) + ": " + utf8(w->text));
        }
    }
    // The page shows the serial number whether or not it was read; it says
    // so only in its debug output, once for every retry.
    int retries = 0;
    for (const std::u16string& line : frontend.debug_lines()) retries += line == kSerialNumberError;
    if (retries >= kSerialNumberRetries)
        frontend.fail("System Config: Serial Number Error: the serial number could not be read (" +
                      std::to_string(retries) + " retries); the page shows " + utf8(frontend.text(IDC_SERIAL_NUMBER)));
}

}  // namespace

std::string commands::info::check(const Options& options) {
    if (!options.args.empty()) return usage_of(options, "takes no arguments (did you mean --json?)");
    return check_saving(options, false);
}

bool commands::info::writes(const Options&) { return false; }

int commands::info::plan(const Options& options, ctl::Controller&, CommandFrontend& frontend, Report& report) {
    frontend.add_step([&options, &frontend, &report] { show(options, frontend, report); });
    plan_close(options, frontend, false);
    return 0;
}

}  // namespace orva::app
