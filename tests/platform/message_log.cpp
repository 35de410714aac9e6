// Recording messages through the platform's message observer and comparing
// them with expected sequences.
#include "tests/platform/message_log.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/windowing_internal.h"

namespace orva::test {
namespace {

std::string message_name(UINT message) {
    static const std::pair<UINT, const char*> kNames[] = {
        {WM_CREATE, "WM_CREATE"},   {WM_DESTROY, "WM_DESTROY"},       {WM_PAINT, "WM_PAINT"},
        {WM_CLOSE, "WM_CLOSE"},     {WM_SETTEXT, "WM_SETTEXT"},       {WM_GETTEXT, "WM_GETTEXT"},
        {WM_NOTIFY, "WM_NOTIFY"},   {WM_INITDIALOG, "WM_INITDIALOG"}, {WM_COMMAND, "WM_COMMAND"},
        {WM_SYSCHAR, "WM_SYSCHAR"}, {WM_SYSKEYDOWN, "WM_SYSKEYDOWN"}, {PSM_SETCURSEL, "PSM_SETCURSEL"},
    };
    for (auto [value, name] : kNames)
        if (value == message) return name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", message);
    return hex;
}

std::string notification_name(LPARAM code) {
    static const std::pair<UINT, const char*> kNames[] = {
        {PSN_SETACTIVE, "PSN_SETACTIVE"}, {PSN_KILLACTIVE, "PSN_KILLACTIVE"},   {PSN_APPLY, "PSN_APPLY"},
        {PSN_RESET, "PSN_RESET"},         {PSN_QUERYCANCEL, "PSN_QUERYCANCEL"},
    };
    for (auto [value, name] : kNames)
        if (LPARAM(value) == code) return name;
    return std::to_string(code);
}

// One line of a sequence, showing what `flags` compares.
std::string line(const std::string& window, UINT message, unsigned flags, bool was_posted, WPARAM wParam,
                 LPARAM lParam) {
    std::string out = window + ": " + message_name(message);
    if (flags & (sent | posted)) out += was_posted ? " posted" : " sent";
    if (flags & wparam) out += " wParam=" + std::to_string(wParam);
    if (flags & lparam)
        out += message == WM_NOTIFY ? " code=" + notification_name(lParam) : " lParam=" + std::to_string(lParam);
    return out;
}

}  // namespace

MessageLog::MessageLog() {
    platform::set_message_observer([this](const MSG& msg, bool was_posted) {
        LPARAM lParam = msg.lParam;
        if (msg.message == WM_NOTIFY && lParam) lParam = LPARAM(reinterpret_cast<const NMHDR*>(lParam)->code);
        m_received.push_back(Received{msg.hwnd, msg.message, was_posted, msg.wParam, lParam});
    });
}

MessageLog::~MessageLog() { platform::set_message_observer(nullptr); }

void MessageLog::name(HWND hwnd, const std::string& name) { m_names.emplace_back(hwnd, name); }

std::string MessageLog::name_of(HWND hwnd) const {
    for (auto& [h, name] : m_names)
        if (h == hwnd) return name;
    return "";
}

void MessageLog::check(std::span<const ExpectedMessage> expected, const char* sequence, const char* file, int line_no) {
    std::vector<std::string> want, got;
    for (const ExpectedMessage& e : expected)
        want.push_back(line(e.window, e.message, e.flags, (e.flags & posted) != 0, e.wParam, e.lParam));
    for (const Received& r : m_received) {
        std::string window = name_of(r.hwnd);
        if (window.empty()) continue;
        // Compared as the expected message at the same place asks; a message
        // beyond the expected ones is shown whole.
        unsigned flags = got.size() < expected.size() ? expected[got.size()].flags : (sent | wparam | lparam);
        got.push_back(line(window, r.message, flags, r.posted, r.wParam, r.lParam));
    }
    m_received.clear();
    if (want == got) return;
    std::string text = std::string(sequence) + ": the messages differ\n  expected:\n";
    for (const std::string& w : want) text += "    " + w + "\n";
    text += "  received:\n";
    for (const std::string& g : got) text += "    " + g + "\n";
    ADD_FAILURE_AT(file, line_no) << text;
}

}  // namespace orva::test
