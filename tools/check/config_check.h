// The check of a configuration file as krogw-check and the console host report it: the
// driver's own reading, line by line, with an error for every line it refuses and a
// warning for every line it ignores or reads otherwise than it seems to say.
#pragma once

#include <ostream>
#include <string>

#include "config/config_reader.h"
#include "context/context.h"
#include "tools/check/findings.h"

namespace krogw_check {

// The whole file; false when it cannot be read.
bool ReadFileText(const std::string& path, std::string& text);

// The driver's log lines since the last call, joined by "; ".
std::string TakeDriverLog();

// Reads text, the file at path, into a context that ResetContext has prepared, as the
// driver reads it, and reports the findings against path. With driver_lines, the
// driver's log line of each accepted line goes there as "  LINE: text".
krogw::ConfigSeen CheckConfiguration(const std::string& path, const std::string& text,
                                     krogw::DriverContext& context, Findings& findings,
                                     std::ostream* driver_lines);

}  // namespace krogw_check
