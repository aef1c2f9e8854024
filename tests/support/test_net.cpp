#include "tests/support/test_net.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>

#include "platform/platform.h"
#include "tests/support/raw_socket.h"

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#endif

namespace krogw::test {
namespace {

constexpr int kBlocks = 254;  // 127.1 to 127.254; 127.0 is left to people and demos
constexpr uint16_t kLeasePort = 5001;

// Dotted text of 127.net.third.fourth (built with snprintf: GCC 12 warns falsely on
// concatenated short strings at -O3).
std::string Dotted(int net, int third, int fourth) {
    char text[16];
    std::snprintf(text, sizeof text, "127.%d.%d.%d", net & 0xFF, third & 0xFF, fourth & 0xFF);
    return text;
}

// A block handed on by a launcher, or 0.
int HandedOnNet() {
    const char* text = std::getenv(kTestNetVariable);
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    char* end = nullptr;
    const long net = std::strtol(text, &end, 10);
    if (*end != '\0' || net < 1 || net > kBlocks) {
        throw std::runtime_error(std::string(kTestNetVariable) + "=" + text +
                                 " is not a loopback block 1 to 254");
    }
    return static_cast<int>(net);
}

int LeasedNet() {
    static const TestNetLease lease;  // held until the program ends
    if (lease.net() == 0) {
        throw std::runtime_error("no loopback block 127.N.0.0/16 is free for this test program (" +
                                 lease.why() + ")");
    }
    return lease.net();
}

}  // namespace

TestNetLease::TestNetLease() {
    PlatformNetStart();
    // Programs started together begin at different blocks, so that few meet at all.
    const int first = static_cast<int>(getpid() % kBlocks);
    for (int step = 0; step < kBlocks; ++step) {
        const int net = 1 + (first + step) % kBlocks;
        const std::string address = Dotted(net, 255, 254);
        std::string why;
        handle_ = ListenOn(address.c_str(), kLeasePort, false, why);
        if (handle_ >= 0) {
            net_ = net;
            return;
        }
        why_ = address;
        why_.append(":").append(std::to_string(kLeasePort)).append(": ").append(why);
    }
}

TestNetLease::~TestNetLease() {
    if (handle_ >= 0) {
        CloseRaw(handle_);
    }
}

int TestNet() {
    static const int net = [] {
        const int handed_on = HandedOnNet();
        return handed_on != 0 ? handed_on : LeasedNet();
    }();
    return net;
}

const char* TestAddress(int third, int fourth) {
    static std::mutex mutex;
    static std::map<int, std::string> texts;
    const int net = TestNet();
    const std::lock_guard lock(mutex);
    std::string& text = texts[third * 256 + fourth];
    if (text.empty()) {
        text = Dotted(net, third, fourth);
    }
    return text.c_str();
}

}  // namespace krogw::test
