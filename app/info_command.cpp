// `info [--json]`: the System Config page's fields, as the page shows them.
#include <cstdio>

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

// A JSON string: quotes, backslashes and control characters escaped, a
// surrogate without its partner as \uXXXX, everything else as UTF-8.
std::string json_string(const std::u16string& text) {
    std::string out = "\"";
    char buf[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += utf8(text.substr(i, 2));
            ++i;
        } else if (c == u'"' || c == u'\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || high || low) {
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
            out += buf;
        } else {
            out += utf8(std::u16string(1, c));
        }
    }
    return out + "\"";
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

void show(const Options& options, CommandFrontend& frontend) {
    const platform::Window* page = platform::find_window(platform::active_dialog());
    if (!page || !frontend.control(IDC_SERIAL_NUMBER)) return frontend.fail("the System Config page did not open");
    if (options.has("--json")) {
        std::string line = "{";
        for (const Field& f : kFields) {
            if (line.size() > 1) line += ", ";
            line += std::string("\"") + f.key + "\": " + json_string(frontend.text(f.id));
        }
        frontend.print(line + "}");
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

int commands::info::plan(const Options& options, ctl::Controller&, CommandFrontend& frontend) {
    frontend.add_step([&options, &frontend] { show(options, frontend); });
    plan_close(options, frontend, false);
    return 0;
}

}  // namespace orva::app
