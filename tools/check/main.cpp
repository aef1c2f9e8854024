// krogw-check: reads a configuration file as the driver would, then checks a list of
// gate addresses against it as a host defining those gates would. Integrators run it
// before they deploy a configuration; editors and CI read its findings.
//
// The address list holds one address text per line, exactly as a host passes it; an
// element count after a tab checks it as an array gate (function code 4).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/config_reader.h"
#include "context/context.h"
#include "include/krogw/abi.h"
#include "tools/check/address_list.h"
#include "tools/check/check_report.h"
#include "tools/check/config_check.h"
#include "tools/check/findings.h"
#include "tools/check/gate_diagnosis.h"
#include "tools/check/reject_reason.h"
#include "tools/hostsim/hostsim.h"
#include "tools/version_text.h"

namespace {

constexpr int32_t kDriverNumber = 1;
constexpr int kClean = 0;
constexpr int kFound = 1;
constexpr int kUsage = 2;

constexpr const char* kHelp =
    "usage: krogw-check [--help] [--version] [--why ADDRESS] CONFIGURATION [ADDRESSES]\n"
    "\n"
    "Reads CONFIGURATION (a kroGWnn.int file) as the driver reads it and checks every\n"
    "gate address of ADDRESSES as the driver checks it when a host defines the gate.\n"
    "ADDRESSES holds one address a line, the whole line as the host would pass it, blanks\n"
    "included. A tab and an element count after the address check it as an array gate;\n"
    "so does a blank and a count after a whole table element (14 digits) or channel\n"
    "status (SnnnnnCd) address. Empty lines, blank lines and # lines are skipped.\n"
    "\n"
    "Every finding is one line: FILE:LINE: error|warning: message. Errors are lines the\n"
    "driver refuses and addresses it rejects, with the reason; warnings are lines the\n"
    "driver ignores or reads otherwise than they seem to say, and gates that never\n"
    "receive a value. Besides them it shows the table layouts and each accepted\n"
    "address's words.\n"
    "\n"
    "  --why ADDRESS  then walk the chain from the gate at ADDRESS to its value as far as\n"
    "              the configuration and the other addresses tell: the address and its\n"
    "              words, the table type and column, the polls that ask for its row; one\n"
    "              line a link, then a verdict (krogw-host's why adds the running\n"
    "              driver's links)\n"
    "  --help      this text\n"
    "  --version   the version of the kit\n"
    "\n"
    "Exit status: 0 no findings, 1 findings, 2 a usage error or a file that cannot be read.\n";

// The configuration as the driver reads it, its findings and the table layouts it
// declares; returns whether an instance can start with it.
bool CheckConfiguration(const std::string& path, const std::string& text,
                        krogw::DriverContext& context, krogw_check::Findings& findings) {
    std::cout << "configuration " << path << "\n";
    const krogw::ConfigSeen seen =
        krogw_check::CheckConfiguration(path, text, context, findings, &std::cout);
    std::cout << "table layouts\n";
    for (int table_type = 0; table_type < krogw::kTableTypes; ++table_type) {
        if (seen.accepted_table_types[static_cast<size_t>(table_type)]) {
            std::cout << "  " << krogw_check::DescribeLayout(context, table_type) << "\n";
        }
    }
    return seen.primary && seen.table_type;
}

// Checks each address as the host would define its gate: accepted addresses become
// gates, so that a later line with the same table element is a duplicate.
void CheckAddresses(const std::string& path, std::istream& input, krogw::DriverContext& context,
                    krogw_check::Findings& findings) {
    std::cout << "addresses " << path << "\n";
    int checked = 0;
    int accepted = 0;
    int number = 0;
    std::string raw;
    while (std::getline(input, raw)) {
        ++number;
        krogw_check::AddressLine line;
        const krogw_check::AddressLineRead read = krogw_check::ReadAddressLine(raw, line);
        if (read == krogw_check::AddressLineRead::kSkipped) {
            continue;
        }
        if (read == krogw_check::AddressLineRead::kBadCount) {
            findings.Error(path, number, "element count after the tab is not a whole number");
            continue;
        }
        ++checked;
        krogw::AddressCheckArguments arguments{};
        arguments.address_text = line.text.c_str();
        arguments.gate_id = accepted + 1;  // the id the host gives the next gate
        arguments.element_count = line.element_count.value_or(0);
        krogw::HostRequest request{
            &context, line.element_count ? krogw::kCheckArrayAddress : krogw::kParseGateAddress,
            kDriverNumber, 0, &arguments};
        const bool ok = KroMain(&request) == krogw::kResultDone;
        const std::string log = krogw_check::TakeDriverLog();
        const std::string shown = krogw_check::ShownAddress(line);
        if (!ok) {
            const std::string reason =
                log.empty() ? krogw_check::RejectReason(line.text, line.element_count,
                                                        arguments.gate_id, context)
                            : log;
            findings.Error(
                path, number,
                std::string("address ").append(shown).append(" rejected: ").append(reason));
            continue;
        }
        ++accepted;
        hostsim::DefineGate(kDriverNumber, arguments.address);
        const int table_type = context.gate_table_type[static_cast<uint16_t>(arguments.gate_id)];
        char decision[48];
        std::snprintf(decision, sizeof decision, "  %-8s %-21s", "accepted", shown.c_str());
        std::cout << decision << " " << krogw_check::DescribeWords(arguments.address, table_type)
                  << "\n";
        const std::string unfed =
            krogw_check::UnfedColumnWarning(arguments.address, table_type, context);
        if (!unfed.empty()) {
            findings.Warning(path, number,
                             std::string("gate ").append(shown).append(": ").append(unfed));
        }
    }
    std::cout << "addresses checked: " << checked << ", accepted: " << accepted
              << ", rejected: " << checked - accepted << "\n";
}

// The address texts of the list, for the polls that may cover a gate.
std::vector<std::string> AddressTexts(const std::string& path) {
    std::vector<std::string> texts;
    std::ifstream input(path);
    std::string raw;
    while (std::getline(input, raw)) {
        krogw_check::AddressLine line;
        if (krogw_check::ReadAddressLine(raw, line) == krogw_check::AddressLineRead::kAddress) {
            texts.push_back(line.text);
        }
    }
    return texts;
}

void PrintWhy(const std::string& address, const std::vector<std::string>& addresses,
              krogw::DriverContext& context) {
    const krogw_check::Diagnosis diagnosis =
        krogw_check::DiagnoseGate(address, addresses, context, krogw_check::GateFacts{});
    std::cout << "why " << address << "\n";
    for (const std::string& link : diagnosis.links) {
        std::cout << "  " << link << "\n";
    }
    std::cout << "verdict: " << diagnosis.verdict << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string files[2];
    int file_count = 0;
    std::optional<std::string> why;
    for (int at = 1; at < argc; ++at) {
        const std::string argument = argv[at];
        if (argument == "--why" && at + 1 < argc) {
            why = argv[++at];
            continue;
        }
        if (argument == "--help") {
            std::cout << kHelp;
            return kClean;
        }
        if (argument == "--version") {
            std::cout << KROGW_TOOL_VERSION_TEXT("krogw-check");
            return kClean;
        }
        if ((argument.rfind('-', 0) == 0 && argument.size() > 1) || file_count == 2) {
            std::cerr << "krogw-check: unexpected argument '" << argument << "'\n"
                      << "usage: krogw-check [--help] [--version] [--why ADDRESS] CONFIGURATION "
                         "[ADDRESSES]\n";
            return kUsage;
        }
        files[file_count++] = argument;
    }
    if (file_count == 0) {
        std::cerr << "usage: krogw-check [--help] [--version] [--why ADDRESS] CONFIGURATION "
                     "[ADDRESSES]\n";
        return kUsage;
    }
    std::string configuration;
    if (!krogw_check::ReadFileText(files[0], configuration)) {
        std::cerr << "krogw-check: cannot read " << files[0] << ": " << std::strerror(errno)
                  << "\n";
        return kUsage;
    }
    std::ifstream addresses;
    if (file_count == 2) {
        addresses.open(files[1]);
        if (!addresses) {
            std::cerr << "krogw-check: cannot read " << files[1] << ": " << std::strerror(errno)
                      << "\n";
            return kUsage;
        }
    }
    hostsim::Reset();
    auto context = std::make_unique<krogw::DriverContext>();
    krogw::ResetContext(kDriverNumber, *context);
    context->client = 0;
    krogw_check::Findings findings(std::cout);
    const bool usable = CheckConfiguration(files[0], configuration, *context, findings);
    std::cout << "  an instance " << (usable ? "can" : "CANNOT") << " start with it\n";
    if (file_count == 2) {
        CheckAddresses(files[1], addresses, *context, findings);
    }
    if (why) {
        PrintWhy(*why, file_count == 2 ? AddressTexts(files[1]) : std::vector<std::string>{},
                 *context);
    }
    std::cout << (findings.count() == 0 ? "no findings"
                                        : std::to_string(findings.count()) + " findings")
              << "\n";
    return findings.count() == 0 ? kClean : kFound;
}
