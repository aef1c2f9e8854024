// Loads krogw.dll as the host does, with LoadLibrary and GetProcAddress, and checks
// the driver information reply byte by byte at the host's offsets. The host is a
// 32-bit program; the 64-bit build of the same sources keeps the fields' order with
// natural alignment, so the test reads whichever layout it was built for.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "tests/win32/checks.h"

namespace {

using krogw::wintest::Check;

int32_t Int32At(const uint8_t* block, int offset) {
    int32_t value;
    std::memcpy(&value, block + offset, 4);
    return value;
}

const char* PointerAt(const uint8_t* block, int offset) {
    const char* value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

// Offsets of the request record (context, code, driver number, reserved, arguments)
// and of the driver information reply.
struct HostLayout {
    int request_code;
    int request_driver_number;
    int request_arguments;
    int info_short_name;
    int info_banner;
    int info_context_size;
    int info_flag;
    int info_host_owned;
    int info_mode;
};
constexpr HostLayout kHost32{4, 8, 16, 4, 8, 12, 16, 20, 28};
constexpr HostLayout kNatural64{8, 12, 24, 8, 16, 24, 28, 32, 40};
constexpr HostLayout kLayout = sizeof(void*) == 4 ? kHost32 : kNatural64;

struct Request {
    alignas(void*) uint8_t bytes[32];
};

Request MakeRequest(void* context, int32_t code, void* arguments) {
    Request request{};
    const int32_t driver_number = 1;
    std::memcpy(request.bytes + 0, &context, sizeof context);
    std::memcpy(request.bytes + kLayout.request_code, &code, 4);
    std::memcpy(request.bytes + kLayout.request_driver_number, &driver_number, 4);
    std::memcpy(request.bytes + kLayout.request_arguments, &arguments, sizeof arguments);
    return request;
}

}  // namespace

int main() {
    HMODULE driver = LoadLibraryA("krogw.dll");
    Check(driver != nullptr, "LoadLibrary(krogw.dll)");
    if (driver == nullptr) {
        return krogw::wintest::Summary();
    }
    using KroMainFunction = int32_t (*)(void*);
    auto kro_main = reinterpret_cast<KroMainFunction>(
        reinterpret_cast<void*>(GetProcAddress(driver, "KroMain")));
    Check(kro_main != nullptr, "GetProcAddress(KroMain), undecorated");
    Check(GetProcAddress(driver, "_KroMain") == nullptr, "no decorated export");
    if (kro_main != nullptr) {
        alignas(void*) uint8_t info[48];
        std::memset(info, 0xA5, sizeof info);
        Request request = MakeRequest(nullptr, 14, info);
        Check(kro_main(&request) == 0, "code 14 answers 0");
        Check(Int32At(info, 0) == 82, "offset 0: 82");
        Check(std::strcmp(PointerAt(info, kLayout.info_short_name), "Zazuvodi DuvoRid") == 0,
              "short name");
        const char* banner = PointerAt(info, kLayout.info_banner);
        Check(std::strlen(banner) == 379, "banner of 379 bytes");
        Check(banner[0] == '\n' && static_cast<uint8_t>(banner[2]) == 0xC9, "banner frame");
        Check(Int32At(info, kLayout.info_context_size) == 2317056, "context size");
        Check(Int32At(info, kLayout.info_flag) == 1, "information flag 1");
        bool untouched = true;
        for (int i = kLayout.info_host_owned; i < kLayout.info_host_owned + 8; ++i) {
            untouched = untouched && info[i] == 0xA5;
        }
        Check(untouched, "the host's eight bytes untouched");
        Check(Int32At(info, kLayout.info_mode) == 2, "information mode 2");

        // The host allocates the context at the reported size; code 15 writes into it.
        auto* context =
            static_cast<uint8_t*>(VirtualAlloc(nullptr, 2317056, MEM_COMMIT, PAGE_READWRITE));
        uint8_t timeout_block[16] = {};
        const int32_t units = 1;
        std::memcpy(timeout_block + 12, &units, 4);
        Request timeout = MakeRequest(context, 15, timeout_block);
        Check(kro_main(&timeout) == 0, "code 15 answers 0");

        uint8_t canary[64];
        std::memset(canary, 0x3C, sizeof canary);
        for (int32_t code : {8, 9, 16, 0, 17, -5}) {
            Request empty = MakeRequest(context, code, canary);
            Check(kro_main(&empty) == 1, "code without handler answers 1");
        }
        for (int32_t code : {12, 13}) {
            Request unsupported = MakeRequest(context, code, canary);
            Check(kro_main(&unsupported) == 2, "codes 12 and 13 answer 2");
        }
        bool canary_intact = true;
        for (uint8_t value : canary) {
            canary_intact = canary_intact && value == 0x3C;
        }
        Check(canary_intact, "argument blocks of refused codes untouched");
        VirtualFree(context, 0, MEM_RELEASE);
    }
    FreeLibrary(driver);
    return krogw::wintest::Summary();
}
