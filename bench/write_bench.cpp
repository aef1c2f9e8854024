// Confirmed writes per second end to end: the host's thread writes 16-bit values as fast
// as the in-flight limit and the queue allow, through the driver to the simulated
// gateway, which answers at once; the command thread runs beside it. Prints the rate and
// the median and 99th-percentile latency of one write.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "context/context.h"
#include "driver/gate_io.h"
#include "exchange/commands.h"
#include "exchange/threads.h"
#include "gateway/connections.h"
#include "host/qivpro.h"
#include "platform/platform.h"
#include "tools/gwsim/gwsim.h"
#include "tools/hostsim/hostsim.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kGatewayAddress = "127.0.93.1";
constexpr uint16_t kRtu = 1;
constexpr uint8_t kTable = 2;
constexpr int kRows = 250;

double Microseconds(Clock::duration span) {
    return std::chrono::duration<double, std::micro>(span).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int writes = argc > 1 ? std::atoi(argv[1]) : 50000;
    if (writes <= 0 || krogw::PlatformNetStart() != 0) {
        std::fprintf(stderr, "usage: write_bench [writes]\n");
        return 2;
    }
    hostsim::Reset();
    hostsim::SetLogFilter(kLogError);
    gwsim::Gateway gateway(kGatewayAddress);
    gateway.DefineTableType(1, gwsim::ParseTableType("2,0"));
    gateway.DefineTable(kRtu, kTable, 1, kRows);
    gateway.Start();

    auto context = std::make_unique<krogw::DriverContext>();
    krogw::ResetContext(1, *context);
    std::snprintf(context->primary_address, sizeof context->primary_address, "%s", kGatewayAddress);
    context->sync_reply_timeout = 3000;
    if (QivMkClient("GateWay_No_01", 1, 0, &context->client) != 0 ||
        !krogw::ConnectGateways(*context) ||
        !krogw::PlatformThreadStart(krogw::CommandThread, context.get(), 32768)) {
        std::fprintf(stderr, "write_bench: the driver did not start\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // the thread's start

    std::vector<double> latency_us;
    latency_us.reserve(static_cast<size_t>(writes));
    uint8_t value[4] = {};
    krogw::GateIoArguments write{};
    write.element_count = 1;
    write.value_buffer = value;
    int confirmed = 0;
    const Clock::time_point start = Clock::now();
    for (int index = 0; index < writes; ++index) {
        const auto word = static_cast<uint16_t>(index);
        std::memcpy(value + 2, &word, 2);
        write.address = krogw::GateAddress{kRtu, krogw::TableElement,
                                           kTable * 4096 + (index % kRows), krogw::kFixedWord, 16};
        const Clock::time_point before = Clock::now();
        confirmed +=
            krogw::RequestCommand(*context, krogw::CommandWriteFromRequest(write)) == 0 ? 1 : 0;
        latency_us.push_back(Microseconds(Clock::now() - before));
    }
    const double seconds = Microseconds(Clock::now() - start) / 1e6;

    std::sort(latency_us.begin(), latency_us.end());
    const auto percentile = [&](double share) {
        return latency_us[static_cast<size_t>(share * static_cast<double>(latency_us.size() - 1))];
    };
    std::printf(
        "writes %d, confirmed %d, %.0f confirmed writes/s, latency median %.1f us, "
        "p99 %.1f us\n",
        writes, confirmed, confirmed / seconds, percentile(0.5), percentile(0.99));

    hostsim::EndClient(context->client);
    while (hostsim::ClientExists(context->client)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    krogw::CloseGatewaySockets(*context, 1);
    return confirmed == writes ? 0 : 1;
}
