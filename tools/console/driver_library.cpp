#include "tools/console/driver_library.h"

#include "platform/library.h"

namespace console {

bool DriverLibrary::Load(const std::string& path, std::string& error) {
    library_ = krogw::PlatformLibraryOpen(path.c_str());
    if (library_ == nullptr) {
        error = "cannot load " + path + ": " + krogw::PlatformLibraryError();
        return false;
    }
    kro_main_ =
        reinterpret_cast<KroMainFunction>(krogw::PlatformLibrarySymbol(library_, "KroMain"));
    if (kro_main_ == nullptr) {
        error = path + " does not export KroMain";
        return false;
    }
    const int32_t result = Call(nullptr, krogw::kGetDriverInfo, 0, &info_);
    if (result != krogw::kResultDone || info_.context_size <= 0) {
        error = "the driver information request failed: " + std::to_string(result);
        return false;
    }
    return true;
}

int32_t DriverLibrary::Call(void* context, int32_t code, int32_t driver_number,
                            void* arguments) const {
    krogw::HostRequest request{static_cast<krogw::DriverContext*>(context), code, driver_number, 0,
                               arguments};
    return kro_main_(&request);
}

}  // namespace console
