// The identity a new controller is given: its serial number and the MAC
// addresses of its two interfaces, as controller.toml writes them.
#pragma once

#include <string>

namespace orva::sim {

struct Identity {
    std::string serial = "0123456789ABCDEF";  // 16 hexadecimal digits, byte 0 first
    std::string mac1 = "02:00:00:00:00:01";   // interface 0
    std::string mac2 = "02:00:00:00:00:02";   // interface 1
};

// A serial number and two locally administered unicast MAC addresses drawn
// at random, so that the controllers of a fleet are told apart.
Identity random_identity();

// Whether `text` is a serial number as Identity holds it (16 hexadecimal
// digits), or a MAC address ("02:00:00:00:00:01", six bytes, ':' or '-').
bool is_serial_text(const std::string& text);
bool is_mac_text(const std::string& text);

}  // namespace orva::sim
