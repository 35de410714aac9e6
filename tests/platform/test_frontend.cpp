// The recording frontend of the platform tests.
#include "tests/platform/test_frontend.h"

#include "platform/text.h"
#include "platform/windowing_internal.h"
#include "tests/platform/leak_check.h"

namespace orva::test {

TestFrontend::TestFrontend() { platform::set_frontend(this); }

TestFrontend::~TestFrontend() {
    expect_nothing_left();
    platform::set_frontend(nullptr);
    platform::reset_windowing();
}

void TestFrontend::wait_for_input() {
    if (actions.empty()) {
        // Nothing left to do: end every modal loop by destroying what is open.
        ran_out = true;
        for (HWND h : platform::top_level_windows()) DestroyWindow(h);
        PostQuitMessage(99);
        return;
    }
    auto action = std::move(actions.front());
    actions.pop_front();
    action();
}

int TestFrontend::message_box(HWND, std::u16string_view text, std::u16string_view caption, UINT flags) {
    boxes.push_back(platform::to_utf8(caption) + "|" + platform::to_utf8(text) + "|" + std::to_string(flags));
    if (answers.empty()) return (flags & 0xF) == MB_YESNO ? IDNO : (flags & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK;
    int a = answers.front();
    answers.pop_front();
    return a;
}

bool TestFrontend::open_file(HWND, const platform::OpenFileRequest&, std::u16string*) { return false; }

void TestFrontend::window_changed(const platform::Window& w, platform::Change change, int value, bool by_application) {
    if (by_application && w.id > 0)
        changes.push_back(std::to_string(w.id) + ":" + std::to_string(int(change)) + ":" + std::to_string(value));
}

void TestFrontend::update_window(const platform::Window&) { ++updates; }

void TestFrontend::debug_output(std::u16string_view text) { debug.emplace_back(text); }

}  // namespace orva::test
