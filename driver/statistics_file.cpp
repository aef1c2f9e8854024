#include "driver/statistics_file.h"

#include <cstdio>
#include <cstring>

#include "context/statistics.h"
#include "context/statistics_text.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

constexpr size_t kWriterStackBytes = 0x8000;
constexpr uint32_t kStopPollMs = 100;
// Temporary names tried in turn when one is taken (left by a run that was killed).
constexpr int kTemporaryNames = 4;

// The text on its way into the temporary file, through the block's buffer.
struct FileSink {
    PlatformFile file;
    char* buffer;
    size_t used;
    bool failed;

    bool Flush() {
        failed = failed || !PlatformFileWrite(file, buffer, used);
        used = 0;
        return !failed;
    }
};

bool TakeText(void* target, const char* text, size_t length) {
    auto& sink = *static_cast<FileSink*>(target);
    if (sink.used + length > kStatisticsFileBufferBytes && !sink.Flush()) {
        return false;
    }
    // A piece is one line, far shorter than the buffer.
    std::memcpy(sink.buffer + sink.used, text, length);
    sink.used += length;
    return true;
}

// Writes the whole text beside the path and puts it in place; false when the path was
// not replaced.
bool WriteOnce(InstanceStatistics& statistics) {
    StatisticsFile& file = statistics.file;
    for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
        char temporary[kStatisticsPathBytes + 32];
        std::snprintf(temporary, sizeof temporary, "%s.krogw%d-%d.tmp", file.path,
                      static_cast<int>(file.driver_number), attempt);
        FileSink sink{PlatformFileCreateNew(temporary), file.buffer, 0, false};
        if (sink.file == kNoFile) {
            continue;
        }
        const bool written =
            ExposeStatistics(statistics, file, PlatformMonotonicMs(), TakeText, &sink) &&
            sink.Flush();
        const bool closed = PlatformFileClose(sink.file);
        if (written && closed && PlatformFileReplace(temporary, file.path)) {
            return true;
        }
        PlatformFileRemove(temporary);
        return false;
    }
    return false;
}

// One line when writing starts to fail, one when it works again.
void Report(const StatisticsFile& file, bool written, bool& failing) {
    if (!written && !failing) {
        err(kLogError, "KroGW : Statistics file %s can not be written", file.path);
    } else if (written && failing) {
        err(kLogError, "KroGW : Statistics file %s written again", file.path);
    }
    failing = !written;
}

void WriterThread(void* argument) {
    auto& statistics = *static_cast<InstanceStatistics*>(argument);
    StatisticsFile& file = statistics.file;
    bool failing = false;
    int64_t next_ms = PlatformMonotonicMs();
    while (file.stop.load() == 0) {
        const int64_t now = PlatformMonotonicMs();
        if (now >= next_ms) {
            Report(file, WriteOnce(statistics), failing);
            next_ms = now + static_cast<int64_t>(file.period_s) * 1000;
        }
        PlatformSleepMs(kStopPollMs);
    }
    // The final counts.
    Report(file, WriteOnce(statistics), failing);
    file.running.store(0);
}

}  // namespace

void StartStatisticsFile(const DriverContext& context) {
    InstanceStatistics* statistics = StatisticsOf(context);
    if (statistics == nullptr || statistics->file.path[0] == '\0') {
        return;
    }
    StatisticsFile& file = statistics->file;
    if (file.running.exchange(1) != 0) {
        err(kLogError, "KroGW : Statistics file %s still written by the last run, not this one",
            file.path);
        return;
    }
    std::memcpy(file.gateway_addresses[0], context.primary_address, kGatewayAddressBytes);
    std::memcpy(file.gateway_addresses[1], context.secondary_address, kGatewayAddressBytes);
    file.gateway_addresses[0][kGatewayAddressBytes - 1] = '\0';
    file.gateway_addresses[1][kGatewayAddressBytes - 1] = '\0';
    file.secondary_configured = context.secondary_configured;
    file.driver_number = context.driver_number;
    if (!PlatformThreadStart(WriterThread, statistics, kWriterStackBytes)) {
        file.running.store(0);
        err(kLogError, "KroGW : Can not start the statistics file writer");
    }
}

}  // namespace krogw
