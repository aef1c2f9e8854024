// Fixed-width decimal numbers, read as a width-limited "%Nd" conversion reads them
// from text without white space.
#pragma once

#include <cstddef>
#include <cstdint>

namespace krogw {

inline constexpr size_t kUnlimitedWidth = SIZE_MAX;

// Reads an optional sign and the digits that follow it, at most max_chars characters
// in all, stopping at the first character that is not a digit. Returns false, and
// leaves value alone, when no digit was found. Values beyond the int32 range
// saturate instead of wrapping, so that a range check still refuses them.
bool ReadDecimal(const char* text, size_t max_chars, int32_t& value);

}  // namespace krogw
