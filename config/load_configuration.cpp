// Reading a whole configuration: from the instance's file or from text in memory.
#include <cstdio>

#include "config/config_reader.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

template <typename Source>
bool ReadAllLines(Source& source, ConfigSeen& seen, DriverContext& context) {
    ConfigLine line;
    while (ReadConfigLine(source, line)) {
        if (line.overlong) {
            // Refused whole: the tail of a cut line could change what the line means.
            err(kLogError, "kroGW : Line of more than 135 characters refused: %s...", line.text);
            ++seen.refused_lines;
            continue;
        }
        ParseConfigLine(line.text, seen, context);
    }
    return seen.primary && seen.table_type;
}

}  // namespace

bool ReadConfiguration(std::FILE* file, ConfigSeen& seen, DriverContext& context) {
    return ReadAllLines(file, seen, context);
}

bool ReadConfiguration(ConfigText text, ConfigSeen& seen, DriverContext& context) {
    return ReadAllLines(text, seen, context);
}

bool LoadConfiguration(int32_t driver_number, DriverContext& context) {
    char file_name[32];
    std::snprintf(file_name, sizeof file_name, "kroGW%.2d.int", driver_number);
    std::FILE* file = std::fopen(file_name, "r");
    if (file == nullptr) {
        err(kLogError, "KroGW : File %s not found !", file_name);
        return false;
    }
    ConfigSeen seen;
    const bool usable = ReadConfiguration(file, seen, context);
    std::fclose(file);
    // Without these the start fails; the integrator must see which line is missing.
    if (!seen.primary) {
        err(kLogError, "KroGW : %s has no accepted PRIMARY line, start refused", file_name);
    }
    if (!seen.table_type) {
        err(kLogError, "KroGW : %s has no accepted table type line, start refused", file_name);
    }
    return usable;
}

}  // namespace krogw
