// N driver instances in one krogw-host process, each against a simulated gateway of
// its own that this process serves (bench/plant.h): how long the host takes to open
// every channel and to close, whether the polls and bursts of all instances get
// through, and what an instance costs in memory, threads, descriptors and CPU.
//
// Per N the console host runs twice with the same gateways: first a project without
// poll gates while no burst is scheduled (the idle CPU), then the whole plant (every
// other figure). Each phase is bounded, so that the benchmark always ends and reports
// what it saw. Rates are taken over a steady window once every instance is scanning.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench/child_process.h"
#include "bench/host_log.h"
#include "bench/plant.h"
#include "bench/proc_sample.h"
#include "bench/stats_file.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/wait_for.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Gateways = std::vector<std::unique_ptr<gwsim::Gateway>>;

constexpr auto kPhaseLimit = 120s;
// After every instance scans: the first polls' replies and bursts are in.
constexpr auto kSettle = 2s;
constexpr auto kWindow = 10s;
constexpr int kChannelsPerInstance = 3;

struct Window {
    double seconds = 0;
    double host_cpu_s = 0;
    double own_cpu_s = 0;  // this process: the simulated gateways
    double polled_per_s = 0;
    double burst_stored_per_s = 0;
    double burst_sent_per_s = 0;
    int instances_bursting = 0;  // every one of its burst RTUs stored values
    bench::ProcessSample host;   // at the window's end
};

struct HostRun {
    double open_s = NAN;
    size_t channels_open = 0;
    double close_s = NAN;
    Window window;
    bench::LogFindings log;
    std::string failure;  // empty unless the host ended before the window did
};

