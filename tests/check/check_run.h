// Runs the krogw-check command as an integrator would (POSIX popen), standard error
// with standard output.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

struct CheckRun {
    int status;
    std::string output;
};

inline CheckRun RunCheck(const std::string& arguments) {
    const std::string command = std::string(KROGW_CHECK_COMMAND) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {-1, ""};
    }
    std::string output;
    std::array<char, 4096> chunk;
    size_t got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        output.append(chunk.data(), got);
    }
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}
