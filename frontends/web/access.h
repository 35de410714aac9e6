// Who may use the web frontend: the start token, good for one session (when
// that session ends, on logout or after a time without input, a new token
// replaces it), one session at a time, and wrong tokens answered late once an
// address has sent many. The right token is always taken. Kept by the server
// thread alone; the clock is passed in, so that tests can move it.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orva::web {

using Clock = std::chrono::steady_clock;

// `bytes` random bytes from the system's generator, in base64url without
// padding (the token and session names; safe in an address and a cookie).
std::string random_name(size_t bytes);

// Whether two secrets are equal, in a time that does not depend on where
// they differ (nor on their lengths).
bool same_secret(std::string_view a, std::string_view b);

class Access {
public:
    // Past this many wrong tokens from one address within kFailureWindow,
    // the answer to each further one is held for kWrongTokenHold. Against
    // load, not guessing (a token has 192 bits): the right token is never
    // held back.
    static constexpr int kFreeFailures = 5;
    static constexpr std::chrono::seconds kFailureWindow{60};
    static constexpr std::chrono::seconds kWrongTokenHold{1};
    static constexpr std::chrono::minutes kIdleLimit{15};

    enum class Login {
        Ok,          // a new session; its name is the cookie's value
        WrongToken,  // counted against the address
        InUse,       // another session is live
    };

    // `make_name` makes session names (random_name(32) when empty).
    explicit Access(std::string token, std::function<std::string()> make_name = {});

    // The token that opens the next session (the live one's until it ends).
    const std::string& token() const { return m_token; }
    // Called after a session has ended and a new token replaced the spent one.
    void on_new_token(std::function<void()> announce) { m_announce = std::move(announce); }

    // Exchanges the token for a session. A right token while another
    // session is live is InUse; a wrong one is counted even then.
    Login login(const std::string& address, std::string_view token, Clock::time_point now, std::string* session);
    // How long to hold the answer to the wrong token `address` just sent
    // (zero for its first few within the window).
    Clock::duration wrong_token_hold(const std::string& address, Clock::time_point now);

    // Whether `session` names the live session (which has not run idle).
    bool valid(std::string_view session, Clock::time_point now);
    // Whether anyone's session is live.
    bool in_use(Clock::time_point now);
    // The operator did something: the idle time starts again.
    void touch(Clock::time_point now);
    // Ends `session` when it is the live one (its token is spent); true when
    // it was.
    bool logout(std::string_view session);
    // Ends the live session when it has run idle (its token is spent); true
    // when it did now.
    bool expire(Clock::time_point now);
    // When the live session will run idle (nullopt when there is none).
    std::optional<Clock::time_point> idle_deadline() const;

private:
    void prune(Clock::time_point now);
    // The live session has ended: a new token, announced.
    void end_session();

    std::string m_token;
    std::function<std::string()> m_make_name;
    std::function<void()> m_announce;
    std::optional<std::string> m_session;
    Clock::time_point m_last_input{};
    std::map<std::string, std::deque<Clock::time_point>> m_failures;
};

}  // namespace orva::web
