#pragma once

#include <string>

namespace console {

// The driver's banner is code page 437; terminals here speak UTF-8.
std::string Cp437ToUtf8(const char* text);

}  // namespace console
