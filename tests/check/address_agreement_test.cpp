// One corpus of address texts, judged by the driver through KroMain (codes 3 and 4, as
// a host defining the gates one after the other) and by krogw-check on a list of the
// same texts: both must accept and reject the same ones.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "check_run.h"
#include "tests/address/address_fixture.h"

namespace krogw {
namespace {

namespace fs = std::filesystem;

struct CorpusEntry {
    std::string text;
    std::optional<int32_t> element_count;  // set: an array gate
};

// Every text as a list line can carry it: not empty, no tab, not beginning with "#".
// A single text of a whole array form, a blank and a number (S00001C0 5) is read as an
// array; the driver refuses such a text anyway.
const std::vector<CorpusEntry>& Corpus() {
    static const std::vector<CorpusEntry> corpus = [] {
        const char* const singles[] = {
            // Table elements: the form, its limits, a time stamp column, duplicates.
            "00001005010103",
            "00001005010100",
            "65535128052497",
            "00001005010103",
            "00001005050103",
            "00001005020103",
            "00000005010103",
            "65536005010103",
            "70000005010103",
            "00001129010103",
            "00001005010108",
            "00001005012503",
            "00001005030101",
            "00001005030100",
            "00001005090001",
            "0000100501010",
            "00001005010203  ",
            "00001005010202   ",
            "00001 005010001",
            "00001005010205X",
            " 00001005010206",
            "00001005010103XYZ",
            "0000100501020 7",
            // Polls.
            "P000010050101020",
            "C000010050101020",
            "p655351280124999",
            "P000010050201020",
            "P000010050125001",
            "P00001005010102",
            "P000010050101020X",
            "P00001 050101020",
            "P000001290101020",
            // Gateway, RTU state and driver gates.
            "!1",
            "!2",
            "!3",
            "!1.UP",
            "!2.UP",
            "!1.CONNFAIL",
            "!1.NOPE",
            "!1.UPX",
            "!1.AGE",
            "!1.up",
            "!1. UP",
            "!3.UP",
            "!00001.AGE",
            "!00000.AGE",
            "!65535.WRLOST",
            "!70000.AGE",
            "!00001.AGEX",
            "!00001.UP",
            "!00001.AGE X",
            "!0001.AGE",
            "!1 ",
            "!1X",
            "!1 5",
            "!00001",
            "!65535",
            "!65536",
            "!70000",
            "!00000",
            "!00012C3",
            "!00001 5",
            "!0001 5",
            "!ERROR",
            "!ERR",
            "!error",
            "!PO",
            "!POLL",
            "!POLL   ",
            "!CMD",
            "!BACKUP",
            "!bar",
            "!ERRORS",
            "! ERROR",
            // RTU clock and channel status.
            "T00001",
            "t65535",
            "T00000",
            "T00001 5",
            "T0001",
            "S00001C5",
            "S00001C6",
            "S00001",
            "S00001C",
            "S00000C1",
            "s00001c0",
            "S00001 3",
            "S00001C 5",
            "S00001C0 ",
            // SetCall.
            "SETCALL.EXE",
            "setcall.exe",
            "setcall.qre",
            "SETCALL.ST",
            "SETCALL.EX",
            "SETCALL.SDE",
            "SETCALL.RTU ",
            "SETCALL.EXE     ",
            "SETCALL.EXE      ",
            " SETCALL.EXE",
            "SETCALL .EXE",
            // No form at all.
            "X",
            "~",
            "????????????????",
            "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX",
        };
        const std::pair<const char*, int32_t> arrays[] = {
            {"S00001C0", 5},         {"S00001C0", 4},
            {"S00001C0", 6},         {"S00001C1", 5},
            {"s00001c0 ", 5},        {"00001005010103", 1},
            {"00001005010103", 250}, {"00001005010103", 251},
            {"00001005010103", 0},   {"00001005010103", -1},
            {"00001005010103 ", 10}, {"00001 005010001", 5},
            {"00001005090001", 5},   {"!1", 1},
            {"T00001", 5},           {"P000010050101020", 1},
            {"SETCALL.EXE", 1},      {"!00001 5", 5},
        };
        std::vector<CorpusEntry> entries;
        for (const char* text : singles) {
            entries.push_back({text, std::nullopt});
        }
        for (const auto& [text, element_count] : arrays) {
            entries.push_back({text, element_count});
        }
        return entries;
    }();
    return corpus;
}

// The configurations the corpus runs against: the secondary gateway and the duplicate
// test change verdicts.
const char* const kConfigurations[] = {
    kAddressTestConfig.data(),
    "PRIMARY=10.1.1.5\nSECONDARY=10.1.1.6\nPARSE=NO\n1=1,2,3,2,0\n3=1,4,1,0\n",
};

class AddressAgreementTest : public AddressFixture {
  protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() / ("krogw-agreement-" + std::to_string(::getpid()));
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    // The driver's verdict on each entry, the accepted ones defined as gates.
    std::vector<bool> DriverVerdicts(const std::string& configuration) {
        Configure(configuration);
        std::vector<bool> accepted;
        int32_t next_gate_id = 1;
        for (const CorpusEntry& entry : Corpus()) {
            const CheckOutcome outcome =
                entry.element_count
                    ? CheckArray(entry.text.c_str(), *entry.element_count, next_gate_id)
                    : Check(entry.text.c_str(), next_gate_id);
            accepted.push_back(outcome.result == kResultDone);
            if (accepted.back()) {
                next_gate_id = hostsim::DefineGate(1, outcome.words) + 1;
            }
        }
        return accepted;
    }

