// The messages windows receive, recorded as Wine's user32 tests record them:
// each with sent or posted, wParam and lParam, and checked against a named
// expected sequence in one call (ok_sequence). Only windows given a name are
// checked; a window may be named after it got its first messages (a page
// names itself in WM_INITDIALOG).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/wince.h"

namespace orva::test {

// What an expected message compares besides its window and message.
enum MessageFlags : unsigned {
    sent = 1,    // sent by a call (SendMessageW, or a call that sends)
    posted = 2,  // posted, and dispatched by a message loop
    wparam = 4,
    lparam = 8,  // for WM_NOTIFY, the notification code (the NMHDR is gone by then)
};

struct ExpectedMessage {
    const char* window;  // as named with MessageLog::name
    UINT message;
    unsigned flags = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class MessageLog {
public:
    // Starts recording every message delivered to a window procedure.
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    void name(HWND hwnd, const std::string& name);
    // Forgets what was recorded.
    void flush() { m_received.clear(); }
    // Whether what the named windows received since the last check (or
    // flush) is `expected`, in order; a mismatch fails the test at
    // file:line, naming the sequence and showing both. Forgets what was
    // recorded.
    void check(std::span<const ExpectedMessage> expected, const char* sequence, const char* file, int line);

private:
    struct Received {
        HWND hwnd;
        UINT message;
        bool posted;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::string name_of(HWND hwnd) const;

    std::vector<Received> m_received;
    std::vector<std::pair<HWND, std::string>> m_names;
};

}  // namespace orva::test

// ok_sequence(log, kSequence, "name"): the check, failing at the caller's line.
#define ok_sequence(log, expected, name) (log).check((expected), (name), __FILE__, __LINE__)
