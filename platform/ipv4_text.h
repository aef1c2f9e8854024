// Gateway addresses as the configuration writes them: strict dotted decimal, read
// the same on every platform.
#pragma once

#include <cstdint>

namespace krogw {

// Exactly four decimal numbers 0..255 joined by dots, without leading zeros, signs,
// blanks or anything after them: "10.0.0.1". Short forms ("10.1") and octal-looking
// parts ("192.168.001.010") are refused, as the C library's inet_addr would read
// them otherwise. On success the address is in *address, most significant part first.
bool ParseIpv4Text(const char* text, uint32_t* address);

}  // namespace krogw
