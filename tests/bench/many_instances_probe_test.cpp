// The many-instances benchmark's instruments: the plant's files name exactly the rows
// the simulated gateways serve and the driver accepts them; /proc, the statistics file
// and the host's log are read right; the child process is started, ended and reaped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "bench/child_process.h"
#include "bench/host_log.h"
#include "bench/plant.h"
#include "bench/proc_sample.h"
#include "bench/stats_file.h"
#include "config/config_reader.h"
#include "context/context.h"
#include "include/krogw/abi.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/wait_for.h"
#include "tools/hostsim/hostsim.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadText(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct ProjectInstance {
    std::string configuration;
    std::vector<std::pair<std::string, std::string>> gates;  // name, address
};

// "instance N FILE" and "gate NAME ADDRESS" lines, by instance.
std::map<int, ProjectInstance> ReadProject(const fs::path& path, int& scan_ms) {
    std::map<int, ProjectInstance> instances;
    std::istringstream lines(ReadText(path));
    int current = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string statement, first, second;
        words >> statement >> first >> second;
        if (statement == "scan") {
            scan_ms = std::stoi(first);
        } else if (statement == "instance") {
            current = std::stoi(first);
            instances[current].configuration = second;
        } else if (statement == "gate") {
            instances[current].gates.emplace_back(first, second);
        }
    }
    return instances;
}

class PlantFiles : public ::testing::Test {
  protected:
    void SetUp() override { hostsim::Reset(); }

    // The instance's configuration read as the driver reads it.
    void Configure(const ProjectInstance& instance, int number) {
        context_ = std::make_unique<krogw::DriverContext>();
        krogw::ResetContext(static_cast<uint8_t>(number), *context_);
        const std::string text = ReadText(folder_ / instance.configuration);
        krogw::ConfigSeen seen;
        ASSERT_TRUE(krogw::ReadConfiguration(krogw::ConfigText{text.data(), text.size(), 0}, seen,
                                             *context_));
        EXPECT_EQ(seen.refused_lines, 0);
        EXPECT_EQ(std::string(context_->primary_address), bench::GatewayAddress(number));
        EXPECT_NE(text.find("STATS_FILE=" + bench::StatsFileOf(folder_, number).string() + "\n"),
                  std::string::npos);
    }

    // The address check the host makes before it defines the gate.
    krogw::GateAddress Accepted(const std::string& address, int32_t gate_id) {
        krogw::AddressCheckArguments check{address.c_str(), gate_id, 0, 0, {}};
        krogw::HostRequest request{context_.get(), krogw::kParseGateAddress, 1, 0, &check};
        EXPECT_EQ(KroMain(&request), krogw::kResultDone) << address;
        return check.address;
    }

    krogw::test::ScratchDirectory scratch_{"krogw-plant-files"};
    fs::path folder_ = fs::current_path();
    std::unique_ptr<krogw::DriverContext> context_;
};

TEST_F(PlantFiles, EveryValueOfThePlantHasOneGateAndThePollsCoverThePolledRtu) {
    int scan_ms = 0;
    const auto instances = ReadProject(bench::WriteProject(folder_, 2, true), scan_ms);
    EXPECT_EQ(scan_ms, bench::kScanMs);
    ASSERT_EQ(instances.size(), 2U);
    std::set<std::string> names;
    for (const auto& [number, instance] : instances) {
        Configure(instance, number);
        std::set<std::tuple<int, int, int>> values;  // RTU, row, column
        std::set<int> polled_rows;
        int32_t gate_id = 0;
        for (const auto& [name, address] : instance.gates) {
            EXPECT_TRUE(names.insert(name).second) << name;
            const krogw::GateAddress words = Accepted(address, ++gate_id);
            if (words.kind == krogw::PollRows) {
                EXPECT_EQ(words.unit_id, bench::kPollRtu);
                const int first = (words.subaddress >> 8) & 0xFF;
                EXPECT_EQ(words.subaddress & 0xFF, bench::kRowsPerPoll);
                for (int row = first; row < first + bench::kRowsPerPoll; ++row) {
                    EXPECT_TRUE(polled_rows.insert(row).second) << "row polled twice: " << row;
                }
                continue;
            }
            ASSERT_EQ(words.kind, krogw::TableElement) << address;
            EXPECT_EQ(words.bit_width, 16);
            values.emplace(words.unit_id, words.subaddress & 0xFF, (words.subaddress >> 8) & 0xF);
        }
        std::set<std::tuple<int, int, int>> plant;
        for (int column = 0; column < bench::kColumns; ++column) {
            for (int rtu = 1; rtu <= bench::kBurstRtus; ++rtu) {
                plant.emplace(rtu, 0, column);
            }
            for (int row = 0; row < bench::kPollRows; ++row) {
                plant.emplace(bench::kPollRtu, row, column);
            }
        }
        EXPECT_EQ(values, plant);
        EXPECT_EQ(polled_rows.size(), static_cast<size_t>(bench::kPollRows));
        EXPECT_EQ(*polled_rows.rbegin(), bench::kPollRows - 1);
    }
}

