// krogw-host: the console host. Loads the driver library as a host runtime does, runs
// a project's instances and gates through KroMain with the stand-in host runtime as the
// gate database, shows the gates live and takes operator commands on standard input.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "include/krogw/abi.h"
#include "platform/library.h"
#include "platform/terminal.h"
#include "tools/console/commands.h"
#include "tools/console/config_findings.h"
#include "tools/console/cp437.h"
#include "tools/console/driver_library.h"
#include "tools/console/host_instances.h"
#include "tools/console/log_sink.h"
#include "tools/console/project_file.h"
#include "tools/console/scan_loop.h"
#include "tools/console/screen.h"
#include "tools/console/stop_signal.h"
#include "tools/version_text.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: krogw-host [--driver LIBRARY] [--once [--burst-wait SECONDS]] [--duration SECONDS]"
    " [--no-reconnect] [--log FILE [--level N]] [--strict] PROJECT | --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "The console host: loads the driver as a host runtime does, starts the instances of\n"
    "PROJECT, reads its gates every scan, shows them and takes operator commands on\n"
    "standard input (help lists them). Ctrl-C and SIGTERM end it as quit does: the\n"
    "instances' channels are closed first. Every run ends with one line naming what\n"
    "was closed and the run's totals. At start it prints on standard error what\n"
    "krogw-check finds in each instance's configuration file, as FILE:LINE: warning:\n"
    "or error: lines. Every instance starts, is scanned every scan cycle and closes on\n"
    "a thread of its own, so that the driver's pauses towards one gateway (20 ms after\n"
    "each poll, about 0.6 s per gateway at the start) hold back no other instance.\n"
    "\n"
    "  --driver LIBRARY    the driver to load (default: the one installed beside it)\n"
    "  --once              one scan, waiting for the polls' replies, then end\n"
    "  --burst-wait SECONDS  with --once, wait up to this long after the start for table\n"
    "                      gates that burst reports feed (default 5; 0 to 3600)\n"
    "  --duration SECONDS  end after this long\n"
    "  --no-reconnect      leave a gateway that stops answering alone; otherwise it is\n"
    "                      reconnected after 1, 2, 4 ... up to 60 s\n"
    "  --log FILE          the driver's log lines into FILE\n"
    "  --level N           only log lines of level N and above (with --log)\n"
    "  --strict            any configuration finding ends it with 2, nothing started\n"
    "  --help              this text\n"
    "  --version           the version of the kit\n"
    "\n"
    "Exit status: 0 ended (by quit, the duration, Ctrl-C or SIGTERM), 1 the driver or an\n"
    "instance could not start, 2 usage, a faulty project or, with --strict, a\n"
    "configuration finding, 3 after --once: a gate's address was rejected, a gate got\n"
    "no value or no gateway answered (each named on standard error).\n";

volatile std::sig_atomic_t stop_signal = 0;  // the signal that ends the run; 0 none

extern "C" void OnStopSignal(int number) {
    stop_signal = number;
}

struct CommandLine {
    std::string project;
    std::string driver;
    std::string log_file;
    int log_level = 0;
    bool once = false;
    int burst_wait_s = 5;  // long enough for a first burst 3 s after the channels open
    bool burst_wait_given = false;
    int duration_s = 0;
    bool level_given = false;
    bool reconnect = true;
    bool strict = false;  // configuration findings end the run before it starts
};

