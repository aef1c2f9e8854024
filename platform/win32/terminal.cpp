#include <io.h>
#include <stdio.h>

#include "platform/terminal.h"

namespace krogw {

bool PlatformStdoutIsTerminal() {
    return ::_isatty(::_fileno(stdout)) != 0;
}

}  // namespace krogw