TEST_F(PlantFiles, TheIdleProjectHasTheTableGatesAndNoPollGate) {
    int scan_ms = 0;
    const auto instances = ReadProject(bench::WriteProject(folder_, 1, false), scan_ms);
    ASSERT_EQ(instances.size(), 1U);
    const auto& gates = instances.at(1).gates;
    EXPECT_EQ(gates.size(),
              static_cast<size_t>((bench::kBurstRtus + bench::kPollRows) * bench::kColumns));
    for (const auto& [name, address] : gates) {
        EXPECT_NE(address.front(), 'P') << name;
    }
}

TEST(ProcSample, StatusFieldsAreFoundByTheirWholeName) {
    const std::string status = "Name:\tkrogw-host\nVmRSSx:\t1 kB\nVmRSS:\t  7100 kB\nThreads:\t6\n";
    EXPECT_EQ(bench::StatusField(status, "VmRSS"), 7100);
    EXPECT_EQ(bench::StatusField(status, "Threads"), 6);
    EXPECT_EQ(bench::StatusField(status, "Name"), std::nullopt);  // not a number
    EXPECT_EQ(bench::StatusField(status, "VmHWM"), std::nullopt);
    EXPECT_EQ(bench::StatusField("Threads:\t3\n", "Threads"), 3);  // the first line
}

TEST(ProcSample, CpuTicksAreCountedFromTheLastParenthesisOfTheName) {
    // Fields 14 and 15 are utime and stime; the name holds blanks and a ')'.
    const std::string stat =
        "4242 (krogw) host) S 1 4242 4242 0 -1 4194560 100 0 0 0 250 17 0 0 20 0 6 0";
    EXPECT_EQ(bench::CpuTicks(stat), 267U);
    EXPECT_EQ(bench::CpuTicks("4242 (krogw) S 1 2 3"), std::nullopt);
    EXPECT_EQ(bench::CpuTicks("no name at all"), std::nullopt);
}

TEST(ProcSample, ThisProcessShowsItsThreadsAndDescriptors) {
    const auto before = bench::SampleProcess(::getpid());
    ASSERT_TRUE(before);
    EXPECT_GT(before->rss_kib, 0);
    const int extra = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::thread sleeper([] { std::this_thread::sleep_for(200ms); });
    const auto during = bench::SampleProcess(::getpid());
    sleeper.join();
    ::close(extra);
    ASSERT_TRUE(during);
    EXPECT_EQ(during->threads, before->threads + 1);
    EXPECT_EQ(during->descriptors, before->descriptors + 1);
    EXPECT_GE(during->cpu_seconds, before->cpu_seconds);
}

TEST(ProcSample, AProcessThatIsGoneHasNoSample) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_EQ(bench::SampleProcess(child), std::nullopt);
}

TEST(StatsFile, OnlyTheStoredValuesCountPerRtu) {
    const std::string text =
        "# TYPE krogw_rtu_values_total counter\n"
        "krogw_rtu_values_total{driver=\"3\",rtu=\"17\"} 320\n"
        "krogw_rtu_values_total{driver=\"3\",rtu=\"1\"} 28\n"
        "krogw_rtu_polls_total{driver=\"3\",rtu=\"17\"} 20\n"
        "krogw_rtu_values_total_other{driver=\"3\",rtu=\"2\"} 5\n"
        "krogw_gateway_received_messages_total{driver=\"3\",gateway=\"primary\"} 281\n";
    const std::map<int, uint64_t> expected{{1, 28}, {17, 320}};
    EXPECT_EQ(bench::RtuValues(text), expected);
}

