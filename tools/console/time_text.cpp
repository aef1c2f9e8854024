#include "tools/console/time_text.h"

#include <cstdio>

namespace console {

std::string LocalTimeText(std::time_t seconds, int milliseconds) {
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    const size_t used = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + used, sizeof text - used, ".%.3d", milliseconds);
    return text;
}

}  // namespace console
