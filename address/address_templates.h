// The address grammar: eight templates of sixteen positions, each position a set of
// allowed characters.
#pragma once

#include <array>

#include "address/address_field.h"

namespace krogw {

struct AddressTemplate {
    const char* name;
    std::array<const char*, kAddressFieldChars> allowed;  // per position
};

inline constexpr int kAddressTemplateCount = 8;
extern const std::array<AddressTemplate, kAddressTemplateCount> kAddressTemplates;

// True when the character at every position is in that position's set.
bool MatchTemplate(const AddressTemplate& address_template, const AddressField& field);

bool MatchesAnyTemplate(const AddressField& field);

}  // namespace krogw
