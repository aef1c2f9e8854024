// The console host: loads the driver library as a host runtime does and talks to it
// through KroMain.
#include <cstdio>
#include <cstring>
#include <string>

#include "include/krogw/abi.h"
#include "platform/library.h"
#include "tools/console/cp437.h"

namespace {

using KroMainFunction = int32_t (*)(krogw::HostRequest*);

int ShowDriverInfo(KroMainFunction kro_main) {
    krogw::DriverInfo info{};
    krogw::HostRequest request{nullptr, krogw::kGetDriverInfo, 0, 0, &info};
    const int32_t result = kro_main(&request);
    if (result != krogw::kResultDone) {
        std::fprintf(stderr, "driver information request failed: %d\n", result);
        return 1;
    }
    std::printf("driver      : %s\n", info.short_name);
    std::printf("context size: %d bytes\n", info.context_size);
    std::printf("constants   : %d %d %d\n", info.driver_code, info.info_flag, info.info_mode);
    std::fputs(console::Cp437ToUtf8(info.banner).c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* library_path = argc > 1 ? argv[1] : console::kDefaultDriverPath;
    void* library = krogw::PlatformLibraryOpen(library_path);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", library_path, krogw::PlatformLibraryError());
        return 1;
    }
    auto kro_main =
        reinterpret_cast<KroMainFunction>(krogw::PlatformLibrarySymbol(library, "KroMain"));
    if (kro_main == nullptr) {
        std::fprintf(stderr, "%s does not export KroMain\n", library_path);
        return 1;
    }
    std::printf("loaded %s\n", library_path);
    return ShowDriverInfo(kro_main);
}
