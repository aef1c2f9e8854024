#include "context/context.h"
#include "context/counters.h"
#include "context/statistics.h"
#include "exchange/threads.h"
#include "host/qivpro.h"

namespace krogw {

void LeaveInstance(DriverContext& context) {
    const uint8_t client = context.client;
    EndStatistics(context.driver_number);
    // A thread that was started without being counted leaves the count alone.
    DecrementNotBelowZero(context.instance_threads);
    QivRmClient(client);
}

}  // namespace krogw
