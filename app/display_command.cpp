// `display [MODE]`: the display mode as the Save Registry page's labels show
// it, and setting it through the page's three lists and its Change button.
#include <memory>
#include <optional>
#include <vector>

#include "app/commands.h"
#include "platform/window_model.h"
#include "resources/resource.h"

namespace orva::app {

namespace {

// WIDTHxHEIGHT[xBPP][@HZ]; what is left out is kept.
struct Mode {
    long width = 0, height = 0;
    std::optional<long> bpp, hz;
};

constexpr long kMaxValue = 2147483647;

std::optional<Mode> parse_mode(const std::string& text) {
    Mode m;
    std::string rest = text;
    if (size_t at = rest.find('@'); at != std::string::npos) {
        long hz = 0;
        if (!parse_int(rest.substr(at + 1), 1, kMaxValue, &hz)) return std::nullopt;
        m.hz = hz;
        rest.resize(at);
    }
    std::vector<long> parts;
    size_t start = 0;
    for (;;) {
        size_t x = rest.find_first_of("xX", start);
        long v = 0;
        if (!parse_int(rest.substr(start, x == std::string::npos ? std::string::npos : x - start), 1, kMaxValue, &v))
            return std::nullopt;
        parts.push_back(v);
        if (x == std::string::npos) break;
        start = x + 1;
    }
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    m.width = parts[0];
    m.height = parts[1];
    if (parts.size() == 3) m.bpp = parts[2];
    return m;
}

// The numbers in a text such as "Resolution : 640 x 480" or "60 Hz".
std::vector<long> numbers_in(const std::u16string& text) {
    std::vector<long> out;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool minus = text[i] == u'-' && i + 1 < text.size() && text[i + 1] >= u'0' && text[i + 1] <= u'9';
        if (!minus && (text[i] < u'0' || text[i] > u'9')) continue;
        long long v = 0;
        size_t j = minus ? i + 1 : i;
        for (; j < text.size() && text[j] >= u'0' && text[j] <= u'9'; ++j)
            if (v < (1LL << 40)) v = v * 10 + (text[j] - u'0');
        out.push_back(long(minus ? -v : v));
        i = j - 1;
    }
    return out;
}

// One of the page's three lists: which item shows `wanted`.
struct List {
    int id;
    const char* what;       // "resolution"
    const char* separator;  // between the numbers of one item in messages
};
constexpr List kResolution{IDC_RESOLUTION, "resolution", "x"};
constexpr List kBpp{IDC_BPP, "colour depth", ""};
constexpr List kFreq{IDC_FREQ, "refresh rate", ""};

std::string join(const std::vector<long>& values, const char* separator) {
    std::string out;
    for (long v : values) out += (out.empty() ? "" : separator) + std::to_string(v);
    return out;
}

// The index of the item of `list` that shows `wanted`; -1 and a usage error
// naming the values the list offers when none does.
int find_item(CommandFrontend& frontend, const List& list, const std::vector<long>& wanted, bool current) {
    const platform::Window* w = frontend.control(list.id);
    const platform::ComboBoxState* items = w ? w->as<platform::ComboBoxState>() : nullptr;
    std::string offered;
    for (size_t i = 0; items && i < items->items.size(); ++i) {
        std::vector<long> item = numbers_in(items->items[i]);
        if (item == wanted) return int(i);
        offered += (offered.empty() ? "" : ", ") + join(item, list.separator);
    }
    const std::string value = join(wanted, list.separator);
    frontend.fail(
        std::string("display: ") +
            (current ? "the current " + std::string(list.what) + " " + value +
                           " is not one the page offers, so it cannot be kept (the page offers " + offered +
                           "): give it in MODE"
                     : std::string(list.what) + " " + value + " is not offered (the page offers " + offered + ")"),
        2);
    return -1;
}

// The mode the labels show, as WIDTHxHEIGHTxBPP@HZ.
std::string shown_mode(CommandFrontend& frontend) {
    std::vector<long> res = numbers_in(frontend.text(IDC_RESOLUTION_LABEL));
    std::vector<long> bpp = numbers_in(frontend.text(IDC_BPP_LABEL));
    std::vector<long> hz = numbers_in(frontend.text(IDC_FREQ_LABEL));
    if (res.size() != 2 || bpp.size() != 1 || hz.size() != 1) return "";
    return std::to_string(res[0]) + "x" + std::to_string(res[1]) + "x" + std::to_string(bpp[0]) + "@" +
           std::to_string(hz[0]);
}

// The mode `mode` asks for, with the parts it leaves out as the labels show
// them now, as the three lists' item indexes; false (having failed) when a
// list does not offer a part.
bool find_items(const Mode& mode, CommandFrontend& frontend, int items[3]) {
    std::vector<long> bpp_now = numbers_in(frontend.text(IDC_BPP_LABEL));
    std::vector<long> hz_now = numbers_in(frontend.text(IDC_FREQ_LABEL));
    items[0] = find_item(frontend, kResolution, {mode.width, mode.height}, false);
    if (items[0] < 0) return false;
    items[1] = find_item(frontend, kBpp, mode.bpp ? std::vector<long>{*mode.bpp} : bpp_now, !mode.bpp);
    if (items[1] < 0) return false;
    items[2] = find_item(frontend, kFreq, mode.hz ? std::vector<long>{*mode.hz} : hz_now, !mode.hz);
    return items[2] >= 0;
}

// The mode the three items show, as WIDTHxHEIGHTxBPP@HZ.
std::string items_mode(CommandFrontend& frontend, const int items[3]) {
    std::vector<long> parts[3];
    const int ids[3] = {IDC_RESOLUTION, IDC_BPP, IDC_FREQ};
    for (int i = 0; i < 3; ++i) {
        const platform::Window* w = frontend.control(ids[i]);
        const platform::ComboBoxState* list = w ? w->as<platform::ComboBoxState>() : nullptr;
        if (list && items[i] >= 0 && size_t(items[i]) < list->items.size())
            parts[i] = numbers_in(list->items[items[i]]);
    }
    if (parts[0].size() != 2 || parts[1].size() != 1 || parts[2].size() != 1) return "";
    return join(parts[0], "x") + "x" + std::to_string(parts[1][0]) + "@" + std::to_string(parts[2][0]);
}

// A mode (null: one that could not be read) and whether the saved copy holds it.
json::Object mode_object(const std::optional<std::string>& mode, bool saved) {
    return std::move(json::Object().add("mode", json::string_or_null(mode)).add("saved", json::boolean(saved)));
}

// Where the page keeps the mode.
constexpr const char* kDisplayKey = "Drivers\\Display\\MQ200";
const std::vector<std::string> kDisplayValues = {"CxScreen", "CyScreen", "Bpp", "Freq"};

bool mode_saved(ctl::Controller& controller) {
    return values_saved(controller, kDisplayKey, {"CxScreen", "CyScreen", "Bpp", "Freq"});
}

// Selects the mode in the lists and presses Change, unless the labels show
// it already and it is saved; reports what changes.
void apply(const Options& options, const Mode& mode, ctl::Controller& controller, CommandFrontend& frontend,
           Report& report, std::string& after) {
    // A mode that cannot be read is not known: the labels show one made up,
    // which neither a part left out nor "before" may take.
    const bool readable = values_readable(controller, kDisplayKey, kDisplayValues);
    if (!readable && (!mode.bpp || !mode.hz) &&
        !shown_values_readable(options, controller, frontend, kDisplayKey, kDisplayValues))
        return;
    int items[3];
    if (!find_items(mode, frontend, items)) return;
    std::optional<std::string> before;
    if (readable) before = shown_mode(frontend);
    after = items_mode(frontend, items);
    const bool saved = mode_saved(controller);
    const Settled settled = settle(options, frontend, before == after, saved);
    report.set_change(mode_object(before, saved), mode_object(after, settled.saved_after(saved)), settled.changed());
    if (!settled.write) return;
    frontend.choose(IDC_RESOLUTION, items[0]);
    frontend.choose(IDC_BPP, items[1]);
    frontend.choose(IDC_FREQ, items[2]);
    frontend.click(IDC_DISPLAY_CHANGE);
}

// The mode as the labels show it: the new one after a change; with --check
// `after`, the one it would be.
void print_mode(const Options& options, ctl::Controller& controller, CommandFrontend& frontend, Report& report,
                const std::string& after) {
    const std::string mode = shown_mode(frontend);
    if (mode.empty()) return frontend.fail("display: the page does not show a display mode");
    if (!options.args.empty()) return report.line(options.has("--check") ? after : mode);
    report.line(mode);
    report.shown().add_all(mode_object(mode, mode_saved(controller)));
}

constexpr const char* kModeSyntax = "WxH, WxHxBPP or WxHxBPP@HZ, e.g. 640x480x16@60";

}  // namespace

