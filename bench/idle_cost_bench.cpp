// The cost of an idle instance: connected to a simulated gateway that sends nothing
// unasked, no polls, no writes. The gateway runs in a child process, so that the CPU
// time of this process while its main thread sleeps is the driver's threads' and the
// host runtime's they call. Prints the share of one core over the measured time.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/instance_host.h"
#include "tools/gwsim/gwsim.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kAddress = "127.0.140.3";

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Serves until the parent closes its end of the pipe; tells it once listening.
[[noreturn]] void ServeGateway(int ready, int stop) {
    gwsim::Gateway gateway(kAddress);
    gateway.DefineTableType(1, gwsim::ParseTableType("3,3,0"));
    gateway.DefineTable(7, 5, 1, 4);
    gateway.Start();
    const char mark = 1;
    const bool told = write(ready, &mark, 1) == 1;
    char byte;
    while (told && read(stop, &byte, 1) > 0) {
    }
    gateway.Stop();
    std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: idle_cost_bench [SECONDS > 0]\n");
        return 2;
    }
    int ready[2];
    int stop[2];
    if (pipe(ready) != 0 || pipe(stop) != 0) {
        return 1;
    }
    const pid_t child = fork();
    if (child < 0) {
        return 1;
    }
    if (child == 0) {
        close(ready[0]);
        close(stop[1]);
        ServeGateway(ready[1], stop[0]);
    }
    close(ready[1]);
    close(stop[0]);
    char mark = 0;
    if (read(ready[0], &mark, 1) != 1) {
        std::fprintf(stderr, "the simulated gateway did not start\n");
        return 1;
    }

    int result = 1;
    {
        bench::RunningInstance instance(
            1, std::string("PRIMARY=") + kAddress + "\n1=3,3,0\nRTU_INITIAL_STATE=ON\n");
        if (!instance.started() || !instance.WaitConnected()) {
            std::fprintf(stderr, "the driver did not connect to %s\n", kAddress);
        } else {
            std::this_thread::sleep_for(2s);  // start-up's exchanges are over
            const double cpu_before = ProcessCpuSeconds();
            const auto wall_before = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            const double wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before)
                    .count();
            const double cpu = ProcessCpuSeconds() - cpu_before;
            std::printf("idle instance: %.3f CPU s in %.1f s, %.3f%% of one core\n", cpu, wall,
                        cpu / wall * 100);
            result = 0;
        }
    }
    close(stop[1]);
    waitpid(child, nullptr, 0);
    return result;
}
