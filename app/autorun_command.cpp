// `autorun [N [PATH]]`: the ten programs of the Auto-execute page, and
// setting one of them through its edit and "Save Setting".
#include "app/commands.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace orva::app {

namespace {

// The edits of rows 1 to 10, in screen order.
constexpr int kRowEdits[] = {IDC_PROGRAM1, IDC_PROGRAM2, IDC_PROGRAM3, IDC_PROGRAM4, IDC_PROGRAM5,
                             IDC_PROGRAM6, IDC_PROGRAM7, IDC_PROGRAM8, IDC_PROGRAM9, IDC_PROGRAM10};
constexpr long kRows = 10;
// The page's path buffer holds 199 characters and the NUL.
constexpr size_t kMaxPath = 199;

std::string row_line(CommandFrontend& frontend, long row) {
    const std::string path = utf8(frontend.text(kRowEdits[row - 1]));
    return std::to_string(row) + (path.empty() ? "" : " " + path);
}

}  // namespace

std::string commands::autorun::check(const Options& options) {
    if (options.args.size() > 2) return usage_of(options, "takes at most N and PATH");
    long row = 0;
    if (!options.args.empty() && !parse_int(options.args[0], 1, kRows, &row))
        return usage_of(options, "N must be a row from 1 to 10, not \"" + options.args[0] + "\"");
    if (options.args.size() == 2) {
        // A line feed would be stored, and split the row when it is read back.
        if (const std::string bad = unprintable_in("PATH", options.args[1]); !bad.empty())
            return usage_of(options, bad);
        const size_t length = platform::to_utf16(options.args[1]).size();
        if (length > kMaxPath)
            return usage_of(options, "PATH is " + std::to_string(length) + " characters long; the page keeps at most " +
                                         std::to_string(kMaxPath));
    }
    return check_saving(options, options.args.size() == 2);
}

bool commands::autorun::writes(const Options& options) { return options.args.size() == 2; }

int commands::autorun::plan(const Options& options, ctl::Controller&, CommandFrontend& frontend) {
    long row = 0;
    if (!options.args.empty()) parse_int(options.args[0], 1, kRows, &row);
    const bool change = options.args.size() == 2;
    if (change) {
        const std::u16string path = platform::to_utf16(options.args[1]);
        frontend.add_step([row, path, &frontend] {
            frontend.type(kRowEdits[row - 1], path);
            frontend.click(IDC_SAVE_SETTING);
        });
    }
    frontend.add_step([row, change, &frontend] {
        if (row && !change) return frontend.print(row_line(frontend, row));
        for (long r = 1; r <= kRows; ++r) frontend.print(row_line(frontend, r));
    });
    plan_close(options, frontend, change);
    return 0;
}

}  // namespace orva::app
