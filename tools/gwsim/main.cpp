// krogw-gwsim: a gateway, or a primary and a secondary, for trying the driver by hand.
//   krogw-gwsim [--address A [--address B]] [--port P] [--scenario FILE] [--duration SECONDS]
//               [--quiet] | --help | --version
// Logs every connection, request, reply and burst on stdout; stops and starts the gateways
// as the scenario's stop statements say; ends on SIGINT or SIGTERM, or after the duration.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "include/krogw/abi.h"
#include "tools/gwsim/gwsim.h"
#include "tools/version_text.h"

namespace {

using Milliseconds = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

struct CommandLine {
    std::vector<std::string> addresses;  // gateway 1, then gateway 2
    uint16_t port = krogw::kGatewayPort;
    std::optional<std::string> scenario;
    std::optional<int> duration_s;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

const char kUsage[] =
    "usage: krogw-gwsim [--address A [--address B]] [--port P] [--scenario FILE]"
    " [--duration SECONDS] [--quiet] | --help | --version\n";

const char kHelp[] =
    "\n"
    "A simulated gateway (RTU NETWORK GateWay for TCP/IP), or a primary and a secondary,\n"
    "for trying the driver without hardware. It answers every request the driver sends,\n"
    "serves RTU tables from the scenario, sends its burst reports, stops and starts as its\n"
    "stop statements say, and commits the faults its fault statements name (see\n"
    "simulator.md). It logs every connection, request, reply and burst on standard output\n"
    "and ends on SIGINT or SIGTERM, or after the duration.\n"
    "\n"
    "  --address A         listen on A (default 0.0.0.0); a second one is the secondary\n"
    "  --port P            the TCP port (default 5001)\n"
    "  --scenario FILE     RTUs, tables, values, bursts, stops and faults\n"
    "  --duration SECONDS  end after this long\n"
    "  --quiet             no traffic lines (connections, messages); faults stay\n"
    "  --help              this text\n"
    "  --version           the version of the kit\n"
    "\n"
    "Exit status: 0 ended, 1 could not serve (the system's reason follows), 2 usage.\n";

int Number(const std::string& text, int min, int max, const char* what) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::logic_error&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < min || value > max) {
        throw std::invalid_argument(std::string(what) + " '" + text + "' is not " +
                                    std::to_string(min) + " to " + std::to_string(max));
    }
    return value;
}

