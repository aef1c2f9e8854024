// A directory of its own for a program's configuration files, current while it lives
// and removed with it.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace krogw::test {

class ScratchDirectory {
  public:
    // The temporary directory's `name`-<process id>, emptied and made current.
    explicit ScratchDirectory(const std::string& name)
        : previous_(std::filesystem::current_path()),
          path_(std::filesystem::temp_directory_path() /
                (name + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(path_);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

}  // namespace krogw::test
