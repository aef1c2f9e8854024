// The statistics table as every reader takes it (gate names that fit an address, metric
// names Prometheus accepts, the docs' rows), and the RTU slots: one per RTU, bounded,
// and begun again by a start.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "address/address_field.h"
#include "context/statistics.h"

namespace krogw {
namespace {

constexpr uint8_t kDriver = 201;

TEST(StatisticsTableTest, NamesFitTheirAddressesAndMetricsAreWellFormed) {
    std::set<std::string> metrics;
    const std::regex metric_form("[a-z][a-z_]*[a-z]");
    for (size_t index = 0; index < kStatistics.size(); ++index) {
        const StatisticDefinition& definition = kStatistics[index];
        SCOPED_TRACE(definition.name);
        EXPECT_EQ(definition.id, index) << "the table is in the order of Statistic";
        const bool gateway = definition.scope == StatisticScope::Gateway;
        EXPECT_EQ(gateway, index < static_cast<size_t>(kFirstRtuStatistic));
        const size_t prefix = gateway ? std::strlen("!1.") : std::strlen("!00001.");
        EXPECT_LE(prefix + std::strlen(definition.name), kAddressFieldChars);
        EXPECT_EQ(FindStatistic(definition.scope, definition.name,
                                static_cast<int>(std::strlen(definition.name))),
                  definition.id);
        const StatisticScope other = gateway ? StatisticScope::Rtu : StatisticScope::Gateway;
        EXPECT_FALSE(
            FindStatistic(other, definition.name, static_cast<int>(std::strlen(definition.name))));
        const std::string metric = definition.metric;
        EXPECT_TRUE(std::regex_match(metric, metric_form));
        EXPECT_TRUE(metrics.insert(metric).second) << "two statistics share " << metric;
        const bool total = metric.size() > 6 && metric.substr(metric.size() - 6) == "_total";
        EXPECT_EQ(total, definition.type == StatisticType::Count);
        EXPECT_GT(definition.per_base_unit, 0);
    }
    EXPECT_FALSE(FindStatistic(StatisticScope::Gateway, "UP", 1)) << "a prefix names nothing";
}

// Each statistic has its row in the docs, word for word, and the docs no others.
TEST(StatisticsTableTest, TheDocsShowTheTable) {
    std::ifstream page(KROGW_STATISTICS_PAGE);
    ASSERT_TRUE(page) << KROGW_STATISTICS_PAGE;
    const std::regex row(R"(^\| `([A-Z]+)` \| (.*?) \| (counter|gauge) \| (.*?) \|$)");
    std::set<std::string> documented;
    for (std::string line; std::getline(page, line);) {
        std::smatch match;
        if (!std::regex_match(line, match, row)) {
            continue;
        }
        documented.insert(match[1]);
        bool found = false;
        for (const StatisticDefinition& definition : kStatistics) {
            if (match[1] == definition.name) {
                found = true;
                EXPECT_EQ(match[2], definition.unit) << definition.name;
                EXPECT_EQ(match[3], definition.type == StatisticType::Count ? "counter" : "gauge")
                    << definition.name;
                EXPECT_EQ(match[4], definition.event) << definition.name;
            }
        }
        EXPECT_TRUE(found) << "a row for no statistic: " << match[1];
    }
    EXPECT_EQ(documented.size(), kStatistics.size());
}

TEST(RtuStatisticsTest, OneSlotPerRtuBoundedAndBegunAgainByAStart) {
    ASSERT_TRUE(StartStatistics(kDriver));
    InstanceStatistics& statistics = *StatisticsOf(kDriver);
    EXPECT_EQ(RtuStatisticsOf(statistics, 0), nullptr);
    EXPECT_EQ(RtuStatisticsOf(statistics, 65536), nullptr);
    RtuStatistics* first = RtuStatisticsOf(statistics, 65535);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(RtuStatisticsOf(statistics, 65535), first);
    EXPECT_EQ(FindRtuStatistics(statistics, 65535), first);
    first->counters[StatValues - StatPolls].store(5);
    first->last_value_ms.store(1000);
    EXPECT_EQ(RtuStatisticValue(*first, StatValues, 0), 5u);
    EXPECT_EQ(RtuStatisticValue(*first, StatAge, 3500), 2u);

    // Every slot taken, by RTUs whose hashes collide as they may: the next RTU has none.
    for (int32_t rtu = 1; rtu < kStatisticsRtuSlots; ++rtu) {
        ASSERT_NE(RtuStatisticsOf(statistics, rtu), nullptr) << rtu;
    }
    EXPECT_EQ(statistics.rtu_slots_taken.load(), static_cast<uint32_t>(kStatisticsRtuSlots));
    EXPECT_EQ(RtuStatisticsOf(statistics, 40000), nullptr);
    EXPECT_EQ(FindRtuStatistics(statistics, 40000), nullptr);
    EXPECT_EQ(FindRtuStatistics(statistics, 1000), RtuStatisticsOf(statistics, 1000));

    ASSERT_TRUE(StartStatistics(kDriver));
    EXPECT_EQ(StatisticsOf(kDriver), &statistics) << "the block stays for the process";
    EXPECT_EQ(FindRtuStatistics(statistics, 65535), nullptr);
    RtuStatistics* again = RtuStatisticsOf(statistics, 40000);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(RtuStatisticValue(*again, StatValues, 0), 0u);
    EXPECT_FALSE(RtuStatisticValue(*again, StatAge, 0)) << "no value since the start";
}

TEST(GatewayStatisticsTest, TimesAndAverages) {
    ASSERT_TRUE(StartStatistics(kDriver));
    GatewayStatistics& gateway = StatisticsOf(kDriver)->gateways[0];
    EXPECT_FALSE(GatewayStatisticValue(gateway, StatSilent, 5000)) << "nothing arrived yet";
    EXPECT_EQ(GatewayStatisticValue(gateway, StatUp, 5000), 0u) << "down";
    EXPECT_EQ(GatewayStatisticValue(gateway, StatRttAvg, 5000), 0u) << "no reply timed";
    gateway.last_message_ms.store(4000);
    gateway.up_since_ms.store(2000);
    gateway.reply_time_sum_ms.store(30);
    gateway.replies_timed.store(4);
    EXPECT_EQ(GatewayStatisticValue(gateway, StatSilent, 5000), 1000u);
    EXPECT_EQ(GatewayStatisticValue(gateway, StatUp, 5999), 3u);
    EXPECT_EQ(GatewayStatisticValue(gateway, StatRttAvg, 5000), 7u);
    EXPECT_EQ(GatewayStatisticValue(gateway, StatSilent, 3000), 0u) << "never below 0";
}

}  // namespace
}  // namespace krogw
