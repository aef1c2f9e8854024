// End to end: the simulated gateway pushes burst reports over loopback to the
// driver's burst thread, which stores every value in the stand-in host's gates.
// Prints values per second and CPU seconds per million values: of the whole
// process, and of the sending thread alone (the simulator's share of building
// reports), so that the driver's and host's share is the difference.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "address/subaddress.h"
#include "config/config_reader.h"
#include "context/context.h"
#include "context/statistics.h"
#include "exchange/threads.h"
#include "gateway/connections.h"
#include "platform/platform.h"
#include "tools/gwsim/gwsim.h"
#include "tools/hostsim/hostsim.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kAddress = "127.0.71.1";
constexpr uint8_t kDriverNumber = 1;
constexpr uint16_t kRtu = 1;
constexpr uint8_t kTableType = 1;
constexpr const char* kColumns = "2,2,2,2,2,2,2,2,0";  // eight 16-bit values a row
constexpr int kColumnCount = 8;
constexpr int kTables = 2;
constexpr int kRowsPerTable = 225;  // two sections of 225 rows fill a message
constexpr int kValuesPerReport = kTables * kRowsPerTable * kColumnCount;
constexpr int kReportsInFlight = 16;
constexpr int kWarmUpReports = 200;
constexpr int kMeasuredReports = 6000;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

uint64_t UpdatesOf(int32_t gate) {
    const auto value = hostsim::GateValueOf(gate);
    return value ? value->updates : 0;
}

// Sends `reports` reports, never more than kReportsInFlight ahead of the gates, and
// waits until the last value of the last one is stored.
bool Push(gwsim::Gateway& gateway, const gwsim::BurstReport& report, int32_t last_gate,
          int reports) {
    const uint64_t start = UpdatesOf(last_gate);
    const auto give_up = Clock::now() + 120s;
    for (uint64_t sent = 0; sent < static_cast<uint64_t>(reports); ++sent) {
        while (start + sent - UpdatesOf(last_gate) >= kReportsInFlight) {
            if (Clock::now() > give_up) {
                return false;
            }
            std::this_thread::sleep_for(50us);
        }
        if (gateway.SendBurst(report) != 1) {
            return false;
        }
    }
    while (UpdatesOf(last_gate) < start + static_cast<uint64_t>(reports)) {
        if (Clock::now() > give_up) {
            return false;
        }
        std::this_thread::sleep_for(50us);
    }
    return true;
}

}  // namespace

int main() {
    using namespace krogw;
    hostsim::Reset();
    hostsim::SetLogFilter(kLogError);
    hostsim::SetSerialNumber(1);

    auto context = std::make_unique<DriverContext>();
    ResetContext(kDriverNumber, *context);
    // As a start does: the statistics count every message and value measured here.
    StartStatistics(kDriverNumber);
    ConfigSeen seen;
    const std::string line = std::to_string(kTableType) + "=" + kColumns;
    ParseTableTypeLine(line.c_str(), seen, *context);
    std::snprintf(context->primary_address, sizeof context->primary_address, "%s", kAddress);
    context->sync_reply_timeout = 3000;
    if (QivMkClient("GateWay_No_01", 1, 0, &context->client) != 0) {
        return 1;
    }

    gwsim::Gateway gateway(kAddress);
    gateway.DefineTableType(kTableType, gwsim::ParseTableType(kColumns));
    gwsim::BurstReport report;
    int32_t last_gate = 0;
    for (uint8_t table = 1; table <= kTables; ++table) {
        gateway.DefineTable(kRtu, table, kTableType, kRowsPerTable);
        report.push_back(gwsim::BurstSection::Rows(kRtu, table, 0, kRowsPerTable));
        for (int row = 0; row < kRowsPerTable; ++row) {
            for (int column = 0; column < kColumnCount; ++column) {
                gateway.SetValue(kRtu, table, row, column, static_cast<uint32_t>(row + column));
                last_gate = hostsim::DefineGate(
                    kDriverNumber,
                    GateAddress{kRtu, TableElement, PackTableElement({table, column, row}),
                                kFixedWord, 16},
                    {1.0 / 65536, 0.0});
                context->gate_table_type[static_cast<uint16_t>(last_gate)] = kTableType;
            }
        }
    }
    gateway.Start();
    if (!ConnectGateways(*context) || !PlatformThreadStart(BurstThread, context.get(), 0x8000)) {
        std::fprintf(stderr, "the driver did not connect to %s\n", kAddress);
        return 1;
    }
    if (!Push(gateway, report, last_gate, kWarmUpReports)) {
        std::fprintf(stderr, "warm-up reports did not arrive\n");
        return 1;
    }

    const double cpu_before = ProcessCpuSeconds();
    const double sender_before = ThreadCpuSeconds();
    const auto wall_before = Clock::now();
    const bool arrived = Push(gateway, report, last_gate, kMeasuredReports);
    const double wall = std::chrono::duration<double>(Clock::now() - wall_before).count();
    const double cpu = ProcessCpuSeconds() - cpu_before;
    const double sender = ThreadCpuSeconds() - sender_before;

    hostsim::EndClient(context->client);
    for (int wait = 0; wait < 400 && hostsim::ClientExists(context->client); ++wait) {
        std::this_thread::sleep_for(10ms);
    }
    if (!arrived) {
        std::fprintf(stderr, "burst reports did not arrive\n");
        return 1;
    }
    const double values = static_cast<double>(kValuesPerReport) * kMeasuredReports;
    std::printf("burst end to end: %.0f values in %.3f s\n", values, wall);
    std::printf("  %.2f M values/s into the stand-in host's gates\n", values / wall / 1e6);
    std::printf("  %.4f CPU s per million values (whole process)\n", cpu / values * 1e6);
    std::printf("  %.4f CPU s per million values (of which the simulator's sending thread)\n",
                sender / values * 1e6);
    return 0;
}
