// The one reading of gateway address texts that both platforms share.
#include <gtest/gtest.h>

#include "platform/ipv4_text.h"

namespace krogw {
namespace {

TEST(Ipv4TextTest, OnlyStrictDottedDecimalIsAccepted) {
    const struct {
        const char* text;
        uint32_t address;
    } accepted[] = {
        {"10.0.0.1", 0x0A000001},
        {"0.0.0.0", 0},
        {"255.255.255.255", 0xFFFFFFFF},
        {"192.168.100.10", 0xC0A8640A},
    };
    for (const auto& c : accepted) {
        uint32_t address = 0x12345678;
        EXPECT_TRUE(ParseIpv4Text(c.text, &address)) << c.text;
        EXPECT_EQ(address, c.address) << c.text;
    }
    const char* const refused[] = {
        "192.168.001.010",  // the C library reads leading zeros as octal
        "10.1",             // and fills short forms in
        "10.1.1",
        "1.2.3.4.5",
        "256.1.1.1",
        "1.2.3.1000",
        " 10.0.0.1",
        "10.0.0.1 ",
        "10.0.0.1x",
        "+10.0.0.1",
        "10..0.1",
        "10.0.0.",
        ".10.0.0.1",
        "0x0A.0.0.1",
        "",
    };
    for (const char* text : refused) {
        uint32_t address = 0x12345678;
        EXPECT_FALSE(ParseIpv4Text(text, &address)) << '"' << text << '"';
        EXPECT_EQ(address, 0x12345678u) << text;
    }
    EXPECT_FALSE(ParseIpv4Text(nullptr, nullptr));
}

}  // namespace
}  // namespace krogw