bool ToInt(const char* text, int min, int max, int& value) {
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < min || number > max) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool ParseCommandLine(int argc, char** argv, CommandLine& line) {
    for (int at = 1; at < argc; ++at) {
        const std::string option = argv[at];
        const char* value = at + 1 < argc ? argv[at + 1] : nullptr;
        if (option == "--once" || option == "--no-reconnect") {
            (option == "--once" ? line.once : line.reconnect) = option == "--once";
            continue;
        }
        if (option == "--strict") {
            line.strict = true;
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            if (!line.project.empty()) {
                return false;
            }
            line.project = option;
            continue;
        }
        if (value == nullptr) {
            return false;
        }
        ++at;
        bool good = true;
        if (option == "--driver") {
            line.driver = value;
        } else if (option == "--log") {
            line.log_file = value;
        } else if (option == "--level") {
            line.level_given = true;
            good = ToInt(value, 0, 1000, line.log_level);
        } else if (option == "--burst-wait") {
            line.burst_wait_given = true;
            good = ToInt(value, 0, 3600, line.burst_wait_s);
        } else if (option == "--duration") {
            good = ToInt(value, 1, 1000000, line.duration_s);
        } else {
            good = false;
        }
        if (!good) {
            return false;
        }
    }
    if (line.level_given && line.log_file.empty()) {
        std::fputs("krogw-host: --level needs --log\n", stderr);
        return false;
    }
    if (line.burst_wait_given && !line.once) {
        std::fputs("krogw-host: --burst-wait needs --once\n", stderr);
        return false;
    }
    return !line.project.empty();
}

// The driver the command line names; otherwise the one beside the program (a build
// folder, a Windows installation) or in the library folder of an installation.
std::string DriverPath(const CommandLine& line) {
    if (!line.driver.empty()) {
        return fs::absolute(line.driver).string();
    }
    char program[4096];
    if (krogw::PlatformExecutablePath(program, sizeof program)) {
        const fs::path folder = fs::path(program).parent_path();
        for (const fs::path& candidate : {folder / console::kDriverFileName,
                                          folder / KROGW_BIN_TO_LIB / console::kDriverFileName}) {
            if (fs::exists(candidate)) {
                return candidate.lexically_normal().string();
            }
        }
    }
    return console::kDriverFileName;  // the system's search
}

// Takes the driver's log lines from the runtime's store every 100 ms until stopped.
class LogDrain {
  public:
    explicit LogDrain(console::LogSink& log)
        : thread_([this, &log] {
              while (!stop_.WaitUntil(std::chrono::steady_clock::now() +
                                      std::chrono::milliseconds(100))) {
                  log.Drain();
              }
          }) {}
    LogDrain(const LogDrain&) = delete;
    LogDrain& operator=(const LogDrain&) = delete;
    ~LogDrain() { Stop(); }

