// A program the benchmark runs as a child: started in a folder of its own, standard
// input from /dev/null, standard output and error into files there. The child gets
// SIGKILL should the benchmark die first, and is killed when the object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace bench {

class ChildProcess {
  public:
    // Throws std::runtime_error when the program cannot be started.
    ChildProcess(const std::vector<std::string>& command, const std::filesystem::path& folder);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool Running();
    // Sends SIGTERM and waits up to `limit` for the exit: the seconds it took, or nullopt
    // when the limit passed (the child is then killed).
    std::optional<double> Terminate(std::chrono::seconds limit);
    // The exit status once it has ended by itself or by Terminate; -1 for a signal.
    int exit_status() const { return exit_status_; }

  private:
    bool Reap(int options);

    pid_t pid_ = -1;
    int exit_status_ = -1;
};

}  // namespace bench
