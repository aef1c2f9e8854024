// krogw-gwsim: a gateway for trying the driver by hand.
//   krogw-gwsim [--address A] [--port P] [--scenario FILE] [--duration SECONDS]
// Logs every connection, request, reply and burst on stdout; ends on SIGINT or SIGTERM,
// or after the duration.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "tools/gwsim/gwsim.h"

namespace {

struct CommandLine {
    gwsim::Options options;
    std::optional<std::string> scenario;
    std::optional<int> duration_s;
};

const char kUsage[] =
    "usage: krogw-gwsim [--address A] [--port P] [--scenario FILE] [--duration SECONDS]\n";

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
    line.options.address = "0.0.0.0";
    for (int at = 1; at < argc; ++at) {
        const std::string option = argv[at];
        if (at + 1 >= argc) {
            throw std::invalid_argument(option + " needs a value");
        }
        const std::string value = argv[++at];
        if (option == "--address") {
            line.options.address = value;
        } else if (option == "--port") {
            line.options.port = static_cast<uint16_t>(Number(value, 1, 65535, "port"));
        } else if (option == "--scenario") {
            line.scenario = value;
        } else if (option == "--duration") {
            line.duration_s = Number(value, 1, 1000000, "duration");
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    return line;
}

// Lines come from several threads; each gets a time of day and stays whole.
gwsim::LogSink StdoutLog() {
    static std::mutex mutex;
    return [](const std::string& text) {
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
                  << ' ' << text << std::endl;
    };
}

// Waits for SIGINT or SIGTERM, at most the duration; the signals are blocked in every
// thread so that only this wait takes them.
void WaitForEnd(const sigset_t& signals, std::optional<int> duration_s) {
    if (!duration_s) {
        int received = 0;
        sigwait(&signals, &received);
        return;
    }
    const timespec limit{*duration_s, 0};
    sigtimedwait(&signals, nullptr, &limit);
}

}  // namespace

int main(int argc, char** argv) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CommandLine line;
    std::optional<gwsim::Scenario> scenario;
    try {
        line = ParseArguments(argc, argv);
        if (line.scenario) {
            scenario = gwsim::LoadScenarioFile(*line.scenario);
        }
    } catch (const std::exception& error) {
        std::cerr << "krogw-gwsim: " << error.what() << '\n' << kUsage;
        return 2;
    }
    line.options.log = StdoutLog();
    try {
        gwsim::Gateway gateway(line.options);
        if (scenario) {
            gateway.LoadScenario(*scenario);
            line.options.log("scenario " + *line.scenario + ": " +
                             std::to_string(scenario->model.rtus().size()) + " RTUs, " +
                             std::to_string(scenario->bursts.size()) + " scheduled bursts");
        }
        gateway.Start();
        WaitForEnd(signals, line.duration_s);
        line.options.log("stopping");
        gateway.Stop();
    } catch (const std::exception& error) {
        std::cerr << "krogw-gwsim: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