    void Stop() {
        stop_.Stop();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    console::StopSignal stop_;
    std::thread thread_;
};

// The driver reads kroGWnn.int from the working folder; each run gets a folder of its own.
fs::path MakeWorkFolder() {
    std::random_device random;
    fs::path folder = fs::temp_directory_path() / ("krogw-host-" + std::to_string(random()));
    fs::create_directories(folder);
    return folder;
}

std::string Counted(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string EndText(console::RunEnd end) {
    switch (end) {
        case console::RunEnd::Quit:
            return "quit";
        case console::RunEnd::Duration:
            return "duration over";
        case console::RunEnd::Once:
            return "one scan done";
        case console::RunEnd::Failed:
            return "an instance did not start";
        case console::RunEnd::Signal:
            break;
    }
    return stop_signal == SIGTERM ? "SIGTERM" : "SIGINT";
}

// "end (SIGINT): closed 1 instance with 2 gateways; 163 values received, writes 1 done
// 0 refused 0 failed, 2 switch-overs"
std::string ClosingLine(console::RunEnd end, const console::HostInstances::Closed& closed,
                        const console::RunTotals& totals) {
    return "end (" + EndText(end) + "): closed " +
           Counted(static_cast<uint64_t>(closed.instances), "instance", "instances") + " with " +
           Counted(static_cast<uint64_t>(closed.gateways), "gateway", "gateways") + "; " +
           Counted(totals.values_received, "value", "values") + " received, writes " +
           std::to_string(totals.writes_done) + " done " + std::to_string(totals.writes_refused) +
           " refused " + std::to_string(totals.writes_failed) + " failed, " +
           Counted(static_cast<uint64_t>(totals.switch_overs), "switch-over", "switch-overs");
}

int Run(const CommandLine& line) {
    console::Project project;
    const std::vector<std::string> errors = console::ReadProject(line.project, project);
    if (!errors.empty()) {
        for (const std::string& error : errors) {
            std::fprintf(stderr, "krogw-host: %s\n", error.c_str());
        }
        std::fprintf(stderr, "krogw-host: project refused, nothing started\n");
        return 2;
    }
    if (console::PrintConfigFindings(project) > 0 && line.strict) {
        std::fprintf(stderr, "krogw-host: configuration findings with --strict, nothing started\n");
        return 2;
    }
    console::DriverLibrary driver;
    console::LogSink log;
    std::string error;
    if (!driver.Load(DriverPath(line), error) ||
        (!line.log_file.empty() && !log.Open(line.log_file, line.log_level, error))) {
        std::fprintf(stderr, "krogw-host: %s\n", error.c_str());
        return 1;
    }
    const bool refreshing = krogw::PlatformStdoutIsTerminal();
    if (refreshing) {
        std::fputs(console::Cp437ToUtf8(driver.info().banner).c_str(), stdout);
    }
    std::printf("driver %s loaded\n", driver.info().short_name);

    const fs::path project_folder = fs::absolute(line.project).parent_path();
    const fs::path previous = fs::current_path();
    const fs::path work = MakeWorkFolder();
    fs::current_path(work);

    // From here on a signal closes the instances rather than leaving their channels open.
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    // The runtime's log store is drained while anything runs, start and close included.
    LogDrain drain(log);
    console::HostInstances host(driver, log);
    console::Screen screen(stdout, refreshing);
    std::vector<std::string> report;
    const bool started = host.Start(project, project_folder.string(), report);
    for (const std::string& text : report) {
        std::fprintf(stderr, "krogw-host: %s\n", text.c_str());
        screen.Note(text, 0.0);
    }
    console::ScanLoop loop(host, log, screen);
    std::vector<std::string> missing;
    console::RunEnd end = console::RunEnd::Signal;
    if (started && stop_signal == 0) {
        static console::CommandInput input;  // its reader may still wait at the end
        if (!line.once) {
            input.StartReading(line.duration_s == 0);
        }
        console::ScanOptions options{project.scan_ms,
                                     line.once,
                                     line.duration_s,
                                     line.reconnect,
                                     std::chrono::seconds(line.burst_wait_s),
                                     &stop_signal};
        end = loop.Run(options, input);
        if (line.once) {
            missing = loop.Missing();
        }
    }
    const console::HostInstances::Closed closed = host.Stop();
    std::printf(
        "%9.3f %s\n", loop.Elapsed(),
        ClosingLine(started ? end : console::RunEnd::Failed, closed, loop.Totals()).c_str());
    drain.Stop();
    log.Close();
    if (const std::string dropped = log.DroppedText(); !dropped.empty()) {
        std::fprintf(stderr, "krogw-host: %s\n", dropped.c_str());
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(work, ignored);
    for (const std::string& text : missing) {
        std::fprintf(stderr, "krogw-host: %s\n", text.c_str());
    }
    return !started ? 1 : missing.empty() ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    for (int at = 1; at < argc; ++at) {
        if (std::strcmp(argv[at], "--help") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[at], "--version") == 0) {
            std::fputs(KROGW_TOOL_VERSION_TEXT("krogw-host"), stdout);
            return 0;
        }
    }
    CommandLine line;
    if (!ParseCommandLine(argc, argv, line)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const int status = Run(line);
    std::fflush(stdout);
    std::fflush(stderr);
    // The driver's threads still pause for a few seconds after they let their client
    // go; leaving without static destructors tears nothing down under them.
    std::_Exit(status);
}
