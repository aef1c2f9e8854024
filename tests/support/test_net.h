// Each test program works on a loopback block of its own, 127.N.0.0/16, so that test
// runs on one machine (two build trees, a second work tree) never meet on the
// protocol's fixed port. The block is leased by listening on 127.N.255.254:5001 for as
// long as the lease lives; a launcher that leased one for a script hands it on in the
// environment variable KROGW_TEST_NET.
#pragma once

#include <cstdint>
#include <string>

namespace krogw::test {

constexpr const char* kTestNetVariable = "KROGW_TEST_NET";

// The second octet of this program's block: the one handed on, else one leased on
// first use for the life of the program. Throws when every block is taken.
int TestNet();

// "127.N.third.fourth" in this program's block; the text lives as long as the program.
const char* TestAddress(int third, int fourth);

// A block held until the lease is destroyed.
class TestNetLease {
  public:
    TestNetLease();
    ~TestNetLease();
    TestNetLease(const TestNetLease&) = delete;
    TestNetLease& operator=(const TestNetLease&) = delete;

    // 0 when no block could be leased; then why() says what the last attempt met.
    int net() const { return net_; }
    const std::string& why() const { return why_; }
    // The listening socket that holds the block.
    intptr_t handle() const { return handle_; }

  private:
    int net_ = 0;
    intptr_t handle_ = -1;
    std::string why_;
};

}  // namespace krogw::test
