// Lines the driver logs at the error level that mark normal progress (its banner, the
// configuration it read, channels opened): the screen's last error passes them over.
#pragma once

#include <string>

namespace console {

bool IsRoutineLine(const std::string& text);

}  // namespace console
