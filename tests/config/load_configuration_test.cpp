// LoadConfiguration reads kroGW<nn>.int from the current directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "config/config_reader.h"
#include "config/table_layout.h"
#include "context/context.h"
#include "tests/support/host_log.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {
namespace {

namespace fs = std::filesystem;

class LoadConfigurationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hostsim::Reset();
        context_ = std::make_unique<DriverContext>();
        ResetContext(1, *context_);
        previous_ = fs::current_path();
        directory_ =
            fs::temp_directory_path() /
            ("krogw-config-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory_);
        fs::create_directories(directory_);
        fs::current_path(directory_);
    }

    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(directory_);
    }

    static void Write(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }

    std::unique_ptr<DriverContext> context_;
    fs::path previous_;
    fs::path directory_;
};

TEST_F(LoadConfigurationTest, PrimaryAndOneTableTypeAreEnough) {
    Write("kroGW01.int", "PRIMARY=10.1.1.5\n3=2,0\n");
    EXPECT_TRUE(LoadConfiguration(1, *context_));
    EXPECT_STREQ(context_->primary_address, "10.1.1.5");
    EXPECT_EQ(context_->secondary_configured, 0);
    const TableLayout layout = TableLayoutOf(*context_, 3);
    EXPECT_EQ(layout.column_count, 1);
    EXPECT_EQ(layout.column_types[0], 2);
}

TEST_F(LoadConfigurationTest, WithoutPrimaryOrTableTypeTheFileIsNotUsableAndSaysWhy) {
    const auto logged = [](const std::string& text) { return test::Logged(32, text) > 0; };
    const std::string no_primary =
        "KroGW : kroGW01.int has no accepted PRIMARY line, start refused";
    const std::string no_table_type =
        "KroGW : kroGW01.int has no accepted table type line, start refused";
    Write("kroGW01.int", "PRIMARY=10.1.1.5\n");
    EXPECT_FALSE(LoadConfiguration(1, *context_));
    EXPECT_TRUE(logged(no_table_type));
    EXPECT_FALSE(logged(no_primary));
    hostsim::ClearLog();
    Write("kroGW01.int", "3=2,0\n");
    EXPECT_FALSE(LoadConfiguration(1, *context_));
    EXPECT_TRUE(logged(no_primary));
    EXPECT_FALSE(logged(no_table_type));
    hostsim::ClearLog();
    Write("kroGW01.int", "PRIMARY=10.1.1.5\n3=2\n");
    EXPECT_FALSE(LoadConfiguration(1, *context_)) << "the only table type line was refused";
    EXPECT_TRUE(logged(no_table_type));
}

TEST_F(LoadConfigurationTest, MissingFileIsLoggedWithItsName) {
    Write("kroGW01.int", "PRIMARY=10.1.1.5\n3=2,0\n");
    EXPECT_FALSE(LoadConfiguration(7, *context_));
    const auto lines = hostsim::LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 32);
    EXPECT_EQ(lines[0].text, "KroGW : File kroGW07.int not found !");
}

TEST_F(LoadConfigurationTest, FileNameHasAtLeastTwoDigits) {
    Write("kroGW03.int", "PRIMARY=10.1.1.3\n3=2,0\n");
    Write("kroGW123.int", "PRIMARY=10.1.1.123\n3=2,0\n");
    EXPECT_TRUE(LoadConfiguration(3, *context_));
    EXPECT_STREQ(context_->primary_address, "10.1.1.3");
    EXPECT_TRUE(LoadConfiguration(123, *context_));
    EXPECT_STREQ(context_->primary_address, "10.1.1.123");
}

TEST_F(LoadConfigurationTest, ShortLastLineCountsOnlyWithLineFeed) {
    Write("kroGW01.int", "PRIMARY=10.1.1.5\r\n3=2,0\r\nPARSE=NO");
    EXPECT_TRUE(LoadConfiguration(1, *context_));
    EXPECT_EQ(context_->parse_flag, 1);
    Write("kroGW01.int", "PRIMARY=10.1.1.5\r\n3=2,0\r\nPARSE=NO\n");
    EXPECT_TRUE(LoadConfiguration(1, *context_));
    EXPECT_EQ(context_->parse_flag, 0);
}

}  // namespace
}  // namespace krogw
