// What a one-shot command reports: with --json one object on standard output
// at the end (the values it shows; for one that sets, whether it changed
// anything with the values before and after; on failure the message), else
// the lines it prints as it goes. Warnings go to standard error at once and
// into the object's "warnings".
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/json_text.h"

namespace orva::app {

class Report {
public:
    // `print` writes one line of the command's result on standard output.
    Report(bool json, std::function<void(const std::string&)> print);

    bool json() const { return m_json; }
    // A line of the result; printed only without --json.
    void line(const std::string& text);

    // A command that shows: the values shown (the object's members).
    json::Object& shown() { return m_shown; }

    // A command that sets: the values before and after (or, with --check,
    // what they would be), and whether anything changes. Other members of
    // the object go in extra().
    void set_change(json::Object before, json::Object after, bool changed);
    json::Object& extra() { return m_extra; }

    // "orva-utility: warning: TEXT" on standard error now, and in "warnings".
    void warn(const std::string& text);
    // Into "warnings" only: what was said on standard error already.
    void note(const std::string& text) { m_warnings.push_back(text); }

    // The object to print: {"failed": true, "msg": MESSAGE, "warnings":
    // [...]} when `failed`, else the command's.
    std::string object(bool failed, const std::string& message) const;

private:
    bool m_json;
    std::function<void(const std::string&)> m_print;
    bool m_setter = false;
    bool m_changed = false;
    json::Object m_shown, m_before, m_after, m_extra;
    std::vector<std::string> m_warnings;
};

}  // namespace orva::app
