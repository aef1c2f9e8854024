// Whether standard output is a terminal, for the tools that redraw a screen there.
#pragma once

namespace krogw {

bool PlatformStdoutIsTerminal();

}  // namespace krogw
