// The server's table of open connections: every socket from the moment it is
// accepted until it is closed, whether it has shown the operator's session,
// and when it last made progress. It decides who gets in when the limits are
// reached: a connection that has not shown the session (a guest) may hold one
// of a small share of the places only, and when a new connection finds no
// place a guest is closed to make room: one from the address that holds the
// most guest places, the one idle the longest among them. The operator's
// connections are never closed for a guest. Runs on the server thread; knows
// nothing of sockets (each connection says how it is closed).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace orva::web {

class Connections;

// One connection's place in the table, held by whatever serves it (the place
// moves with the connection from one server object to the next); the place is
// given up when the holder is destroyed.
class Slot {
public:
    Slot() = default;
    Slot(Slot&& other) noexcept;
    Slot& operator=(Slot&& other) noexcept;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot();

    // Whether this holds a place (a refused connection gets none).
    explicit operator bool() const { return m_table != nullptr; }

    // How to close the connection when the table makes room: each new holder
    // sets its own. Called on the server thread, never from inside the
    // holder's own calls into the table.
    void on_drop(std::function<void()> drop);
    // The client sent something that completed a step (the first bytes, the
    // handshake, a request's header): it is not idle as of `now`.
    void progress(std::chrono::steady_clock::time_point now);
    // Whether the connection's latest request showed the operator's session.
    void set_operator(bool is_operator);
    bool is_operator() const;

private:
    friend class Connections;
    Slot(std::shared_ptr<Connections> table, uint64_t id) : m_table(std::move(table)), m_id(id) {}
    void release();

    std::shared_ptr<Connections> m_table;
    uint64_t m_id = 0;
};

class Connections : public std::enable_shared_from_this<Connections> {
public:
    using Clock = std::chrono::steady_clock;

    // At most `total` connections at once, of which at most `guests` have
    // not shown the operator's session.
    static std::shared_ptr<Connections> make(int total, int guests);

    // A place for a connection from `address` accepted at `now`, which
    // starts as a guest. When all places, or all of the guests' share, are
    // taken, a guest is dropped first: of the address with the most guests,
    // the one that made no progress for the longest. When there is no guest
    // to drop, the new connection is refused (an empty Slot).
    Slot admit(const std::string& address, Clock::time_point now);

    int count() const { return int(m_entries.size()); }
    int guests() const;

private:
    friend class Slot;
    Connections(int total, int guests) : m_total(total), m_guests(guests) {}

    struct Entry {
        std::string address;
        Clock::time_point progress;
        bool is_operator = false;
        std::function<void()> drop;
    };

    int m_total;
    int m_guests;
    uint64_t m_next = 1;
    std::map<uint64_t, Entry> m_entries;
};

}  // namespace orva::web
