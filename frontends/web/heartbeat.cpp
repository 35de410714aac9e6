// Pings answered and late actions dropped.
#include "frontends/web/heartbeat.h"

#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

namespace orva::web {

Heartbeat::Verdict Heartbeat::classify(const std::string& text, Clock::time_point now, std::string* pong) {
    const nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
    if (!message.is_object()) return Verdict::Input;
    auto op = message.find("op");
    const bool ping = op != message.end() && op->is_string() && *op == "ping";
    auto t = message.find("t");
    if (t != message.end() && t->is_number() && std::isfinite(t->get<double>())) {
        const double offset =
            std::chrono::duration<double, std::milli>(now.time_since_epoch()).count() - t->get<double>();
        if (!m_offset || offset < *m_offset) m_offset = offset;
        if (!ping && offset - *m_offset > double(kStallLimit.count())) return Verdict::Late;
    }
    if (!ping) return Verdict::Input;
    auto n = message.find("n");
    *pong =
        nlohmann::json{{"type", "pong"}, {"n", n != message.end() && n->is_number_unsigned() ? n->get<uint64_t>() : 0}}
            .dump();
    return Verdict::Ping;
}

}  // namespace orva::web
