// What the driver will silently ignore or misread in a configuration line: the
// warnings of krogw-check. The driver's reading stays as it is; these only tell.
#pragma once

#include <string>
#include <vector>

namespace krogw_check {

// The configuration keys, as the driver searches for them.
const std::vector<std::string>& ConfigKeys();

// The key the driver finds in a retained line (its first match in the search order),
// or "" when the line holds none.
std::string KeyOf(const std::string& retained);

// Warnings for a line the driver reads as no key and no table type: a key in the wrong
// case or misspelt, or a line that is neither. Empty when the line is a table type line.
std::string UnreadLineWarning(const std::string& retained);

// Warnings for an accepted table type line: a type number of three digits, text after
// the closing 0.
std::vector<std::string> TableTypeWarnings(const std::string& retained);

}  // namespace krogw_check
