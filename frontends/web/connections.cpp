// The table of open connections and who gives way when it is full.
#include "frontends/web/connections.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace orva::web {

Slot::Slot(Slot&& other) noexcept : m_table(std::move(other.m_table)), m_id(std::exchange(other.m_id, 0)) {}

Slot& Slot::operator=(Slot&& other) noexcept {
    if (this != &other) {
        release();
        m_table = std::move(other.m_table);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

Slot::~Slot() { release(); }

void Slot::release() {
    if (m_table) m_table->m_entries.erase(m_id);
    m_table.reset();
}

void Slot::on_drop(std::function<void()> drop) {
    if (!m_table) return;
    auto it = m_table->m_entries.find(m_id);
    if (it != m_table->m_entries.end()) it->second.drop = std::move(drop);
}

void Slot::progress(std::chrono::steady_clock::time_point now) {
    if (!m_table) return;
    auto it = m_table->m_entries.find(m_id);
    if (it != m_table->m_entries.end()) it->second.progress = now;
}

void Slot::set_operator(bool is_operator) {
    if (!m_table) return;
    auto it = m_table->m_entries.find(m_id);
    if (it != m_table->m_entries.end()) it->second.is_operator = is_operator;
}

bool Slot::is_operator() const {
    if (!m_table) return false;
    auto it = m_table->m_entries.find(m_id);
    return it != m_table->m_entries.end() && it->second.is_operator;
}

std::shared_ptr<Connections> Connections::make(int total, int guests) {
    return std::shared_ptr<Connections>(new Connections(total, guests));
}

int Connections::guests() const {
    int n = 0;
    for (const auto& [id, e] : m_entries) n += !e.is_operator;
    return n;
}

Slot Connections::admit(const std::string& address, Clock::time_point now) {
    if (count() >= m_total || guests() >= m_guests) {
        // One address flooding the server makes room out of its own places.
        std::map<std::string_view, int> per_address;
        int most = 0;
        for (const auto& [id, e] : m_entries)
            if (!e.is_operator) most = std::max(most, ++per_address[e.address]);
        auto idlest = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            const Entry& e = it->second;
            if (e.is_operator || per_address[e.address] != most) continue;
            if (idlest == m_entries.end() || e.progress < idlest->second.progress) idlest = it;
        }
        if (idlest == m_entries.end()) return {};
        // Out of the table before it is closed: its holder's later release
        // finds nothing, and the place is free at once.
        std::function<void()> drop = std::move(idlest->second.drop);
        m_entries.erase(idlest);
        if (drop) drop();
    }
    const uint64_t id = m_next++;
    m_entries[id] = Entry{address, now, false, {}};
    return Slot(shared_from_this(), id);
}

}  // namespace orva::web
