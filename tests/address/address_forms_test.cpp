// Every address form: what the templates let through and the words it decodes into.
#include <string>
#include <vector>

#include "address/address_field.h"
#include "address_fixture.h"

namespace krogw {
namespace {

using AddressFormTest = AddressFixture;

struct AcceptedCase {
    const char* text;
    GateKind kind;
    int32_t unit_id;
    uint32_t subaddress;
    int32_t bit_width;
};

TEST_F(AddressFormTest, AcceptedFormsGiveTheirWords) {
    const std::vector<AcceptedCase> cases = {
        {"00001005010103", TableElement, 1, 0x530A, 16},
        {"00001005010100", TableElement, 1, 0x500A, 8},
        {"00001005010102", TableElement, 1, 0x520A, 32},
        {"65535128052497", TableElement, 65535, 0x807F9, 32},
        {"P000010050101020", PollRows, 1, 0x05010A14, 32},
        {"C000010050101020", PollNumberedRows, 1, 0x05010A14, 32},
        {"p655351280124999", PollRows, 65535, 0x8001F963, 32},
        {"!1", GatewayStatus, PrimaryGatewayUnit, 0, 32},
        {"!00001", RtuStatus, RtuSpecialUnit, 1, 32},
        {"!65535", RtuStatus, RtuSpecialUnit, 65535, 32},
        {"!00012C3", RtuStatus, RtuSpecialUnit, 12, 32},  // positions 6 and 7 are not read
        {"!ERROR", LastError, DriverSpecialUnit, 0, 32},
        {"!ERR", LastError, DriverSpecialUnit, 0, 32},
        {"!POLL", PollLoad, DriverSpecialUnit, 0, 32},
        {"!CMD", CommandLoad, DriverSpecialUnit, 0, 32},
        {"!BACKUP", ActiveGateway, DriverSpecialUnit, 0, 32},
        {"!bar", ActiveGateway, DriverSpecialUnit, 0, 32},  // position 1 alone chooses
        {"T00001", RtuTime, RtuSpecialUnit, 1, 32},
        {"t65535", RtuTime, RtuSpecialUnit, 65535, 32},
        {"S00001C5", RtuChannelStatus, 1, 5, 16},
        {"S00001C", RtuChannelStatus, 1, 0, 16},
        {"S65535C0", RtuChannelStatus, 65535, 0, 16},
        {"setcall.exe", SetCallExecute, 0, 0, 32},
        {"SETCALL.RTU", SetCallRtu, 0, 0, 32},
        {"setcall.qre", SetCallQr, 0, 0, 32},
        {"SETCALL.QD", SetCallQd, 0, 0, 32},
        {"SETCALL.QC", SetCallQc, 0, 0, 32},
        {"SETCALL.SR", SetCallSr, 0, 0, 32},
        {"SETCALL.SD", SetCallSd, 0, 0, 32},
        {"SETCALL.SDE", SetCallSd, 0, 0, 32},
    };
    for (const AcceptedCase& c : cases) {
        SCOPED_TRACE(c.text);
        const CheckOutcome outcome = Check(c.text);
        ASSERT_EQ(outcome.result, kResultDone);
        EXPECT_EQ(outcome.words.kind, c.kind);
        EXPECT_EQ(outcome.words.unit_id, c.unit_id);
        EXPECT_EQ(static_cast<uint32_t>(outcome.words.subaddress), c.subaddress);
        EXPECT_EQ(outcome.words.fixed_word, 255);
        EXPECT_EQ(outcome.words.bit_width, c.bit_width);
    }
    EXPECT_TRUE(hostsim::LogLines().empty());
}

TEST_F(AddressFormTest, RejectedAddressesAreSilent) {
    const std::vector<std::string> cases = {
        "",
        "   ",
        "X",
        "SETCALL.ST",
        "SETCALL.EX",
        "!PO",
        "!3",
        "!2",
        "!1X",
        "!00000",
        "T00000",
        "S00000C1",
        "T65536",
        "!65536",
        "!70000",
        "S00001C6",
        "S00001",
        "S00001X1",
        "00001005010108",    // column 8: the template admits it, the column test does not
        "00000005010103",    // RTU 0
        "70000005010103",    // fails the template
        "00001129010103",    // table 129
        "00001005020100",    // table type without columns
        "00001005070100",    // table type not declared
        "00001005012500",    // row 250
        "00001005030101",    // a time stamp column holds no gate value
        "00001005010104",    // past the last column
        "00001005010103 X",  // position 15 must be blank
        "P000010050201020",  // poll on a table type without columns
        "P000011290101020",
        "P000010050125000",
        "P000000050101020",
        "P00001005010102",
        std::string("\xE1") + "0001005010103",
        "0000100501010\x83",
        "P0000100501010200",  // longer than the sixteen positions
        std::string(5000, '0'),
    };
    for (const std::string& text : cases) {
        EXPECT_EQ(Check(text.c_str()).result, kResultNotDone) << '"' << text << '"';
    }
    EXPECT_TRUE(hostsim::LogLines().empty());
}

TEST_F(AddressFormTest, SecondaryGatewayStatusNeedsASecondary) {
    EXPECT_EQ(Check("!2").result, kResultNotDone);
    Configure(std::string(kAddressTestConfig) + "SECONDARY=10.1.1.6\n");
    const CheckOutcome outcome = Check("!2");
    EXPECT_EQ(outcome.result, kResultDone);
    EXPECT_EQ(outcome.words.kind, GatewayStatus);
    EXPECT_EQ(outcome.words.unit_id, SecondaryGatewayUnit);
}

TEST_F(AddressFormTest, NoAddressTextIsRejected) {
    EXPECT_EQ(Check(nullptr).result, kResultNotDone);
}

TEST_F(AddressFormTest, TableTypeIsNotedForTheGateUpToTheColumnTest) {
    ASSERT_EQ(Check("00001005010103", 0x12345).result, kResultDone);
    EXPECT_EQ(context_->gate_table_type[0x2345], 1) << "indexed by the low 16 bits";
    // Noted before the column and row tests, so a rejection there still notes it.
    EXPECT_EQ(Check("00001005050108", 0x2345).result, kResultNotDone);
    EXPECT_EQ(context_->gate_table_type[0x2345], 5);
    // Not noted when the table type itself fails.
    EXPECT_EQ(Check("00001005020100", 0x2345).result, kResultNotDone);
    EXPECT_EQ(context_->gate_table_type[0x2345], 5);
}

TEST(NormalizeAddressTest, UpperCasesAndFillsWithBlanks) {
    AddressField field;
    ASSERT_TRUE(NormalizeAddress("az{|}~\x7F@`\x80", field));
    EXPECT_EQ(std::string(field.text), std::string("AZ[\\]^_@`\x80      "));
    ASSERT_TRUE(NormalizeAddress("", field));
    EXPECT_EQ(std::string(field.text), std::string(16, ' '));
    ASSERT_TRUE(NormalizeAddress("0123456789abcdef", field));
    EXPECT_EQ(std::string(field.text), "0123456789ABCDEF");
    EXPECT_FALSE(NormalizeAddress("0123456789abcdefg", field));
}

}  // namespace
}  // namespace krogw
