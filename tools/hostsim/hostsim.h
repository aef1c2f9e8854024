// Our stand-in for the host runtime: a gate database, clients, cooking, RTU failure
// notices and the log. The driver reaches it only through the operations of
// host/qivpro.h; tests and the console host drive it through this API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace hostsim {

// Linear cooking: engineering value = raw * scale + offset.
struct Cooking {
    double scale = 1.0;
    double offset = 0.0;
};

struct GateValue {
    double value = 0.0;
    int32_t quality = 0;
    int32_t seconds = 0;  // 0 and 0 when the driver gave no time stamp
    int32_t milliseconds = 0;
    uint64_t updates = 0;  // how many values the gate has received
};

struct LogLine {
    int level;
    std::string text;
    uint8_t client = 0;    // the client the logging thread last worked for; 0 unknown
    int32_t instance = 0;  // the driver number a host's thread called for; 0 unknown
};

struct RtuFailure {
    int32_t driver_number;
    int32_t rtu;
};

// The line this runtime logs once per process, when the first client is made, so that a
// log shows which runtime served the driver.
inline constexpr const char* kStandInNotice =
    "QIVPRO : stand-in host runtime of the krogw kit, for its tools and tests; not a host's "
    "runtime";

// Forgets every gate, client, notice and log line and restores the settings.
QIVPRO_API void Reset();

// Defines a gate of the given instance with the words the driver's address check
// produced; returns its gate id (ids start at 1).
QIVPRO_API int32_t DefineGate(int32_t driver_number, const krogw::GateAddress& address,
                              Cooking cooking = {});
QIVPRO_API std::optional<GateValue> GateValueOf(int32_t gate_id);
// The value an operator or another program put into the gate.
QIVPRO_API bool SetGateValue(int32_t gate_id, double value);

QIVPRO_API std::optional<uint8_t> ClientByName(const std::string& name);
// From now on the client's message wait reports that the host ends it.
QIVPRO_API void EndClient(uint8_t client);
QIVPRO_API bool ClientExists(uint8_t client);
// How many times the driver let the client go (each of an instance's threads does it
// once, as the last thing it does with the instance's context).
QIVPRO_API int ClientRemovals(uint8_t client);

QIVPRO_API void SetBackupMode(int32_t mode);
QIVPRO_API void SetSerialNumber(int32_t serial);
QIVPRO_API std::vector<RtuFailure> RtuFailures();

QIVPRO_API std::vector<LogLine> LogLines();
QIVPRO_API void ClearLog();
// The kept lines, removed from the log in the same step, so that none is lost or
// taken twice while the driver goes on logging.
QIVPRO_API std::vector<LogLine> TakeLogLines();
// Log lines of this thread name this client from now on, as the driver's threads name
// the client they wait for; a host calls it before it calls the driver for an instance.
QIVPRO_API void LogForClient(uint8_t client);
// The log keeps at most this many lines; a host that does not take them in time loses
// the oldest.
inline constexpr size_t kMaxLogLines = 100000;
// Log lines of this thread name this instance (driver number) from now on: a host's
// thread calls it before it calls the driver, even before the instance has a client.
QIVPRO_API void LogForInstance(int32_t driver_number);
// How many lines the full log pushed out since the last reset.
QIVPRO_API uint64_t LogLinesDropped();
// Lines below this level are dropped.
QIVPRO_API void SetLogFilter(int minimum_level);
// Copies every kept line to standard error as it comes; on from the start when the
// environment holds KROGW_HOSTSIM_LOG_ECHO=1.
QIVPRO_API void SetLogEcho(bool echo);

}  // namespace hostsim
