// Feeds arbitrary bytes to the configuration reader as a whole file and checks that
// whatever it accepted is a layout and an address the rest of the driver can use.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "config/config_reader.h"
#include "config/table_layout.h"
#include "context/context.h"
#include "fuzz/fuzz_support.h"
#include "tools/hostsim/hostsim.h"

namespace {

krogw::DriverContext& Context() {
    static krogw::DriverContext* context = [] {
        hostsim::SetLogFilter(1000);  // format every message, keep none
        auto* made = new krogw::DriverContext;
        krogw::ResetContext(1, *made);
        return made;
    }();
    return *context;
}

bool Terminated(const char (&field)[krogw::kAddressTextBytes]) {
    return std::memchr(field, '\0', sizeof field) != nullptr;
}

void CheckLayouts(const krogw::DriverContext& context, const krogw::ConfigSeen& seen) {
    for (int table = 0; table < krogw::kTableTypes; ++table) {
        const krogw::TableLayout layout = krogw::TableLayoutOf(context, table);
        if (layout.column_count > krogw::kMaxColumns) {
            __builtin_trap();
        }
        if (!seen.accepted_table_types[static_cast<size_t>(table)]) {
            if (layout.column_types[0] != 0) {
                __builtin_trap();  // a refused line declared a table type
            }
            continue;
        }
        for (int column = 0; column < layout.column_count; ++column) {
            if (layout.column_types[column] < 1 || layout.column_types[column] > 5) {
                __builtin_trap();
            }
        }
        if (layout.column_types[layout.column_count] != 0) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    krogw::DriverContext& context = Context();
    krogw::fuzz::ResetConfigurationFields(context);
    krogw::ConfigSeen seen;
    const bool usable = krogw::ReadConfiguration(
        krogw::ConfigText{reinterpret_cast<const char*>(data), size, 0}, seen, context);
    if (usable != (seen.primary && seen.table_type)) {
        __builtin_trap();
    }
    if (!Terminated(context.primary_address) || !Terminated(context.secondary_address)) {
        __builtin_trap();
    }
    if (seen.primary && context.primary_address[0] == '\0') {
        __builtin_trap();
    }
    CheckLayouts(context, seen);
    return 0;
}