TEST(StatsFile, TheFileComesWithTheTimeItWasWritten) {
    const krogw::test::ScratchDirectory scratch("krogw-stats-file");
    const fs::path path = fs::current_path() / "stats.prom";
    EXPECT_EQ(bench::ReadStatsFile(path), std::nullopt);
    std::ofstream(path) << "krogw_rtu_values_total{driver=\"1\",rtu=\"5\"} 18446744073709551615\n";
    const timespec times[2] = {{1700000000, 0}, {1700000000, 250000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const auto snapshot = bench::ReadStatsFile(path);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->values_by_rtu.at(5), UINT64_MAX);
    EXPECT_DOUBLE_EQ(snapshot->written_s, 1700000000.25);
}

TEST(HostLog, AnInstanceNeedsBothClosingLines) {
    const std::string log =
        "2026-12-09 18:22:19.825 1 32 kroGW : Close Channel Id 259 Pass\n"
        "2026-12-09 18:22:21.850 1 8 KroGW : Close Socket's of GW # 1\n"
        "2026-12-09 18:22:19.825 2 32 kroGW : Close Channel Id 259 Pass\n"
        "2026-12-09 18:22:21.850 - 8 KroGW : Close Socket's of GW # 1\n"
        "2026-12-09 18:22:19.825 3 8 kroGW : Fail to Close Channel Id 259\n"
        "2026-12-09 18:22:21.850 3 8 KroGW : Close Socket's of GW # 1\n"
        "2026-12-09 18:22:19.825 4 32 kroGW : Close Channel Id 259 Pass\n"
        "2026-12-09 18:22:21.850 4 8 KroGW : Close Socket's of GW # 1 … ×3\n"
        "2026-12-09 18:22:21.850 9 8 KroGW : Close Socket's of GW # 1\n";
    // 2: its sockets' line has no instance; 3: the close was not confirmed; 5: nothing.
    EXPECT_EQ(bench::CheckHostLog(log, 5).instances_missing_close_lines, 3);
    EXPECT_EQ(bench::CheckHostLog(log, 5).dropped_lines, 0U);
    EXPECT_EQ(bench::CheckHostLog("", 2).instances_missing_close_lines, 2);
}

TEST(HostLog, DroppedLinesAreSummed) {
    const std::string log =
        "2026-12-09 18:11:23.142 - 32 krogw-host: 2113 log lines dropped by the host runtime's "
        "store, which holds 100000, between 2026-12-09 18:11:23.042 and 2026-12-09 18:11:23.142\n"
        "2026-12-09 18:11:24.000 1 32 KroGW : 7 log lines dropped\n"
        "log lines dropped without a number\n";
    EXPECT_EQ(bench::CheckHostLog(log, 1).dropped_lines, 2120U);
}

class ChildProcessTest : public ::testing::Test {
  protected:
    krogw::test::ScratchDirectory scratch_{"krogw-child-process"};
    fs::path folder_ = fs::current_path();
};

TEST_F(ChildProcessTest, RunsInItsFolderWithItsOutputInFiles) {
    bench::ChildProcess child({"/bin/sh", "-c", "pwd; echo oops >&2; read line || exit 3"},
                              folder_);
    EXPECT_GT(child.pid(), 0);
    krogw::test::WaitFor([&] { return !child.Running(); }, 10s);
    EXPECT_FALSE(child.Running());
    EXPECT_EQ(child.exit_status(), 3);  // standard input is empty
    EXPECT_EQ(ReadText(folder_ / "stdout.txt"), folder_.string() + "\n");
    EXPECT_EQ(ReadText(folder_ / "stderr.txt"), "oops\n");
}

TEST_F(ChildProcessTest, InheritsNoDescriptorOfTheBenchmark) {
    const int open_here = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    ASSERT_GE(open_here, 3);
    bench::ChildProcess child(
        {"/bin/sh", "-c", "[ -e /proc/$$/fd/" + std::to_string(open_here) + " ] && exit 1; exit 0"},
        folder_);
    ::close(open_here);
    krogw::test::WaitFor([&] { return !child.Running(); }, 10s);
    EXPECT_EQ(child.exit_status(), 0);
}

TEST_F(ChildProcessTest, TerminateTellsHowLongTheExitTook) {
    bench::ChildProcess child({"/bin/sleep", "30"}, folder_);
    const auto took = child.Terminate(10s);
    ASSERT_TRUE(took);
    EXPECT_LT(*took, 5.0);
    EXPECT_FALSE(child.Running());
}

TEST_F(ChildProcessTest, AChildThatIgnoresTheSignalIsKilledAtTheLimit) {
    // An ignored signal stays ignored across exec: the child is the sleep itself, and
    // nothing of it is left once it is killed.
    bench::ChildProcess child({"/bin/sh", "-c", "trap '' TERM; echo ready; exec sleep 30"},
                              folder_);
    // The trap is set once the line is out.
    krogw::test::WaitFor([&] { return !ReadText(folder_ / "stdout.txt").empty(); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(child.Terminate(1s), std::nullopt);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(child.Running());
    EXPECT_EQ(child.exit_status(), -1);
}

}  // namespace
