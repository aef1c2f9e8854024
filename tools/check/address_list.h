// The lines of an address list: each holds one address text exactly as a host would
// pass it to the driver, blanks included, and for an array check an element count
// after a tab.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace krogw_check {

struct AddressLine {
    std::string text;
    std::optional<int32_t> element_count;  // set: checked as an array gate (code 4)
};

enum class AddressLineRead {
    kAddress,   // line holds the address (and count) to check
    kSkipped,   // empty, blanks only, or a # comment
    kBadCount,  // the text after the tab is not a whole number
};

// Reads one line of the list, its line feed already removed.
//   ADDRESS            one gate: the whole line is the address text
//   ADDRESS<tab>COUNT  an array gate of COUNT elements
//   ADDRESS COUNT      the same, kept for older lists, when ADDRESS is a whole table
//                      element (14 digits) or channel status (SnnnnnCd) address: the
//                      line as one text could not be an address the driver accepts.
AddressLineRead ReadAddressLine(std::string raw, AddressLine& line);

// The address as findings and the table show it: quoted when it holds blanks or is
// empty, "[COUNT]" after it for an array.
std::string ShownAddress(const AddressLine& line);

}  // namespace krogw_check
