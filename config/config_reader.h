// The instance's configuration file "kroGW<nn>.int": gateway addresses, limits,
// switches and table type lines, read line by line into the DriverContext.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "context/context.h"

namespace krogw {

inline constexpr size_t kConfigLineChars = 135;
// A last line without a line feed counts only from this many retained characters on.
inline constexpr size_t kLastLineMinChars = 10;

// One line as retained: only the characters 0x21..0x7F, terminated.
struct ConfigLine {
    char text[kConfigLineChars + 1];
    size_t length;
    bool overlong;  // more than 135 retained characters; text holds the first 135
};

// Configuration text already in memory, read from position on.
struct ConfigText {
    const char* data;
    size_t size;
    size_t position;
};

// What the lines read so far have established.
struct ConfigSeen {
    bool primary = false;     // a PRIMARY line set the address
    bool table_type = false;  // at least one table type line was accepted
    std::array<bool, kTableTypes> accepted_table_types{};
    int refused_lines = 0;  // lines logged as refused or out of range
};

// Reads the next line; false at the end of the input when no usable line is left.
bool ReadConfigLine(std::FILE* file, ConfigLine& line);
bool ReadConfigLine(ConfigText& text, ConfigLine& line);

// Interprets one retained line: a key or a table type line. Logs its own messages.
void ParseConfigLine(const char* line, ConfigSeen& seen, DriverContext& context);

// Reads and interprets every line; true when a PRIMARY line was seen and a table type
// accepted, the least an instance can run with.
bool ReadConfiguration(std::FILE* file, ConfigSeen& seen, DriverContext& context);
bool ReadConfiguration(ConfigText text, ConfigSeen& seen, DriverContext& context);

// Reads "kroGW%.2d.int" from the current directory into a context that ResetContext
// has prepared. False when the file is missing or not usable.
bool LoadConfiguration(int32_t driver_number, DriverContext& context);

}  // namespace krogw
