// What krogw-check finds in each instance's configuration file, reported by the console
// host at start-up so that a mistyped key does not go unnoticed.
#pragma once

#include "tools/console/project_file.h"

namespace console {

// Prints the findings on standard error as "FILE:LINE: warning|error: message", FILE
// named as the project file's own errors name it; returns how many there were.
int PrintConfigFindings(const Project& project);

}  // namespace console