    // The checker's verdict on each entry: a rejection is an error on its line.
    std::vector<bool> CheckerVerdicts(const std::string& configuration, int& accepted_count) {
        const fs::path config = directory_ / "kroGW01.int";
        const fs::path list = directory_ / "addresses.txt";
        std::ofstream(config, std::ios::binary) << configuration;
        std::ofstream lines(list, std::ios::binary);
        for (const CorpusEntry& entry : Corpus()) {
            lines << entry.text;
            if (entry.element_count) {
                lines << '\t' << *entry.element_count;
            }
            lines << '\n';
        }
        lines.close();
        const CheckRun run = RunCheck(config.string() + " " + list.string());
        std::vector<bool> accepted;
        accepted_count = 0;
        for (size_t line = 1; line <= Corpus().size(); ++line) {
            const std::string rejection =
                list.string() + ":" + std::to_string(line) + ": error: address ";
            accepted.push_back(run.output.find(rejection) == std::string::npos);
            accepted_count += accepted.back() ? 1 : 0;
        }
        const std::string totals = "addresses checked: " + std::to_string(Corpus().size()) +
                                   ", accepted: " + std::to_string(accepted_count);
        EXPECT_NE(run.output.find(totals), std::string::npos) << run.output;
        return accepted;
    }

    fs::path directory_;
};

TEST_F(AddressAgreementTest, CheckerAndDriverGiveTheSameVerdicts) {
    for (const char* configuration : kConfigurations) {
        SCOPED_TRACE(configuration);
        const std::vector<bool> driver = DriverVerdicts(configuration);
        int accepted_count = 0;
        const std::vector<bool> checker = CheckerVerdicts(configuration, accepted_count);
        for (size_t at = 0; at < Corpus().size(); ++at) {
            const CorpusEntry& entry = Corpus()[at];
            EXPECT_EQ(checker[at], driver[at])
                << "'" << entry.text << "'"
                << (entry.element_count ? " as an array of " + std::to_string(*entry.element_count)
                                        : "")
                << " on list line " << at + 1 << ": the driver "
                << (driver[at] ? "accepts" : "rejects");
        }
        EXPECT_GT(accepted_count, 20);
        EXPECT_LT(accepted_count, static_cast<int>(Corpus().size()) - 20);
    }
}

}  // namespace
}  // namespace krogw
