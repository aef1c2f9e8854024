#include "bench/child_process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <thread>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

// Between fork and exec only async-signal-safe calls: everything is prepared before.
[[noreturn]] void BecomeChild(pid_t parent, const char* folder, const char* out, const char* err,
                              char* const* argv) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent || ::chdir(folder) != 0) {
        ::_exit(127);
    }
    const int in_fd = ::open("/dev/null", O_RDONLY);
    const int out_fd = ::open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err_fd = ::open(err, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in_fd < 0 || out_fd < 0 || err_fd < 0 || ::dup2(in_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 ||
        ::dup2(err_fd, 2) < 0) {
        ::_exit(127);
    }
    // The simulated gateways' sockets are no business of the child, and would count
    // among its descriptors.
    ::close_range(3, ~0U, 0);
    ::execv(argv[0], argv);
    ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& command,
                           const std::filesystem::path& folder) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const std::string out = (folder / "stdout.txt").string();
    const std::string err = (folder / "stderr.txt").string();
    const std::string here = folder.string();
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        BecomeChild(parent, here.c_str(), out.c_str(), err.c_str(), argv.data());
    }
    if (pid_ < 0) {
        throw std::runtime_error("cannot start " + command.front());
    }
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        ::kill(pid_, SIGKILL);
        Reap(0);
    }
}

bool ChildProcess::Reap(int options) {
    int status = 0;
    if (::waitpid(pid_, &status, options) != pid_) {
        return false;
    }
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return true;
}

bool ChildProcess::Running() {
    return pid_ > 0 && !Reap(WNOHANG);
}

std::optional<double> ChildProcess::Terminate(std::chrono::seconds limit) {
    if (!Running()) {
        return std::nullopt;
    }
    const auto start = Clock::now();
    ::kill(pid_, SIGTERM);
    while (Clock::now() - start < limit) {
        if (Reap(WNOHANG)) {
            return std::chrono::duration<double>(Clock::now() - start).count();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    Reap(0);
    return std::nullopt;
}

}  // namespace bench
