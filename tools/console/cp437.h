#pragma once

#include <string>

namespace console {

#if defined(_WIN32)
inline constexpr const char* kDefaultDriverPath = "krogw.dll";
#else
inline constexpr const char* kDefaultDriverPath = "./libkrogw.so";
#endif

// The driver's banner is code page 437; terminals here speak UTF-8.
std::string Cp437ToUtf8(const char* text);

}  // namespace console