CommandLine ParseArguments(int argc, char** argv) {
    CommandLine line;
    for (int at = 1; at < argc; ++at) {
        const std::string option = argv[at];
        if (option == "--quiet" || option == "--help" || option == "--version") {
            (option == "--quiet"  ? line.quiet
             : option == "--help" ? line.help
                                  : line.version) = true;
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            throw std::invalid_argument("unexpected argument '" + option + "'");
        }
        if (at + 1 >= argc) {
            throw std::invalid_argument(option + " needs a value");
        }
        const std::string value = argv[++at];
        if (option == "--address") {
            line.addresses.push_back(value);
        } else if (option == "--port") {
            line.port = static_cast<uint16_t>(Number(value, 1, 65535, "port"));
        } else if (option == "--scenario") {
            line.scenario = value;
        } else if (option == "--duration") {
            line.duration_s = Number(value, 1, 1000000, "duration");
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    if (line.addresses.size() > 2) {
        throw std::invalid_argument("at most two --address: a primary and a secondary");
    }
    if (line.addresses.empty()) {
        line.addresses.push_back("0.0.0.0");
    }
    return line;
}

// Lines come from several threads; each gets a time of day, the prefix and stays whole.
gwsim::LogSink StdoutLog(const std::string& prefix) {
    static std::mutex mutex;
    return [prefix](const std::string& text) {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const auto millis =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000;
        std::tm local{};
        localtime_r(&seconds, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
        const std::lock_guard lock(mutex);
        std::cout << stamp << '.' << (millis < 100 ? (millis < 10 ? "00" : "0") : "") << millis
                  << ' ' << prefix << text << std::endl;
    };
}

void CommitFault(gwsim::Gateway& gateway, const gwsim::ScheduledFault& fault,
                 const gwsim::LogSink& log) {
    using What = gwsim::ScheduledFault::What;
    switch (fault.what) {
        case What::kDisconnect:
            log("fault: every connection of gateway " + std::to_string(fault.gateway) + " closed");
            gateway.CloseAllConnections();
            return;
        case What::kUnknownMessage: {
            const int sent = gateway.SendUnknownMessage(fault.opcode);
            log("fault: unknown opcode " + std::to_string(fault.opcode) + " sent on " +
                std::to_string(sent) + " burst channels of gateway " +
                std::to_string(fault.gateway));
            return;
        }
        case What::kRefuse:
        case What::kAccept:
            gateway.faults().RefuseConnections(fault.what == What::kRefuse);
            log(std::string("fault: gateway ") + std::to_string(fault.gateway) +
                (fault.what == What::kRefuse ? " refuses" : " accepts") + " connections");
            return;
    }
}

// Stops and starts the gateways as the stop schedule says and commits the timed faults
// until SIGINT or SIGTERM, or the end of the duration; the signals are blocked in every
// thread so that only this wait takes them.
void Run(const std::vector<std::unique_ptr<gwsim::Gateway>>& gateways,
         const gwsim::Scenario& scenario, const sigset_t& signals, std::optional<int> duration_s,
         const gwsim::LogSink& log) {
    const std::vector<gwsim::ScheduledStop>& stops = scenario.stops;
    const auto start = Clock::now();
    const auto end =
        duration_s ? start + std::chrono::seconds(*duration_s) : Clock::time_point::max();
    size_t next_fault = 0;  // the timed faults are in the order of their moments
    while (true) {
        const auto elapsed = std::chrono::duration_cast<Milliseconds>(Clock::now() - start);
        for (; next_fault < scenario.timed.size() && scenario.timed[next_fault].at <= elapsed;
             ++next_fault) {
            const gwsim::ScheduledFault& fault = scenario.timed[next_fault];
            CommitFault(*gateways[static_cast<size_t>(fault.gateway - 1)], fault, log);
        }
        for (size_t at = 0; at < gateways.size(); ++at) {
            const bool stopped = gwsim::IsStoppedAt(stops, static_cast<int>(at) + 1, elapsed);
            if (stopped == gateways[at]->serving()) {
                if (stopped) {
                    gateways[at]->Stop();
                } else {
                    gateways[at]->Start();
                }
            }
        }
        auto change = gwsim::NextStopChange(stops, elapsed);
        if (next_fault < scenario.timed.size() &&
            (!change || scenario.timed[next_fault].at < *change)) {
            change = scenario.timed[next_fault].at;
        }
        const auto wake = change ? std::min(start + *change, end) : end;
        if (wake == Clock::time_point::max()) {
            int received = 0;
            sigwait(&signals, &received);
            return;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::max(wake - Clock::now(), Clock::duration::zero()));
        const timespec limit{static_cast<time_t>(wait.count() / 1000000000),
                             static_cast<long>(wait.count() % 1000000000)};
        if (sigtimedwait(&signals, nullptr, &limit) > 0 || Clock::now() >= end) {
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CommandLine line;
    gwsim::Scenario scenario;
    try {
        line = ParseArguments(argc, argv);
        if (line.help || line.version) {
            std::cout << (line.help ? std::string(kUsage) + kHelp
                                    : KROGW_TOOL_VERSION_TEXT("krogw-gwsim"));
            return 0;
        }
        if (line.scenario) {
            scenario = gwsim::LoadScenarioFile(*line.scenario);
        }
        for (const gwsim::ScheduledStop& stop : scenario.stops) {
            if (stop.gateway > static_cast<int>(line.addresses.size())) {
                throw std::invalid_argument("a stop of gateway " + std::to_string(stop.gateway) +
                                            " needs a second --address");
            }
        }
        for (const gwsim::ScheduledFault& fault : scenario.timed) {
            if (fault.gateway > static_cast<int>(line.addresses.size())) {
                throw std::invalid_argument("a fault of gateway " + std::to_string(fault.gateway) +
                                            " needs a second --address");
            }
        }
    } catch (const std::exception& error) {
        std::cerr << "krogw-gwsim: " << error.what() << '\n' << kUsage;
        return 2;
    }
    const bool two = line.addresses.size() > 1;
    const gwsim::LogSink log = StdoutLog("");
    try {
        std::vector<std::unique_ptr<gwsim::Gateway>> gateways;
        for (size_t at = 0; at < line.addresses.size(); ++at) {
            const std::string prefix = two ? "gw" + std::to_string(at + 1) + " " : "";
            gwsim::Options options{line.addresses[at], line.port, StdoutLog(prefix)};
            options.log_traffic = !line.quiet;  // quiet: faults, failures and state only
            gateways.push_back(std::make_unique<gwsim::Gateway>(std::move(options)));
            gateways.back()->LoadScenario(scenario);
        }
        if (line.scenario) {
            log("scenario " + *line.scenario + ": " + std::to_string(scenario.model.rtus().size()) +
                " RTUs, " + std::to_string(scenario.bursts.size()) + " scheduled bursts, " +
                std::to_string(scenario.stops.size()) + " stops, " +
                std::to_string(scenario.faults.size() + scenario.timed.size()) + " faults");
        }
        Run(gateways, scenario, signals, line.duration_s, log);
        log("stopping");
    } catch (const std::exception& error) {
        std::cerr << "krogw-gwsim: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
