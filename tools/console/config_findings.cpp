#include "tools/console/config_findings.h"

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "context/context.h"
#include "tools/check/config_check.h"

namespace console {

int PrintConfigFindings(const Project& project) {
    krogw_check::Findings findings(std::cerr);
    const std::filesystem::path folder = std::filesystem::path(project.path).parent_path();
    for (const InstanceDefinition& instance : project.instances) {
        const std::string path = (folder / instance.configuration).string();
        std::string text;
        if (!krogw_check::ReadFileText(path, text)) {
            continue;  // the instance's start reports it
        }
        // A context of its own: the driver's instances are not started yet.
        auto context = std::make_unique<krogw::DriverContext>();
        krogw::ResetContext(static_cast<uint8_t>(instance.driver_number), *context);
        krogw_check::CheckConfiguration(path, text, *context, findings, nullptr);
    }
    return findings.count();
}

}  // namespace console
