// Scenario files: the sample loads into a working gateway, bad lines name their fault.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/gwsim/gw_client.h"
#include "tests/support/test_net.h"
#include "tools/gwsim/gwsim.h"

namespace gwsim::test {
namespace {

using namespace std::chrono_literals;

TEST(GwsimScenario, SampleFileLoadsTablesValuesStampsAndBursts) {
    const Scenario scenario = LoadScenarioFile(GWSIM_SAMPLES_DIR "/three_rtus.scn");
    const TableModel& model = scenario.model;
    EXPECT_EQ(model.rtus().size(), 3u);
    EXPECT_FALSE(model.GetRtu(3).online);
    EXPECT_EQ(model.Value(1, 5, 0, 1), 1234u);
    EXPECT_EQ(model.Value(1, 5, 0, 2), 0x12345678u);
    EXPECT_EQ(model.Value(1, 5, 9, 0), 1u);
    EXPECT_EQ(model.GetTable(1, 6).stamps[0], (TimeStamp{2004, 11, 7, 14, 30, 45, 500}));
    EXPECT_EQ(model.GetTable(2, 7).layout.columns, (std::vector<uint8_t>{1, 1, 1}));
    EXPECT_EQ(model.GetRtu(1).channel_status.values[0], 1);
    ASSERT_EQ(scenario.bursts.size(), 2u);
    EXPECT_EQ(scenario.bursts[0].period, 2000ms);
    ASSERT_EQ(scenario.bursts[0].report.size(), 1u);
    EXPECT_EQ(scenario.bursts[0].report[0].rows.size(), 5u);  // table 5 rows 0-3, table 6 row 0
    EXPECT_EQ(scenario.bursts[0].report[0].rows[4].table, 6);
    EXPECT_EQ(scenario.status_word, 1u);

    Gateway gw(krogw::test::TestAddress(51, 1));
    gw.LoadScenario(scenario);
    gw.Start();
    GwClient client(krogw::test::TestAddress(51, 1));
    const uint16_t id = client.OpenChannel(kBurstChannelType);
    const auto poll = client.Exchange(Message(krogw::kOpPoll, id, RangeBody(1, 5, 0, 1, 0, 3), 1));
    ASSERT_TRUE(poll);
    EXPECT_EQ(Tail(*poll, 52), (Bytes{0x80, 0x04, 0xD2, 0x12, 0x34, 0x56, 0x78}));
}

TEST(GwsimScenario, BadLinesAreRefusedWithTheirLineAndReason) {
    const std::string preamble =
        "# a comment line\n"
        "tabletype 1 = 1,2,3,0\n"
        "table rtu=1 table=5 type=1 rows=10   # trailing comment\n";
    struct Case {
        const char* line;
        const char* reason;
    };
    const Case cases[] = {
        {"tabletype 2 = 1,2,3", "does not end with 0"},
        {"tabletype 2 = 1,7,0", "element type 7 is not 1 to 5"},
        {"tabletype 2 = 1,4,0", "needs 3 columns"},
        {"tabletype 100 = 1,0", "table type '100' is not a number from 0 to 99"},
        {"tabletype 2", "tabletype needs NUMBER=TYPES,0"},
        {"table rtu=1 table=6 type=9 rows=3", "table type 9 is not defined"},
        {"table rtu=1 table=6 type=1", "table needs rows="},
        {"table rtu=1 table=6 type=1 rows=3 colour=red", "unknown key 'colour' for table"},
        {"table rtu=0 table=6 type=1 rows=3", "RTU '0' is not a number from 1 to 65535"},
        {"set rtu=1 table=5 row=0 col=1 value=x", "value 'x' is not a number"},
        {"set rtu=1 table=5 row=10 col=1 value=1", "row 10 column 1 is outside the table"},
        {"set rtu=1 table=5 row=3-1 col=1 value=1", "runs backwards"},
        {"set rtu=1 table=5 row=0 row=1 col=1 value=1", "key 'row' given twice"},
        {"set rtu=2 table=5 row=0 col=1 value=1", "RTU 2 table 5 is not defined"},
        {"stamp rtu=1 table=5 row=0 time=2004-11-07T14:30:45", "carries no time stamps"},
        {"rtu 4 sideways", "'sideways' is neither online nor offline"},
        {"burst every=100 rtu=1 rows=0", "burst rows= comes before table="},
        {"burst rtu=1 table=5 rows=0", "burst needs every="},
        {"burst every=100 rtu=1 table=5 rows=12", "burst row 12 is outside RTU 1 table 5"},
        {"channelstatus rtu=1 values=1,2", "values needs 3 values"},
        {"stop at=100", "stop needs for="},
        {"stop at=100 for=0", "for '0' is not a number from 1"},
        {"stop at=100 for=50 gateway=3", "gateway '3' is not a number from 1 to 2"},
        {"frobnicate", "unknown statement 'frobnicate'"},
        {"fault", "fault needs a kind"},
        {"fault jam", "unknown fault 'jam'"},
        {"fault delay type=257", "fault delay needs ms="},
        {"fault drop ms=5", "unknown key 'ms' for fault drop"},
        {"fault byte offset=38 value=256", "value '256' is not a number from 0 to 255"},
        {"fault split bytes=0 pause=5", "bytes '0' is not a number from 1"},
        {"fault result code=3 times=0", "times '0' is not a number from 1"},
        {"fault unknown at=100", "fault unknown needs opcode="},
        {"fault refuse at=100", "fault refuse needs for="},
        {"fault disconnect at=100 gateway=3", "gateway '3' is not a number from 1 to 2"},
    };
    for (const Case& c : cases) {
        std::istringstream file(preamble + c.line + "\n");
        try {
            ParseScenario(file);
            ADD_FAILURE() << "accepted: " << c.line;
        } catch (const ScenarioError& error) {
            EXPECT_EQ(error.line(), 4) << c.line;
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos)
                << c.line << " -> " << error.what();
            EXPECT_EQ(std::string(error.what()).rfind("line 4: ", 0), 0u) << error.what();
        }
    }
}

TEST(GwsimScenario, StampTimesNeedTheWholeFormat) {
    const std::string preamble = "tabletype 2 = 2,4,1,0\ntable rtu=1 table=6 type=2 rows=2\n";
    for (const char* time : {"2004-11-07", "2004-11-07T14:30:45.", "2004-11-07T14:30:45x",
                             "1969-11-07T14:30:45", "2004-13-07T14:30:45"}) {
        std::istringstream file(preamble + "stamp rtu=1 table=6 row=0 time=" + time + "\n");
        EXPECT_THROW(ParseScenario(file), ScenarioError) << time;
    }
    std::istringstream good(preamble + "stamp rtu=1 table=6 row=0-1 time=2069-01-02T03:04:05\n");
    EXPECT_EQ(ParseScenario(good).model.GetTable(1, 6).stamps[1],
              (TimeStamp{2069, 1, 2, 3, 4, 5, 0}));
}

TEST(GwsimScenario, OverlappingStopsOfAGatewayJoinAndOthersStayApart) {
    std::istringstream file(
        "stop at=1000 for=2000\n"
        "stop gateway=1 at=1500 for=500   # inside the first: no start at 2000\n"
        "stop gateway=2 at=2500 for=1000\n");
    const std::vector<ScheduledStop> stops = ParseScenario(file).stops;
    ASSERT_EQ(stops.size(), 3u);
    struct Moment {
        int ms;
        bool first_stopped;
        bool second_stopped;
        int next_change_ms;
    };
    for (const Moment m : {Moment{0, false, false, 1000}, Moment{1000, true, false, 1500},
                           Moment{2000, true, false, 2500}, Moment{2999, true, true, 3000},
                           Moment{3000, false, true, 3500}}) {
        const std::chrono::milliseconds at(m.ms);
        EXPECT_EQ(IsStoppedAt(stops, 1, at), m.first_stopped) << m.ms;
        EXPECT_EQ(IsStoppedAt(stops, 2, at), m.second_stopped) << m.ms;
        EXPECT_EQ(NextStopChange(stops, at), std::chrono::milliseconds(m.next_change_ms)) << m.ms;
    }
    EXPECT_FALSE(NextStopChange(stops, 3500ms));
}

TEST(GwsimScenario, FaultStatementsSetTheirRulesOnEveryGatewayLoadingThem) {
    std::istringstream file(
        "fault delay type=258 ms=500\n"
        "fault drop type=9 times=2\n"
        "fault reset type=7\n"
        "fault result type=0x101 code=129 times=1\n"
        "fault status type=257 value=0x1000001\n"
        "fault split type=1 bytes=10 pause=30\n"
        "fault byte type=1 offset=38 value=5 times=1\n"
        "fault slowaccept ms=300\n");
    const Scenario scenario = ParseScenario(file);
    for (const char* address : {krogw::test::TestAddress(51, 2), krogw::test::TestAddress(51, 3)}) {
        Gateway gw(address);  // never started: only its rules are looked at
        gw.LoadScenario(scenario);
        Faults& faults = gw.faults();
        EXPECT_EQ(faults.PlanFor(258).delay_ms, 500);
        EXPECT_TRUE(faults.PlanFor(9).drop);
        EXPECT_TRUE(faults.PlanFor(9).drop);
        EXPECT_FALSE(faults.PlanFor(9).drop) << "times=2 used up";
        EXPECT_TRUE(faults.PlanFor(7).reset);
        const OutgoingPlan poll = faults.PlanFor(257);
        EXPECT_EQ(poll.result_code, 129u);
        EXPECT_EQ(poll.status, 0x1000001u);
        EXPECT_FALSE(faults.PlanFor(257).result_code) << "times=1 used up";
        const OutgoingPlan open = faults.PlanFor(1);
        EXPECT_EQ(open.piece_bytes, 10u);
        EXPECT_EQ(open.piece_pause_ms, 30);
        EXPECT_EQ(open.byte_override, (std::pair<size_t, uint8_t>{38, 5}));
        EXPECT_FALSE(faults.PlanFor(258).drop) << "rules stay with their type";
        EXPECT_EQ(faults.accept_delay_ms(), 300);
    }
}

TEST(GwsimScenario, TimedFaultsComeInTheOrderOfTheirMoments) {
    std::istringstream file(
        "fault refuse at=2000 for=500 gateway=2\n"
        "fault unknown opcode=0x999 at=1000\n"
        "fault disconnect at=0\n");
    const std::vector<ScheduledFault> timed = ParseScenario(file).timed;
    using What = ScheduledFault::What;
    ASSERT_EQ(timed.size(), 4u);
    EXPECT_EQ(timed[0].what, What::kDisconnect);
    EXPECT_EQ(timed[1].what, What::kUnknownMessage);
    EXPECT_EQ(timed[1].opcode, 0x999u);
    EXPECT_EQ(timed[1].gateway, 1);
    EXPECT_EQ(timed[2].what, What::kRefuse);
    EXPECT_EQ(timed[2].at, 2000ms);
    EXPECT_EQ(timed[2].gateway, 2);
    EXPECT_EQ(timed[3].what, What::kAccept);
    EXPECT_EQ(timed[3].at, 2500ms);
    EXPECT_EQ(timed[3].gateway, 2);
}

TEST(GwsimScenario, MissingFileIsReported) {
    EXPECT_THROW(LoadScenarioFile("/nonexistent/scenario.scn"), ScenarioError);
}

}  // namespace
}  // namespace gwsim::test