std::string commands::display::check(const Options& options) {
    if (options.args.size() > 1) return usage_of(options, "takes at most one MODE (" + std::string(kModeSyntax) + ")");
    if (options.args.size() == 1 && !parse_mode(options.args[0]))
        return usage_of(options, "bad MODE \"" + options.args[0] + "\" (" + kModeSyntax + ")");
    return check_saving(options, !options.args.empty());
}

bool commands::display::writes(const Options& options) { return !options.args.empty() && !options.has("--check"); }

int commands::display::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                            Report& report) {
    auto after = std::make_shared<std::string>();
    if (!options.args.empty()) {
        const Mode mode = *parse_mode(options.args[0]);
        frontend.add_step([&options, mode, &controller, &frontend, &report, after] {
            apply(options, mode, controller, frontend, report, *after);
        });
    } else {
        plan_close(options, frontend, false);
    }
    // After a change the labels show the new mode; with --check the mode
    // shown is the one it would be, which needs no value read.
    frontend.add_step([&options, &controller, &frontend, &report, after] {
        const bool predicted = !options.args.empty() && options.has("--check");
        if (predicted || shown_values_readable(options, controller, frontend, kDisplayKey, kDisplayValues))
            print_mode(options, controller, frontend, report, *after);
    });
    return 0;
}

}  // namespace orva::app
