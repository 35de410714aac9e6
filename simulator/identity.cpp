// Drawing and checking a new controller's identity.
#include "simulator/identity.h"

#include <random>

#include "simulator/text.h"

namespace orva::sim {

namespace {

std::string hex_byte(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[(value >> 4) & 15], digits[value & 15]};
}

}  // namespace

Identity random_identity() {
    std::random_device device;
    std::uniform_int_distribution<unsigned> byte(0, 255);
    Identity out;
    out.serial.clear();
    for (int i = 0; i < 8; ++i) out.serial += hex_byte(byte(device));
    for (std::string* mac : {&out.mac1, &out.mac2}) {
        // The first byte's two lowest bits: unicast, locally administered.
        *mac = hex_byte((byte(device) & 0xFC) | 0x02);
        for (int i = 1; i < 6; ++i) *mac += ":" + hex_byte(byte(device));
    }
    return out;
}

bool is_serial_text(const std::string& text) {
    if (text.size() != 16) return false;
    for (char c : text)
        if (hex_digit(c) < 0) return false;
    return true;
}

bool is_mac_text(const std::string& text) {
    if (text.size() != 17) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool separator = i % 3 == 2;
        if (separator ? text[i] != ':' && text[i] != '-' : hex_digit(text[i]) < 0) return false;
    }
    return true;
}

}  // namespace orva::sim
