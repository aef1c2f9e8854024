// The statistics file: the text a scraper reads (every metric once, 64-bit counters,
// seconds, labels it may keep), written by a running instance and replaced whole, never
// through a link planted at its names, an unwritable path leaving the instance at work,
// and the Prometheus tools' own verdict on it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "context/statistics.h"
#include "context/statistics_text.h"
#include "gateway/frame.h"
#include "tests/e2e/instance_fixture.h"
#include "tests/support/test_net.h"

namespace krogw::test {
namespace {

std::string Exposition(const InstanceStatistics& statistics, const StatisticsFile& labels,
                       int64_t now_ms) {
    std::string text;
    const TextSink append = [](void* target, const char* piece, size_t length) {
        static_cast<std::string*>(target)->append(piece, length);
        return true;
    };
    EXPECT_TRUE(ExposeStatistics(statistics, labels, now_ms, append, &text));
    return text;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The sample lines of the metric, by their label text.
std::map<std::string, std::string> Samples(const std::string& text, const std::string& metric) {
    std::map<std::string, std::string> samples;
    const std::regex line("^krogw_" + metric + R"(\{(.*)\} (\S+)$)");
    std::istringstream lines(text);
    for (std::string each; std::getline(lines, each);) {
        std::smatch match;
        if (std::regex_match(each, match, line)) {
            samples[match[1]] = match[2];
        }
    }
    return samples;
}

TEST(StatisticsTextTest, EveryMetricOnceWithAllItsBitsInBaseUnits) {
    constexpr uint8_t kDriver = 203;
    ASSERT_TRUE(StartStatistics(kDriver));
    InstanceStatistics& statistics = *StatisticsOf(kDriver);
    StatisticsFile& labels = statistics.file;
    std::snprintf(labels.gateway_addresses[0], kGatewayAddressBytes, "10.0.0.1");
    std::snprintf(labels.gateway_addresses[1], kGatewayAddressBytes, "a\"b\\c");
    labels.secondary_configured = 0;
    statistics.gateways[0].counters[StatTxBytes].store(5000000000ull);
    statistics.gateways[0].reply_time_max_ms.store(1234);
    statistics.gateways[0].up_since_ms.store(1000);
    RtuStatisticsOf(statistics, 7)->counters[StatValues - StatPolls].store(42);
    RtuStatisticsOf(statistics, 9);

    std::string text = Exposition(statistics, labels, 61000);
    for (const StatisticDefinition& definition : kStatistics) {
        const std::string name = std::string("krogw_") + definition.metric;
        SCOPED_TRACE(name);
        EXPECT_EQ(text.find("# HELP " + name + " "), text.rfind("# HELP " + name + " "));
        EXPECT_NE(text.find("# TYPE " + name +
                            (definition.type == StatisticType::Count ? " counter\n" : " gauge\n")),
                  std::string::npos);
    }
    EXPECT_EQ(text.find("instance="), std::string::npos);
    EXPECT_EQ(text.find("job="), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    const std::string primary = "driver=\"203\",gateway=\"primary\",address=\"10.0.0.1\"";
    EXPECT_EQ(Samples(text, "gateway_sent_bytes_total")[primary], "5000000000");
    EXPECT_EQ(Samples(text, "gateway_reply_time_max_seconds")[primary], "1.234");
    EXPECT_EQ(Samples(text, "gateway_up_seconds")[primary], "60");
    EXPECT_TRUE(Samples(text, "gateway_silent_seconds").empty()) << "nothing arrived yet";
    EXPECT_EQ(Samples(text, "gateway_connects_total").size(), 1u) << "no secondary";
    EXPECT_EQ(Samples(text, "rtu_values_total")["driver=\"203\",rtu=\"7\""], "42");
    EXPECT_EQ(Samples(text, "rtu_values_total")["driver=\"203\",rtu=\"9\""], "0");
    EXPECT_TRUE(Samples(text, "rtu_value_age_seconds").empty()) << "no value stored yet";

    labels.secondary_configured = 1;
    text = Exposition(statistics, labels, 61000);
    EXPECT_EQ(Samples(text, "gateway_connects_total")
                  .count("driver=\"203\",gateway=\"secondary\",address=\"a\\\"b\\\\c\""),
              1u)
        << text;
}

class StatisticsFileTest : public InstanceFixture {
  protected:
    Instance& Running(int32_t number, const std::string& address, const std::string& extra) {
        WriteConfiguration(number, "PRIMARY=" + address + "\n1=3,3,0\nRTU_INITIAL_STATE=ON\n" +
                                       "STATS_PERIOD=1\n" + extra);
        Instance& instance = NewInstance(number);
        EXPECT_EQ(Start(instance, 1), kResultDone) << LogText();
        return instance;
    }

    static std::string Folder() { return std::filesystem::current_path().string(); }
};

TEST_F(StatisticsFileTest, ReplacedWholeEveryPeriodNeverThroughALink) {
    gwsim::Gateway gateway(TestAddress(176, 1));
    gateway.DefineTableType(1, gwsim::ParseTableType("3,3,0"));
    gateway.DefineTable(7, 5, 1, 4);
    gateway.Start();
    const std::string path = Folder() + "/krogw.prom";
    // Links at the first temporary name and at the path itself: neither is written through.
    const std::string victim = Folder() + "/victim";
    std::ofstream(victim) << "untouched";
    ASSERT_EQ(symlink(victim.c_str(), (path + ".krogw34-0.tmp").c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);

    Instance& instance = Running(34, TestAddress(176, 1), "STATS_FILE=" + path + "\n");
    const Gate poll = DefineGate(instance, "P000070050100004");
    ASSERT_TRUE(gateway.WaitForChannels(7, 1, 2s));

    // A reader polling the path sees only whole files.
    std::atomic<bool> reading{true};
    std::atomic<int> reads{0};
    std::atomic<int> partial{0};
    std::thread reader([&] {
        while (reading) {
            const std::string text = ReadWhole(path);
            if (text.rfind("# HELP", 0) == 0) {
                ++reads;
                if (text.back() != '\n' ||
                    text.find("krogw_rtu_writes_lost_total") == std::string::npos) {
                    ++partial;
                }
            }
        }
    });
    ASSERT_TRUE(WaitFor(
        [&] {
            return !Samples(ReadWhole(path), "rtu_polls_total").empty() ||
                   ReadWhole(path).rfind("# HELP", 0) == 0;
        },
        5s));
    const std::string first = ReadWhole(path);
    uint8_t value[4] = {};
    ASSERT_EQ(GateIo(instance, kReadGate, poll, value), kResultDone);
    ASSERT_TRUE(gateway.WaitForRequest(kOpPoll, 2s));
    const std::string labels = "driver=\"34\",rtu=\"7\"";
    EXPECT_TRUE(
        WaitFor([&] { return Samples(ReadWhole(path), "rtu_polls_total")[labels] == "1"; }, 5s))
        << ReadWhole(path);
    reading = false;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(partial.load(), 0);
    EXPECT_NE(first, ReadWhole(path));

    EXPECT_EQ(ReadWhole(victim), "untouched");
    struct stat status {};
    ASSERT_EQ(lstat(path.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode)) << "the link at the path was replaced, not followed";

    // The tools a monitoring system uses judge the file.
    if (std::system("command -v promtool >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "promtool is missing (package prometheus)";
    }
    const std::string check = "promtool check metrics < " + path + " > promtool.out 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0) << ReadWhole("promtool.out");
}

TEST_F(StatisticsFileTest, NodeExporterServesTheFileWithoutAScrapeError) {
    const std::string exporter = "/usr/bin/prometheus-node-exporter";
    if (access(exporter.c_str(), X_OK) != 0 || std::system("command -v curl >/dev/null") != 0) {
        GTEST_SKIP() << "prometheus-node-exporter or curl is missing";
    }
    gwsim::Gateway gateway(TestAddress(176, 11));
    gateway.Start();
    std::filesystem::create_directory("textfile");
    Instance& instance =
        Running(35, TestAddress(176, 11), "STATS_FILE=" + Folder() + "/textfile/krogw.prom\n");
    ASSERT_TRUE(gateway.WaitForChannels(7, 1, 2s));
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists("textfile/krogw.prom"); }, 5s));
    (void)instance;

    const std::string listen = std::string(TestAddress(176, 12)) + ":9100";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string directory = "--collector.textfile.directory=" + Folder() + "/textfile";
        const std::string address = "--web.listen-address=" + listen;
        execl(exporter.c_str(), exporter.c_str(), "--collector.disable-defaults",
              "--collector.textfile", directory.c_str(), address.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string fetch = "curl -s -m 2 http://" + listen + "/metrics > scrape.out";
    const bool served = WaitFor([&] { return std::system(fetch.c_str()) == 0; }, 10s);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(served);
    const std::string scrape = ReadWhole("scrape.out");
    EXPECT_NE(scrape.find("node_textfile_scrape_error 0"), std::string::npos) << scrape;
    EXPECT_NE(
        scrape.find("krogw_gateway_connects_total{address=\"" + std::string(TestAddress(176, 11)) +
                    "\",driver=\"35\",gateway=\"primary\"} 1"),
        std::string::npos)
        << scrape;
}

TEST_F(StatisticsFileTest, AnUnwritablePathIsToldOnceAndTheInstanceWorksOn) {
    gwsim::Gateway gateway(TestAddress(176, 21));
    gateway.DefineTableType(1, gwsim::ParseTableType("3,3,0"));
    gateway.DefineTable(7, 5, 1, 4);
    gateway.Start();
    Instance& instance =
        Running(36, TestAddress(176, 21), "STATS_FILE=" + Folder() + "/missing/krogw.prom\n");
    const Gate poll = DefineGate(instance, "P000070050100004");
    ASSERT_TRUE(gateway.WaitForChannels(7, 1, 2s));
    std::this_thread::sleep_for(2500ms);  // more than two periods
    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(instance, kReadGate, poll, value), kResultDone);
    EXPECT_TRUE(gateway.WaitForRequest(kOpPoll, 2s));
    const std::string failed =
        "KroGW : Statistics file " + Folder() + "/missing/krogw.prom can not be written";
    EXPECT_EQ(Logged(kLogError, failed.c_str()), 1) << LogText();
    const std::string again =
        "KroGW : Statistics file " + Folder() + "/missing/krogw.prom written again";

    std::filesystem::create_directory("missing");
    EXPECT_TRUE(WaitFor([] { return std::filesystem::exists("missing/krogw.prom"); }, 5s));
    EXPECT_TRUE(WaitFor([&] { return Logged(kLogError, again.c_str()) == 1; }, 2s));
    EXPECT_TRUE(std::filesystem::is_empty("missing") ||
                std::distance(std::filesystem::directory_iterator("missing"),
                              std::filesystem::directory_iterator{}) == 1)
        << "no temporary file left behind";
}

}  // namespace
}  // namespace krogw::test
