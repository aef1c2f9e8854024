// krogw-test-net COMMAND [ARGUMENT ...]: runs a test script in a loopback block of its
// own (see test_net.h), handed on in KROGW_TEST_NET. The script replaces this program
// and inherits the lease, so the block stays taken while the script or anything it
// started in the background still runs.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/test_net.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: krogw-test-net COMMAND [ARGUMENT ...]\n");
        return 2;
    }
    krogw::test::TestNetLease lease;
    if (lease.net() == 0) {
        std::fprintf(stderr, "FAILED: no loopback block 127.N.0.0/16 is free for %s (%s)\n",
                     argv[1], lease.why().c_str());
        return 1;
    }
    setenv(krogw::test::kTestNetVariable, std::to_string(lease.net()).c_str(), 1);
    fcntl(static_cast<int>(lease.handle()), F_SETFD, 0);
    execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    return 127;
}
