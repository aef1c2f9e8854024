// Loads krogw.dll as the 32-bit host does, with LoadLibrary and GetProcAddress, and
// checks the driver information reply byte by byte at the host's offsets.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const char* what) {
    if (ok) {
        ++g_passed;
    } else {
        ++g_failed;
        std::printf("FAILED: %s\n", what);
    }
}

int32_t Int32At(const uint8_t* block, int offset) {
    int32_t value;
    std::memcpy(&value, block + offset, 4);
    return value;
}

const char* PointerAt(const uint8_t* block, int offset) {
    uint32_t value;
    std::memcpy(&value, block + offset, 4);
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
}

// The host's request record: context, code, driver number, reserved, arguments.
struct Request32 {
    uint8_t bytes[20];
};

Request32 MakeRequest(void* context, int32_t code, void* arguments) {
    Request32 request{};
    const auto context_word = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(context));
    const auto arguments_word = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arguments));
    const int32_t driver_number = 1;
    std::memcpy(request.bytes + 0, &context_word, 4);
    std::memcpy(request.bytes + 4, &code, 4);
    std::memcpy(request.bytes + 8, &driver_number, 4);
    std::memcpy(request.bytes + 16, &arguments_word, 4);
    return request;
}

}  // namespace

int main() {
    static_assert(sizeof(void*) == 4, "the host is a 32-bit program");
    HMODULE driver = LoadLibraryA("krogw.dll");
    Check(driver != nullptr, "LoadLibrary(krogw.dll)");
    if (driver == nullptr) {
        std::printf("0 passed, 1 failed\n");
        return 1;
    }
    using KroMainFunction = int32_t (*)(void*);
    auto kro_main = reinterpret_cast<KroMainFunction>(
        reinterpret_cast<void*>(GetProcAddress(driver, "KroMain")));
    Check(kro_main != nullptr, "GetProcAddress(KroMain), undecorated");
    Check(GetProcAddress(driver, "_KroMain") == nullptr, "no decorated export");
    if (kro_main != nullptr) {
        uint8_t info[32];
        std::memset(info, 0xA5, sizeof info);
        Request32 request = MakeRequest(nullptr, 14, info);
        Check(kro_main(&request) == 0, "code 14 answers 0");
        Check(Int32At(info, 0) == 82, "offset 0: 82");
        Check(std::strcmp(PointerAt(info, 4), "Zazuvodi DuvoRid") == 0, "offset 4: short name");
        const char* banner = PointerAt(info, 8);
        Check(std::strlen(banner) == 379, "offset 8: banner of 379 bytes");
        Check(banner[0] == '\n' && static_cast<uint8_t>(banner[2]) == 0xC9, "banner frame");
        Check(Int32At(info, 12) == 2317056, "offset 12: context size");
        Check(Int32At(info, 16) == 1, "offset 16: 1");
        bool untouched = true;
        for (int i = 20; i < 28; ++i) {
            untouched = untouched && info[i] == 0xA5;
        }
        Check(untouched, "bytes 20-27 untouched");
        Check(Int32At(info, 28) == 2, "offset 28: 2");

        // The host allocates the context at the reported size; code 15 writes into it.
        auto* context =
            static_cast<uint8_t*>(VirtualAlloc(nullptr, 2317056, MEM_COMMIT, PAGE_READWRITE));
        uint8_t timeout_block[16] = {};
        const int32_t units = 1;
        std::memcpy(timeout_block + 12, &units, 4);
        Request32 timeout = MakeRequest(context, 15, timeout_block);
        Check(kro_main(&timeout) == 0, "code 15 answers 0");

        uint8_t canary[64];
        std::memset(canary, 0x3C, sizeof canary);
        for (int32_t code : {8, 9, 16, 0, 17, -5}) {
            Request32 empty = MakeRequest(context, code, canary);
            Check(kro_main(&empty) == 1, "code without handler answers 1");
        }
        for (int32_t code : {12, 13}) {
            Request32 unsupported = MakeRequest(context, code, canary);
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
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
