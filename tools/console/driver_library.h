// The driver library loaded as a host loads it, and its one entry point.
#pragma once

#include <cstdint>
#include <string>

#include "include/krogw/abi.h"

namespace console {

#if defined(_WIN32)
inline constexpr const char* kDriverFileName = "krogw.dll";
#else
inline constexpr const char* kDriverFileName = "libkrogw.so";
#endif

class DriverLibrary {
  public:
    DriverLibrary() = default;
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;
    // The library stays loaded until the process ends: the driver's threads sleep in
    // it for a few seconds after they let their client go.
    ~DriverLibrary() = default;

    // False with the reason in error when the library or its KroMain is missing, or
    // when the driver does not answer the information request.
    bool Load(const std::string& path, std::string& error);

    int32_t Call(void* context, int32_t code, int32_t driver_number, void* arguments) const;
    const krogw::DriverInfo& info() const { return info_; }

  private:
    using KroMainFunction = int32_t (*)(krogw::HostRequest*);
    void* library_ = nullptr;
    KroMainFunction kro_main_ = nullptr;
    krogw::DriverInfo info_{};
};

}  // namespace console
