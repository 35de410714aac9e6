// A frontend for the platform's own tests: it records what it is told, plays
// queued operator actions and box answers, and checks when it goes that the
// test left no window, kernel object or registry key open.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/frontend.h"

namespace orva::test {

class TestFrontend : public platform::Frontend {
public:
    TestFrontend();
    ~TestFrontend() override;

    void wait_for_input() override;
    int message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) override;
    bool open_file(HWND owner, const platform::OpenFileRequest& request, std::u16string* path) override;
    void window_changed(const platform::Window& w, platform::Change change, int value, bool by_application) override;
    void update_window(const platform::Window& w) override;
    void debug_output(std::u16string_view text) override;

    // Run one at a time, each time the program waits for the operator.
    std::deque<std::function<void()>> actions;
    std::deque<int> answers;           // message box answers
    std::vector<std::string> boxes;    // "caption|text|flags"
    std::vector<std::string> changes;  // "id:kind:value" of application changes
    std::vector<std::u16string> debug;
    int updates = 0;
    bool ran_out = false;  // wait_for_input found no action left
};

}  // namespace orva::test
