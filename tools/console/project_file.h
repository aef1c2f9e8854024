// The console host's project file: the driver instances with their configuration
// files, the gates with their addresses and scaling, and the scan cycle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace console {

struct GateDefinition {
    std::string name;
    std::string address;
    int32_t element_count = 0;  // 0: a single gate; otherwise an array gate
    double scale = 1.0;         // engineering value = raw * scale + offset
    double offset = 0.0;
    int32_t cycle_ms = 0;  // 0: the project's scan cycle
    int line = 0;
};

struct InstanceDefinition {
    int32_t driver_number = 0;
    std::string configuration;  // as found, relative to the project file's folder
    int line = 0;
    std::vector<GateDefinition> gates;
};

struct Project {
    std::string path;
    int32_t scan_ms = 1000;
    std::vector<InstanceDefinition> instances;
};

// Reads the project file; on errors returns them as "file:line: what" texts and the
// project is not to be used.
std::vector<std::string> ReadProject(const std::string& path, Project& project);

}  // namespace console
