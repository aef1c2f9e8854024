// Local date and time as the console shows them in its table and its log file.
#pragma once

#include <ctime>
#include <string>

namespace console {

// "YYYY-MM-DD HH:MM:SS.mmm" in the PC's local time.
std::string LocalTimeText(std::time_t seconds, int milliseconds);

}  // namespace console
