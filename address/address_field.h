// The working copy of a gate address text that every address check makes for itself.
#pragma once

#include <cstddef>

namespace krogw {

inline constexpr size_t kAddressFieldChars = 16;

// Sixteen characters, upper-cased and blank-filled; the terminator after position 15
// ends every search and number conversion that runs past the field.
struct AddressField {
    char text[kAddressFieldChars + 1];
};

// Fills the field from the host's text, which stays unchanged. False when there is no
// text or it is longer than the sixteen positions of the grammar.
bool NormalizeAddress(const char* text, AddressField& field);

}  // namespace krogw
