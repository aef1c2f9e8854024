// krogw-check: reads a configuration file as the driver would, then checks a list of
// gate addresses against it as a host defining those gates would. Integrators run it
// before they deploy a configuration.
//
//   krogw-check <configuration file> [<address list>]
//
// The address list holds one address per line, optionally followed by an element
// count, which checks it as an array gate (function code 4). Empty lines and lines
// that begin with '#' are skipped. Exit status 0 when every line and every address
// was accepted, 1 otherwise.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "config/config_reader.h"
#include "context/context.h"
#include "include/krogw/abi.h"
#include "tools/check/check_report.h"
#include "tools/hostsim/hostsim.h"

namespace {

constexpr int32_t kDriverNumber = 1;

void PrintDriverLog(const char* indent) {
    for (const hostsim::LogLine& line : hostsim::LogLines()) {
        std::cout << indent << "[" << line.level << "] " << line.text << "\n";
    }
    hostsim::ClearLog();
}

bool CheckConfiguration(const char* path, krogw::DriverContext& context) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        std::cout << "cannot open configuration file " << path << "\n";
        return false;
    }
    krogw::ConfigSeen seen;
    const bool usable = krogw::ReadConfiguration(file, seen, context);
    std::fclose(file);

    std::cout << "configuration " << path << "\n";
    PrintDriverLog("  ");
    std::cout << "  primary gateway: " << (seen.primary ? "set" : "MISSING")
              << ", accepted table types: " << (seen.table_type ? "yes" : "NONE")
              << ", refused lines: " << seen.refused_lines << "\n";
    std::cout << "  an instance " << (usable ? "can" : "CANNOT") << " start with it\n";
    std::cout << "table layouts\n";
    for (int table_type = 0; table_type < krogw::kTableTypes; ++table_type) {
        if (seen.accepted_table_types[static_cast<size_t>(table_type)]) {
            std::cout << "  " << krogw_check::DescribeLayout(context, table_type) << "\n";
        }
    }
    return usable && seen.refused_lines == 0;
}

struct AddressLine {
    std::string text;
    bool is_array = false;
    int32_t element_count = 0;
};

bool ParseAddressLine(const std::string& raw, AddressLine& line) {
    std::istringstream words(raw);
    if (!(words >> line.text) || line.text[0] == '#') {
        return false;
    }
    line.is_array = static_cast<bool>(words >> line.element_count);
    return true;
}

// Checks each address as the host would define its gate: accepted addresses become
// gates, so that a later line with the same table element is a duplicate.
bool CheckAddresses(const char* path, krogw::DriverContext& context) {
    std::ifstream input(path);
    if (!input) {
        std::cout << "cannot open address list " << path << "\n";
        return false;
    }
    std::cout << "addresses " << path << "\n";
    int checked = 0;
    int accepted = 0;
    std::string raw;
    while (std::getline(input, raw)) {
        AddressLine line;
        if (!ParseAddressLine(raw, line)) {
            continue;
        }
        ++checked;
        krogw::AddressCheckArguments arguments{};
        arguments.address_text = line.text.c_str();
        arguments.gate_id = accepted + 1;  // the id the host gives the next gate
        arguments.element_count = line.element_count;
        krogw::HostRequest request{
            &context, line.is_array ? krogw::kCheckArrayAddress : krogw::kParseGateAddress,
            kDriverNumber, 0, &arguments};
        const bool ok = KroMain(&request) == krogw::kResultDone;
        std::string shown = line.text;
        if (line.is_array) {
            // Appended piece by piece: GCC 12 at -O3 flags "[" + std::string with a
            // false -Wrestrict.
            shown.append("[").append(std::to_string(line.element_count)).append("]");
        }
        char decision[48];
        std::snprintf(decision, sizeof decision, "  %-8s %-21s", ok ? "accepted" : "REJECTED",
                      shown.c_str());
        std::cout << decision;
        if (ok) {
            ++accepted;
            hostsim::DefineGate(kDriverNumber, arguments.address);
            const int table_type =
                context.gate_table_type[static_cast<uint16_t>(arguments.gate_id)];
            std::cout << " " << krogw_check::DescribeWords(arguments.address, table_type);
        }
        std::cout << "\n";
        PrintDriverLog("      ");
    }
    std::cout << "addresses checked: " << checked << ", accepted: " << accepted
              << ", rejected: " << checked - accepted << "\n";
    return accepted == checked;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: krogw-check <configuration file> [<address list>]\n";
        return 1;
    }
    hostsim::Reset();
    auto context = std::make_unique<krogw::DriverContext>();
    krogw::ResetContext(kDriverNumber, *context);
    context->client = 0;
    bool everything_accepted = CheckConfiguration(argv[1], *context);
    if (argc == 3) {
        everything_accepted = CheckAddresses(argv[2], *context) && everything_accepted;
    }
    std::cout << (everything_accepted ? "everything accepted" : "NOT everything accepted") << "\n";
    return everything_accepted ? 0 : 1;
}
