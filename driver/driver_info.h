#pragma once

namespace krogw {

inline constexpr char kShortName[] = "Zazuvodi DuvoRid";
inline constexpr int kBannerLength = 379;  // without its terminating NUL

// The code page 437 banner that the host shows when it loads the driver.
const char* DriverBanner();

}  // namespace krogw
