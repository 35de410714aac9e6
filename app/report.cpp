// A command's report: lines as it goes, or one JSON object at the end.
#include "app/report.h"

#include <cstdio>

namespace orva::app {

Report::Report(bool json, std::function<void(const std::string&)> print) : m_json(json), m_print(std::move(print)) {}

void Report::line(const std::string& text) {
    if (!m_json) m_print(text);
}

void Report::set_change(json::Object before, json::Object after, bool changed) {
    m_setter = true;
    m_before = std::move(before);
    m_after = std::move(after);
    m_changed = changed;
}

void Report::warn(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "orva-utility: warning: %s\n", text.c_str());
    std::fflush(stderr);
    note(text);
}

std::string Report::object(bool failed, const std::string& message) const {
    json::Object out;
    if (failed) {
        // A command that shows keeps what it could show (info's fields).
        out.add("failed", "true").add("msg", json::string(message)).add_all(m_shown);
    } else if (m_setter) {
        out.add("changed", json::boolean(m_changed)).add("before", m_before.text()).add("after", m_after.text());
        out.add_all(m_extra);
    } else {
        out = m_shown;
    }
    return out.add("warnings", json::string_array(m_warnings)).text();
}

}  // namespace orva::app
