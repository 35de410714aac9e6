// `autorun [N [PATH]]...`: the ten programs of the Auto-execute page, and
// setting rows through their edits and "Save Setting".
#include <map>
#include <memory>

#include "app/commands.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace orva::app {

namespace {

// The edits of rows 1 to 10, in screen order, and the values they are kept in.
constexpr int kRowEdits[] = {IDC_PROGRAM1, IDC_PROGRAM2, IDC_PROGRAM3, IDC_PROGRAM4, IDC_PROGRAM5,
                             IDC_PROGRAM6, IDC_PROGRAM7, IDC_PROGRAM8, IDC_PROGRAM9, IDC_PROGRAM10};
constexpr const char* kKey = "Init";
constexpr const char* kRowValues[] = {"Launch80", "Launch81", "Launch82", "Launch83", "Launch84",
                                      "Launch85", "Launch86", "Launch87", "Launch88", "Launch89"};
constexpr long kRows = 10;
// The page's path buffer holds 199 characters and the NUL.
constexpr size_t kMaxPath = 199;

using Rows = std::vector<std::string>;  // the ten rows' paths

Rows shown_rows(CommandFrontend& frontend) {
    Rows rows;
    for (int edit : kRowEdits) rows.push_back(utf8(frontend.text(edit)));
    return rows;
}

std::string row_line(const Rows& rows, long row) {
    const std::string& path = rows[size_t(row - 1)];
    return std::to_string(row) + (path.empty() ? "" : " " + path);
}

bool rows_saved(ctl::Controller& controller) {
    for (const char* value : kRowValues)
        if (!values_saved(controller, kKey, {value})) return false;
    return true;
}

json::Object rows_object(const Rows& rows, bool saved) {
    return std::move(json::Object().add("rows", json::string_array(rows)).add("saved", json::boolean(saved)));
}

// The rows the arguments set: row number to path, the last pair of a row winning.
std::map<long, std::string> wanted_rows(const Options& options) {
    std::map<long, std::string> out;
    for (size_t i = 0; i + 1 < options.args.size(); i += 2) {
        long row = 0;
        parse_int(options.args[i], 1, kRows, &row);
        out[row] = options.args[i + 1];
    }
    return out;
}

}  // namespace

std::string commands::autorun::check(const Options& options) {
    for (size_t i = 0; i < options.args.size(); i += 2) {
        long row = 0;
        if (!parse_int(options.args[i], 1, kRows, &row))
            return usage_of(options, "N must be a row from 1 to 10, not \"" + options.args[i] + "\"");
        if (i + 1 >= options.args.size()) {
            if (i > 0) return usage_of(options, "row " + options.args[i] + " needs a PATH");
            continue;
        }
        // A line feed would be stored, and split the row when it is read back.
        if (const std::string bad = unprintable_in("PATH", options.args[i + 1]); !bad.empty())
            return usage_of(options, bad);
        const size_t length = platform::to_utf16(options.args[i + 1]).size();
        if (length > kMaxPath)
            return usage_of(options, "PATH is " + std::to_string(length) + " characters long; the page keeps at most " +
                                         std::to_string(kMaxPath));
    }
    return check_saving(options, options.args.size() >= 2);
}

// With --check nothing is written: the controller is shared with readers.
bool commands::autorun::writes(const Options& options) { return options.args.size() >= 2 && !options.has("--check"); }

int commands::autorun::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                            Report& report) {
    long row = 0;
    if (options.args.size() == 1) parse_int(options.args[0], 1, kRows, &row);
    const bool change = options.args.size() >= 2;
    auto after = std::make_shared<Rows>();
    if (change) {
        frontend.add_step([&options, &controller, &frontend, &report, after] {
            const Rows before = shown_rows(frontend);
            *after = before;
            for (const auto& [n, path] : wanted_rows(options)) (*after)[size_t(n - 1)] = path;
            const bool saved = rows_saved(controller);
            const Settled settled = settle(options, frontend, before == *after, saved);
            report.set_change(rows_object(before, saved), rows_object(*after, settled.saved_after(saved)),
                              settled.changed());
            if (!settled.write) return;
            for (const auto& [n, path] : wanted_rows(options))
                if (before[size_t(n - 1)] != path) frontend.type(kRowEdits[n - 1], platform::to_utf16(path));
            frontend.click(IDC_SAVE_SETTING);
        });
    } else {
        plan_close(options, frontend, false);
    }
    frontend.add_step([&options, row, change, &controller, &frontend, &report, after] {
        // After a change the edits show what was saved; with --check what would be.
        const Rows rows = change && options.has("--check") ? *after : shown_rows(frontend);
        if (row) {
            report.line(row_line(rows, row));
            report.shown()
                .add("row", json::number(row))
                .add("path", json::string(rows[size_t(row - 1)]))
                .add("saved", json::boolean(values_saved(controller, kKey, {kRowValues[row - 1]})));
            return;
        }
        for (long r = 1; r <= kRows; ++r) report.line(row_line(rows, r));
        if (!change) report.shown().add_all(rows_object(rows, rows_saved(controller)));
    });
    return 0;
}

}  // namespace orva::app
