// The heartbeat between the page and the server, on the server thread. The
// page sends {"op":"ping","n":N,"t":T} every second and stamps each action
// with "t" as well (T: the page's own clock in milliseconds); the server
// answers each ping at once with {"type":"pong","n":N}, and the page calls
// the link stalled when no answer has come for three seconds. An action that
// spent longer than that on the way (a stalled link delivers what was sent
// into it all at once when it comes back) is dropped: the operator saw the
// page stalled, and no click of then is replayed later.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace orva::web {

class Heartbeat {
public:
    using Clock = std::chrono::steady_clock;
    // How long the page waits for an answer, and how late an action may come.
    static constexpr std::chrono::milliseconds kStallLimit{3000};

    enum class Verdict {
        Ping,   // answer with *pong
        Input,  // an action (or anything else) for the main thread
        Late,   // an action that came too late: dropped
    };
    // What the page's text message `text`, read at `now`, is.
    Verdict classify(const std::string& text, Clock::time_point now, std::string* pong);

private:
    // The least (server clock - page clock) seen, in milliseconds: the
    // quickest any message came.
    std::optional<double> m_offset;
};

}  // namespace orva::web
