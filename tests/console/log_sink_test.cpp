// The console host's log: lines reach the file with their instance, a call's own lines
// are told apart from the other instances', and lines the runtime dropped are told.
#include "tools/console/log_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "host/qivpro.h"

namespace {

class LogSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hostsim::Reset();
        path_ = std::filesystem::temp_directory_path() /
                ("krogw-log-sink-" + std::to_string(::getpid()) + ".log");
    }
    void TearDown() override { std::filesystem::remove(path_); }

    std::string FileText() const {
        std::ifstream file(path_);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    static void LogFor(int32_t instance, const char* text) {
        std::thread([instance, text] {
            hostsim::LogForInstance(instance);
            err(32, "%s", text);
        }).join();
    }

    std::filesystem::path path_;
};

TEST_F(LogSinkTest, ACallGetsOnlyItsOwnInstancesLinesSinceItsMark) {
    console::LogSink log;
    LogFor(3, "before");
    const uint64_t mark = log.Mark();
    LogFor(4, "other instance");
    LogFor(3, "after");
    EXPECT_EQ(log.Since(mark, 3), std::vector<std::string>{"after"});
    EXPECT_EQ(log.Since(mark, 4), std::vector<std::string>{"other instance"});
}

TEST_F(LogSinkTest, LinesTheRuntimeDroppedAreCountedAndWrittenOnce) {
    console::LogSink log;
    std::string error;
    ASSERT_TRUE(log.Open(path_.string(), 0, error)) << error;
    for (size_t line = 0; line < hostsim::kMaxLogLines + 5; ++line) {
        err(8, "line %u", static_cast<unsigned>(line));
    }
    log.Drain();
    EXPECT_EQ(log.DroppedText().rfind("5 log lines dropped", 0), 0u) << log.DroppedText();
    LogFor(9, "closing line");
    log.Close();
    const std::string text = FileText();
    EXPECT_EQ(text.find(" line 4\n"), std::string::npos) << "dropped before the drain";
    EXPECT_NE(text.find(" - 8 line 5\n"), std::string::npos);
    EXPECT_NE(text.find(" 9 32 closing line\n"), std::string::npos) << "drained at close";
    EXPECT_NE(text.find("krogw-host: 5 log lines dropped"), std::string::npos);
}

TEST_F(LogSinkTest, NothingDroppedNothingTold) {
    console::LogSink log;
    std::string error;
    ASSERT_TRUE(log.Open(path_.string(), 0, error)) << error;
    LogFor(1, "a line");
    log.Close();
    EXPECT_TRUE(log.DroppedText().empty());
    EXPECT_EQ(FileText().find("dropped"), std::string::npos);
}

}  // namespace
