#include <unistd.h>

#include "platform/terminal.h"

namespace krogw {

bool PlatformStdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace krogw
