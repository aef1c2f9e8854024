// The instance's statistics in the Prometheus text exposition format (0.0.4): a HELP and
// a TYPE line per metric, then its samples, labelled with the driver number and the
// gateway (primary or secondary, and its address) or the RTU. Never `instance` or
// `job`, which a scrape sets itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/statistics.h"

namespace krogw {

// Takes the next piece of text; false stops the exposition.
using TextSink = bool (*)(void* sink, const char* text, size_t length);

// Counters carry all 64 bits; times are in seconds. A time since an event that has not
// happened has no sample. Secondary samples only with a secondary configured. False
// when the sink refused a piece.
bool ExposeStatistics(const InstanceStatistics& statistics, const StatisticsFile& labels,
                      int64_t now_ms, TextSink sink, void* target);

}  // namespace krogw
