// Tokens good for one session, sessions, and wrong tokens held back.
#include "frontends/web/access.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <stdexcept>
#include <vector>

namespace orva::web {
namespace {

std::array<unsigned char, 32> digest(std::string_view text) {
    std::array<unsigned char, 32> out{};
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), out.data(), &size, EVP_sha256(), nullptr);
    return out;
}

// Past this many addresses, those whose failures have all aged out are
// forgotten (and one more when none has: its next wrong token is merely
// answered at once).
constexpr size_t kAddressesKept = 1024;

}  // namespace

std::string random_name(size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    if (RAND_bytes(raw.data(), int(raw.size())) != 1) throw std::runtime_error("no random bytes to be had");
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned bits = 0;
    int have = 0;
    for (unsigned char b : raw) {
        bits = (bits << 8) | b;
        have += 8;
        while (have >= 6) {
            have -= 6;
            out += kAlphabet[(bits >> have) & 63];
        }
    }
    if (have > 0) out += kAlphabet[(bits << (6 - have)) & 63];
    return out;
}

bool same_secret(std::string_view a, std::string_view b) {
    const auto da = digest(a), db = digest(b);
    return CRYPTO_memcmp(da.data(), db.data(), da.size()) == 0;
}

Access::Access(std::string token, std::function<std::string()> make_name)
    : m_token(std::move(token)), m_make_name(std::move(make_name)) {
    if (!m_make_name) m_make_name = [] { return random_name(32); };
}

void Access::prune(Clock::time_point now) {
    for (auto it = m_failures.begin(); it != m_failures.end();) {
        auto& times = it->second;
        while (!times.empty() && now - times.front() >= kFailureWindow) times.pop_front();
        it = times.empty() ? m_failures.erase(it) : std::next(it);
    }
}

Clock::duration Access::wrong_token_hold(const std::string& address, Clock::time_point now) {
    auto it = m_failures.find(address);
    if (it == m_failures.end()) return Clock::duration::zero();
    auto& times = it->second;
    while (!times.empty() && now - times.front() >= kFailureWindow) times.pop_front();
    return int(times.size()) > kFreeFailures ? Clock::duration(kWrongTokenHold) : Clock::duration::zero();
}

Access::Login Access::login(const std::string& address, std::string_view token, Clock::time_point now,
                            std::string* session) {
    if (!same_secret(token, m_token)) {
        if (m_failures.size() >= kAddressesKept) prune(now);
        if (m_failures.size() >= kAddressesKept) m_failures.erase(m_failures.begin());
        auto& times = m_failures[address];
        times.push_back(now);
        // Only whether there were more than kFreeFailures matters.
        while (int(times.size()) > kFreeFailures + 1) times.pop_front();
        return Login::WrongToken;
    }
    if (in_use(now)) return Login::InUse;
    m_session = m_make_name();
    m_last_input = now;
    *session = *m_session;
    return Login::Ok;
}

void Access::end_session() {
    m_session.reset();
    m_token = random_name(24);
    if (m_announce) m_announce();
}

bool Access::valid(std::string_view session, Clock::time_point now) {
    expire(now);
    return m_session && !session.empty() && same_secret(session, *m_session);
}

bool Access::in_use(Clock::time_point now) {
    expire(now);
    return m_session.has_value();
}

void Access::touch(Clock::time_point now) {
    if (m_session) m_last_input = now;
}

bool Access::logout(std::string_view session) {
    if (!m_session || session.empty() || !same_secret(session, *m_session)) return false;
    end_session();
    return true;
}

bool Access::expire(Clock::time_point now) {
    if (!m_session || now - m_last_input < kIdleLimit) return false;
    end_session();
    return true;
}

std::optional<Clock::time_point> Access::idle_deadline() const {
    if (!m_session) return std::nullopt;
    return m_last_input + kIdleLimit;
}

}  // namespace orva::web
