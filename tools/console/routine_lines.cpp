#include "tools/console/routine_lines.h"

#include <string_view>

#include "tools/hostsim/hostsim.h"

namespace console {
namespace {

// As the driver formats them; a conversion (%d, %s, %X) stands for any text.
constexpr std::string_view kRoutineFormats[] = {
    "KroGW : TCP-GW driver,Version 8.20 compiled on %s at %s",
    "KroGW : Start Burst thread",
    "KroGW : Start Command thread",
    "kroGW : Primary GateWay address %s",
    "kroGW : Secondary GateWay address %s",
    "KroGW : Polling buffer length is %d",
    "KroGW : Command buffer length is %d",
    "KroGW : Command Timeout is %d",
    "kroGW : Sign RTU ON FAIL = NO",
    "kroGW : Set Parse flag to NO",
    "kroGW : Set Poll result on Write to OFF",
    "kroGW : Set Default State of RTU's to active",
    "kroGW : Get Table Type %s - O.K",
    "KroGW : Open Primary status channel success ! (KRO #%d)",
    "KroGW : Open channel for Primary SYNC success !",
    "KroGW : Open channel for BURST Primary success !",
    "KroGW : Open Secondary GW status channel success ! (KRO #%d)",
    "KroGW : Open channel for Secondary SYNC success !",
    "KroGW : Open channel for BURST Secondary success !",
    "kroGW : Close Channel Id %d Pass",
    "KroGW : Start Hot Backup process (Manual)",
    "KroGW : Hot Backup process completed (1->2)",
    "KroGW : Hot Backup process completed (2->1)",
};

// The literal pieces of the format in order, each conversion matching any text.
bool Matches(std::string_view text, std::string_view format) {
    size_t at = 0;
    bool anchored = true;  // the first piece starts the text
    while (true) {
        const size_t conversion = format.find('%');
        const std::string_view piece = format.substr(0, conversion);
        if (conversion == std::string_view::npos && !anchored) {  // the text's end
            return text.size() >= at + piece.size() &&
                   text.substr(text.size() - piece.size()) == piece;
        }
        const size_t found =
            anchored ? (text.compare(at, piece.size(), piece) == 0 ? at : std::string_view::npos)
                     : text.find(piece, at);
        if (found == std::string_view::npos) {
            return false;
        }
        at = found + piece.size();
        if (conversion == std::string_view::npos) {
            return at == text.size();  // a format without conversions
        }
        format.remove_prefix(conversion + 2);
        anchored = false;
    }
}

}  // namespace

bool IsRoutineLine(const std::string& text) {
    if (text == hostsim::kStandInNotice) {
        return true;
    }
    for (const std::string_view format : kRoutineFormats) {
        if (Matches(text, format)) {
            return true;
        }
    }
    return false;
}

}  // namespace console
