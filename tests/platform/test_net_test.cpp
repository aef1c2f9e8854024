// The loopback blocks that keep test runs apart, and the line a test gives when an
// address it needs is held by another program.
#include <gmock/gmock.h>

#include <stdexcept>
#include <string>

#include "tests/support/loopback_listener.h"
#include "tests/support/raw_socket.h"
#include "tests/support/test_net.h"

namespace krogw::test {
namespace {

using ::testing::StartsWith;

TEST(TestNetTest, LeasesNeverShareABlock) {
    const int own = TestNet();
    const TestNetLease first;
    const TestNetLease second;
    ASSERT_NE(first.net(), 0) << first.why();
    ASSERT_NE(second.net(), 0) << second.why();
    EXPECT_NE(first.net(), second.net());
    EXPECT_NE(first.net(), own);
    EXPECT_NE(second.net(), own);
    EXPECT_EQ(std::string(TestAddress(7, 9)), "127." + std::to_string(own) + ".7.9");
}

TEST(TestNetTest, AnAddressHeldElsewhereSaysWhichAndWhy) {
    const std::string address = TestAddress(200, 1);
    std::string why;
    const intptr_t holder = ListenOn(address.c_str(), 5001, false, why);
    ASSERT_GE(holder, 0) << why;
    try {
        LoopbackListener listener(address.c_str(), 5001);
        ADD_FAILURE() << "a second listener took " << address << ":5001";
    } catch (const std::runtime_error& failure) {
        const std::string line = failure.what();
        EXPECT_THAT(line, StartsWith("cannot listen on " + address + ":5001: "));
        EXPECT_GT(line.size(), std::string("cannot listen on " + address + ":5001: ").size());
    }
    CloseRaw(holder);
    EXPECT_NO_THROW(LoopbackListener(address.c_str(), 5001)) << "free again once let go";
}

}  // namespace
}  // namespace krogw::test
