// A host's side of krogw.dll for plain Windows test programs: the library is known by
// name only (LoadLibrary, GetProcAddress) and each instance gets a context of the size
// the driver reports; requests and gates as every test host makes them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "include/krogw/abi.h"
#include "tests/support/driver_host.h"
#include "tests/support/wait_for.h"

namespace krogw::wintest {

using Instance = test::HostInstance;
using Gate = test::HostGate;
using test::ClientOf;
using test::WaitFor;
using test::WriteConfiguration;

class DriverHost {
  public:
    // False, with the reason on stdout, when the library or its entry cannot be had.
    bool Load() {
        HMODULE driver = LoadLibraryA("krogw.dll");
        if (driver == nullptr) {
            std::printf("LoadLibrary(krogw.dll) failed: %lu\n", GetLastError());
            return false;
        }
        kro_main_ = reinterpret_cast<test::KroMainFunction>(
            reinterpret_cast<void*>(GetProcAddress(driver, "KroMain")));
        if (kro_main_ == nullptr) {
            std::printf("krogw.dll exports no KroMain\n");
            return false;
        }
        DriverInfo info{};
        context_size_ = test::Call({kro_main_, 0, nullptr}, kGetDriverInfo, &info) == kResultDone
                            ? info.context_size
                            : 0;
        return context_size_ > 0;
    }

    Instance NewInstance(int32_t driver_number) const {
        void* memory =
            VirtualAlloc(nullptr, static_cast<SIZE_T>(context_size_), MEM_COMMIT, PAGE_READWRITE);
        if (memory == nullptr) {
            std::printf("FAILED: no memory for a context of %d bytes\n", context_size_);
            std::exit(1);
        }
        return {kro_main_, driver_number, static_cast<DriverContext*>(memory)};
    }

    Gate DefineGate(const Instance& instance, const char* text) {
        return gates_.Define(instance, text);
    }

  private:
    test::KroMainFunction kro_main_ = nullptr;
    int32_t context_size_ = 0;
    test::HostGates gates_;
};

}  // namespace krogw::wintest