struct Row {
    int instances;
    HostRun idle, loaded;
};
std::vector<Row> rows;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string ReadText(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

size_t OpenChannels(const Gateways& gateways) {
    size_t open = 0;
    for (const auto& gateway : gateways) {
        for (const gwsim::ChannelInfo& channel : gateway->Channels()) {
            open += channel.open ? 1 : 0;
        }
    }
    return open;
}

// The host scans an instance once its gateway is asked for its status.
bool AllScanning(const Gateways& gateways) {
    for (const auto& gateway : gateways) {
        if (gateway->CountRequests(krogw::kOpGatewayStatus) == 0) {
            return false;
        }
    }
    return true;
}

// Polls the condition until it holds, the limit passes or the host is gone.
template <typename Condition>
bool WaitWhileRunning(bench::ChildProcess& host, Condition condition) {
    bool held = false;
    krogw::test::WaitFor(
        [&] {
            held = condition();
            return held || !host.Running();
        },
        kPhaseLimit, 20ms);
    return held;
}

std::vector<std::optional<bench::StatsSnapshot>> ReadAllStats(const fs::path& folder,
                                                              int instances) {
    std::vector<std::optional<bench::StatsSnapshot>> all;
    for (int instance = 1; instance <= instances; ++instance) {
        all.push_back(bench::ReadStatsFile(bench::StatsFileOf(folder, instance)));
    }
    return all;
}

uint64_t Grown(const bench::StatsSnapshot& before, const bench::StatsSnapshot& after, int rtu) {
    const auto was = before.values_by_rtu.find(rtu);
    const auto is = after.values_by_rtu.find(rtu);
    const uint64_t from = was == before.values_by_rtu.end() ? 0 : was->second;
    return is == after.values_by_rtu.end() || is->second < from ? 0 : is->second - from;
}

// Values stored per second by each instance between its two files, by the times the
// driver wrote them; an instance whose file did not move adds nothing.
void AddStoredRates(const std::vector<std::optional<bench::StatsSnapshot>>& before,
                    const std::vector<std::optional<bench::StatsSnapshot>>& after, Window& window) {
    for (size_t at = 0; at < before.size(); ++at) {
        const double seconds =
            before[at] && after[at] ? after[at]->written_s - before[at]->written_s : 0;
        if (seconds <= 0) {
            continue;
        }
        window.polled_per_s +=
            static_cast<double>(Grown(*before[at], *after[at], bench::kPollRtu)) / seconds;
        int bursting = 0;
        for (int rtu = 1; rtu <= bench::kBurstRtus; ++rtu) {
            const uint64_t grown = Grown(*before[at], *after[at], rtu);
            window.burst_stored_per_s += static_cast<double>(grown) / seconds;
            bursting += grown > 0 ? 1 : 0;
        }
        window.instances_bursting += bursting == bench::kBurstRtus ? 1 : 0;
    }
}

double BurstValuesSentPerSecond(const Gateways& gateways, Clock::time_point from,
                                Clock::time_point to) {
    size_t reports = 0;
    for (const auto& gateway : gateways) {
        for (const gwsim::RecordedRequest& sent : gateway->Sent()) {
            const bool in_window = sent.received >= from && sent.received < to;
            reports += sent.opcode == krogw::kOpBurstReport && in_window ? 1U : 0U;
        }
    }
    return static_cast<double>(reports * bench::kBurstValuesPerReport) / Seconds(to - from);
}

std::optional<Window> MeasureWindow(bench::ChildProcess& host, const Gateways& gateways,
                                    const fs::path& folder) {
    const int instances = static_cast<int>(gateways.size());
    const auto stats_before = ReadAllStats(folder, instances);
    const auto sample_before = bench::SampleProcess(host.pid());
    const double own_before = OwnCpuSeconds();
    const auto from = Clock::now();
    std::this_thread::sleep_for(kWindow);
    const auto to = Clock::now();
    const double own_after = OwnCpuSeconds();
    const auto sample_after = bench::SampleProcess(host.pid());
    if (!sample_before || !sample_after) {
        return std::nullopt;
    }
    Window window;
    window.seconds = Seconds(to - from);
    window.host_cpu_s = sample_after->cpu_seconds - sample_before->cpu_seconds;
    window.own_cpu_s = own_after - own_before;
    window.host = *sample_after;
    AddStoredRates(stats_before, ReadAllStats(folder, instances), window);
    window.burst_sent_per_s = BurstValuesSentPerSecond(gateways, from, to);
    return window;
}

HostRun RunHost(const fs::path& folder, const Gateways& gateways, bool with_polls) {
    const int instances = static_cast<int>(gateways.size());
    for (int instance = 1; instance <= instances; ++instance) {
        fs::remove(bench::StatsFileOf(folder, instance));
    }
    for (const auto& gateway : gateways) {
        gateway->ClearRequests();
    }
    const fs::path project = bench::WriteProject(folder, instances, with_polls);
    const fs::path log = folder / (with_polls ? "loaded.log" : "idle.log");
    HostRun run;
    const auto launched = Clock::now();
    // Without --duration the host would take its empty standard input as quit.
    bench::ChildProcess host(
        {KROGW_HOST_PROGRAM, "--duration", "3600", "--log", log.string(), project.string()},
        folder);
    const size_t all_channels = static_cast<size_t>(kChannelsPerInstance * instances);
    if (WaitWhileRunning(host, [&] { return OpenChannels(gateways) == all_channels; })) {
        run.open_s = Seconds(Clock::now() - launched);
    }
    run.channels_open = OpenChannels(gateways);
    // Instances that never scan leave their figures low rather than hiding the others'.
    WaitWhileRunning(host, [&] { return AllScanning(gateways); });
    std::this_thread::sleep_for(kSettle);
    const std::optional<Window> window = MeasureWindow(host, gateways, folder);
    const bool lasted = window && host.Running();
    if (const auto closed = host.Terminate(kPhaseLimit)) {
        run.close_s = *closed;
    }
    if (lasted) {
        run.window = *window;
    } else {
        run.failure = "krogw-host ended by itself (status " + std::to_string(host.exit_status()) +
                      "): " + ReadText(folder / "stderr.txt");
    }
    run.log = bench::CheckHostLog(ReadText(log), instances);
    return run;
}

double PerInstancePercent(double cpu_s, const Window& window, int instances) {
    return window.seconds > 0 ? cpu_s / window.seconds / instances * 100 : NAN;
}

using Figures = std::vector<std::pair<const char*, double>>;

// The counters of one N, in the order the table shows them. Memory, threads and
// descriptors are the host process's whole count divided by N.
Figures FiguresOf(const Row& row) {
    const Window& idle = row.idle.window;
    const Window& loaded = row.loaded.window;
    const double n = row.instances;
    const double polled_plant =
        bench::kPollGates * bench::kValuesPerPoll * n * 1000 / bench::kScanMs;
    return {
        {"open_s", row.loaded.open_s},
        {"channels_open", static_cast<double>(row.loaded.channels_open)},
        {"polled_ratio", loaded.polled_per_s / polled_plant},
        {"burst_ratio", loaded.burst_stored_per_s / loaded.burst_sent_per_s},
        {"instances_bursting", loaded.instances_bursting},
        {"close_s", row.loaded.close_s},
        {"rss_mib_per_instance", static_cast<double>(loaded.host.rss_kib) / 1024 / n},
        {"threads_per_instance", static_cast<double>(loaded.host.threads) / n},
        {"fds_per_instance", static_cast<double>(loaded.host.descriptors) / n},
        {"cpu_idle_pct_per_instance", PerInstancePercent(idle.host_cpu_s, idle, row.instances)},
        {"cpu_loaded_pct_per_instance",
         PerInstancePercent(loaded.host_cpu_s, loaded, row.instances)},
        {"sim_cpu_pct", PerInstancePercent(loaded.own_cpu_s, loaded, 1)},
        {"instances_missing_close_lines",
         row.idle.log.instances_missing_close_lines + row.loaded.log.instances_missing_close_lines},
        {"log_lines_dropped",
         static_cast<double>(row.idle.log.dropped_lines + row.loaded.log.dropped_lines)},
    };
}

void BM_ManyInstances(benchmark::State& state) {
    Row row{static_cast<int>(state.range(0)), {}, {}};
    const krogw::test::ScratchDirectory scratch("krogw-many-instances");
    const fs::path folder = fs::current_path();
    const Gateways gateways = bench::StartGateways(row.instances);
    for (auto _ : state) {
        row.idle = RunHost(folder, gateways, false);
        bench::ScheduleBursts(gateways);
        row.loaded = RunHost(folder, gateways, true);
    }
    for (const std::string& failure : {row.idle.failure, row.loaded.failure}) {
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            return;
        }
    }
    for (const auto& [name, value] : FiguresOf(row)) {
        state.counters[name] = value;
    }
    rows.push_back(row);
}
BENCHMARK(BM_ManyInstances)
    ->ArgName("instances")
    ->Arg(1)
    ->Arg(8)
    ->Arg(32)
    ->Arg(64)
    ->Arg(bench::kMaxInstances)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// One line per figure, one column per N.
void PrintTable() {
    if (rows.empty()) {
        return;
    }
    std::printf("\n%-30s", "instances");
    for (const Row& row : rows) {
        std::printf("%10d", row.instances);
    }
    std::vector<Figures> columns;
    for (const Row& row : rows) {
        columns.push_back(FiguresOf(row));
    }
    for (size_t figure = 0; figure < columns.front().size(); ++figure) {
        std::printf("\n%-30s", columns.front()[figure].first);
        for (const Figures& column : columns) {
            std::printf("%10.4g", column[figure].second);
        }
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    return 0;
}
