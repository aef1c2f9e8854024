#include "bench/plant.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace bench {
namespace {

constexpr uint8_t kTable = 1;
constexpr uint8_t kTableType = 1;
constexpr const char* kTableColumns = "2,2,2,2,0";  // four 16-bit values a row

template <typename... Numbers>
std::string Format(const char* format, Numbers... numbers) {
    char text[96];
    std::snprintf(text, sizeof text, format, numbers...);
    return text;
}

// A gate of every value, so that the driver stores (and counts) each one.
void WriteTableGates(std::ofstream& project, int instance) {
    for (int row = 0; row < kPollRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            project << Format("gate i%d_r%d_%d_%d %05d00101%03d%d\n", instance, kPollRtu, row,
                              column, kPollRtu, row, column);
        }
    }
    for (int rtu = 1; rtu <= kBurstRtus; ++rtu) {
        for (int column = 0; column < kColumns; ++column) {
            project << Format("gate i%d_r%d_0_%d %05d00101000%d\n", instance, rtu, column, rtu,
                              column);
        }
    }
}

void WriteConfiguration(const std::filesystem::path& folder, int instance) {
    std::ofstream file(folder / Format("instance%02d.int", instance));
    file << "PRIMARY=" << GatewayAddress(instance) << "\n"
         << static_cast<int>(kTableType) << "=" << kTableColumns << "\n"
         << "STATS_FILE=" << StatsFileOf(folder, instance).string() << "\n"
         << "STATS_PERIOD=1\n";
    if (!file) {
        throw std::runtime_error("cannot write the configuration of instance " +
                                 std::to_string(instance));
    }
}

}  // namespace

std::string GatewayAddress(int instance) {
    return "127.0.90." + std::to_string(instance);
}

std::vector<std::unique_ptr<gwsim::Gateway>> StartGateways(int instances) {
    std::vector<std::unique_ptr<gwsim::Gateway>> gateways;
    for (int instance = 1; instance <= instances; ++instance) {
        auto gateway = std::make_unique<gwsim::Gateway>(GatewayAddress(instance));
        gateway->DefineTableType(kTableType, gwsim::ParseTableType(kTableColumns));
        for (uint16_t rtu = 1; rtu <= kBurstRtus; ++rtu) {
            gateway->DefineTable(rtu, kTable, kTableType, 1);
        }
        gateway->DefineTable(kPollRtu, kTable, kTableType, kPollRows);
        gateway->Start();
        gateways.push_back(std::move(gateway));
    }
    return gateways;
}

void ScheduleBursts(const std::vector<std::unique_ptr<gwsim::Gateway>>& gateways) {
    const auto spacing = std::chrono::milliseconds(kBurstPeriodMs / kBurstRtus);
    for (uint16_t rtu = 1; rtu <= kBurstRtus; ++rtu) {
        for (const auto& gateway : gateways) {
            gateway->ScheduleBurst({gwsim::BurstSection::Rows(rtu, kTable, 0, 1)},
                                   std::chrono::milliseconds(kBurstPeriodMs));
        }
        std::this_thread::sleep_for(spacing);
    }
}

std::filesystem::path StatsFileOf(const std::filesystem::path& folder, int instance) {
    return folder / Format("stats%02d.prom", instance);
}

std::filesystem::path WriteProject(const std::filesystem::path& folder, int instances,
                                   bool with_polls) {
    const std::filesystem::path path = folder / (with_polls ? "loaded.prj" : "idle.prj");
    std::ofstream project(path);
    project << "scan " << kScanMs << "\n";
    for (int instance = 1; instance <= instances; ++instance) {
        WriteConfiguration(folder, instance);
        project << Format("instance %d instance%02d.int\n", instance, instance);
        for (int poll = 0; with_polls && poll < kPollGates; ++poll) {
            project << Format("gate i%d_poll%d P%05d00101%03d%02d\n", instance, poll, kPollRtu,
                              poll * kRowsPerPoll, kRowsPerPoll);
        }
        WriteTableGates(project, instance);
    }
    if (!project) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return path;
}

}  // namespace bench
