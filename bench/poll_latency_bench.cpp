// Poll to value: from a poll gate read through KroMain until the last value of its
// reply is stored in the host's gate, against the simulated gateway on loopback. A
// watching thread notes when the last gate's update count moves, because the read
// itself returns only after the pause that follows every poll sent.
// Prints the median and 99th percentile over the polls (argument: how many), after
// warm-up polls that also wait out the burst thread's pause when it starts.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/instance_host.h"
#include "tools/gwsim/gwsim.h"
#include "tools/hostsim/hostsim.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kAddress = "127.0.140.4";
constexpr uint16_t kRtu = 7;
constexpr uint8_t kTable = 5;
constexpr int kRows = 99;  // the most one poll asks for
constexpr int kColumns = 2;
constexpr int kWarmUpPolls = 20;

uint64_t UpdatesOf(int32_t gate) {
    const auto value = hostsim::GateValueOf(gate);
    return value ? value->updates : 0;
}

// The moment each update of the gate was seen, checked every 20 microseconds.
class UpdateWatch {
  public:
    explicit UpdateWatch(int32_t gate) : gate_(gate), seen_(UpdatesOf(gate)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~UpdateWatch() {
        stop_ = true;
        thread_.join();
    }
    // The time the gate's update count passed `count`, or nothing within the time-out.
    bool WaitPast(uint64_t count, Clock::time_point& when) const {
        const auto give_up = Clock::now() + 5s;
        while (seen_.load() <= count) {
            if (Clock::now() > give_up) {
                return false;
            }
            std::this_thread::sleep_for(100us);
        }
        when = Clock::time_point(Clock::duration(seen_at_.load()));
        return true;
    }
    uint64_t seen() const { return seen_.load(); }

  private:
    void Run() {
        while (!stop_) {
            const uint64_t updates = UpdatesOf(gate_);
            if (updates != seen_.load()) {
                seen_at_ = Clock::now().time_since_epoch().count();
                seen_ = updates;
            }
            std::this_thread::sleep_for(20us);
        }
    }

    int32_t gate_;
    std::atomic<uint64_t> seen_;
    std::atomic<Clock::rep> seen_at_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Percentile(const std::vector<double>& sorted, double fraction) {
    const size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

}  // namespace

int main(int argc, char** argv) {
    const int polls = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (polls <= 0) {
        std::fprintf(stderr, "usage: poll_latency_bench [POLLS > 0]\n");
        return 2;
    }
    gwsim::Gateway gateway(kAddress);
    gateway.DefineTableType(1, gwsim::ParseTableType("3,3,0"));
    gateway.DefineTable(kRtu, kTable, 1, kRows);
    gateway.Start();

    bench::RunningInstance instance(
        1, std::string("PRIMARY=") + kAddress + "\n1=3,3,0\nRTU_INITIAL_STATE=ON\n");
    int32_t last_gate = 0;
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            char text[16];
            std::snprintf(text, sizeof text, "0000700501%.3d%d", row, column);
            last_gate = instance.DefineGate(text).id;
        }
    }
    const krogw::test::HostGate poll = instance.DefineGate("P000070050100099");
    if (!instance.started() || last_gate == 0 || poll.id == 0 || !instance.WaitConnected()) {
        std::fprintf(stderr, "the driver did not start or connect to %s\n", kAddress);
        return 1;
    }

    UpdateWatch watch(last_gate);
    std::vector<double> latencies;
    std::vector<double> read_times;
    for (int i = -kWarmUpPolls; i < polls; ++i) {
        const uint64_t before = watch.seen();
        uint8_t value[4] = {};
        const auto sent = Clock::now();
        if (instance.Read(poll, value) != krogw::kResultDone) {
            std::fprintf(stderr, "poll %d refused\n", i);
            return 1;
        }
        const auto read_time = Clock::now() - sent;
        Clock::time_point stored;
        if (!watch.WaitPast(before, stored)) {
            std::fprintf(stderr, "the reply of poll %d did not arrive\n", i);
            return 1;
        }
        if (i >= 0) {
            read_times.push_back(Milliseconds(read_time));
            latencies.push_back(Milliseconds(stored - sent));
        }
    }
    std::sort(latencies.begin(), latencies.end());
    std::sort(read_times.begin(), read_times.end());
    std::printf(
        "poll to last value stored (%d polls of %d values): median %.2f ms, p99 %.2f ms, "
        "max %.2f ms\n",
        polls, kRows * kColumns, Percentile(latencies, 0.5), Percentile(latencies, 0.99),
        latencies.back());
    std::printf("  the poll gate read itself: median %.2f ms, p99 %.2f ms\n",
                Percentile(read_times, 0.5), Percentile(read_times, 0.99));
    return 0;
}
