// The contract between the host runtime and the driver: the request record that
// KroMain receives, the argument block of every function code, the driver
// information reply and the decoded gate address.
//
// The host is a 32-bit Windows program. In the 32-bit build every field sits at the
// host's offset (checked below); on wider platforms the same fields keep their order
// and widths and are naturally aligned.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define KROGW_EXPORT __declspec(dllexport)
#else
#define KROGW_EXPORT __attribute__((visibility("default")))
#endif

namespace krogw {

struct DriverContext;

// Request results shared by every handler.
inline constexpr int32_t kResultDone = 0;
inline constexpr int32_t kResultNotDone = 1;
inline constexpr int32_t kResultFailed = 2;

enum FunctionCode : int32_t {
    kStartInstance = 1,
    kReconnectGateway = 2,
    kParseGateAddress = 3,
    kCheckArrayAddress = 4,
    kReadGate = 5,
    kReadGateArray = 6,
    kWriteGate = 7,
    kWriteGateArray = 10,
    kCloseInstance = 11,
    kUnsupported12 = 12,
    kUnsupported13 = 13,
    kGetDriverInfo = 14,
    kSetReplyTimeout = 15,
};
inline constexpr int kHandlerSlots = 16;

// The 18 address forms of a gate.
enum GateKind : int32_t {
    TableElement = 0,
    GatewayStatus = 1,
    RtuStatus = 2,
    PollRows = 3,
    LastError = 4,
    PollNumberedRows = 5,
    PollLoad = 6,
    ActiveGateway = 7,
    CommandLoad = 8,
    RtuTime = 9,
    SetCallExecute = 10,
    SetCallRtu = 11,
    SetCallQr = 12,
    SetCallQd = 13,
    SetCallQc = 14,
    SetCallSr = 15,
    SetCallSd = 16,
    RtuChannelStatus = 17,
};
inline constexpr int32_t kGateKindCount = 18;

// unit_id values that are not RTU numbers.
inline constexpr int32_t PrimaryGatewayUnit = 0xFFF0;
inline constexpr int32_t SecondaryGatewayUnit = 0xFFF1;
inline constexpr int32_t RtuSpecialUnit = 0xFFF2;
inline constexpr int32_t DriverSpecialUnit = 0xFFF3;

inline constexpr int32_t kFixedWord = 255;

// The five words by which the driver recognises a gate; the host hands them back
// unchanged with every read and write.
struct GateAddress {
    int32_t unit_id;
    int32_t kind;
    int32_t subaddress;
    int32_t fixed_word;
    int32_t bit_width;
};

struct HostRequest {
    DriverContext* context;
    int32_t function_code;
    int32_t driver_number;
    int32_t reserved;
    void* arguments;
};

// Code 1.
struct StartArguments {
    int32_t reserved[3];
    int32_t start_flag;
    int32_t reply_timeout_10ms;
};

// Code 2.
struct ReconnectArguments {
    int32_t gateway_unit;
};

// Codes 3 and 4.
struct AddressCheckArguments {
    const char* address_text;
    int32_t gate_id;
    int32_t reserved;
    int32_t element_count;  // code 4 only
    GateAddress address;    // filled by the check
};

// Codes 5, 6, 7 and 10.
struct GateIoArguments {
    int32_t reserved[2];
    GateAddress address;
    int32_t reserved2;
    int32_t element_count;
    int32_t gate_id;
    uint8_t* value_buffer;
};

// Code 15.
struct ReplyTimeoutArguments {
    int32_t reserved[3];
    int32_t reply_timeout_10ms;
};

// Code 14. The host gives the three numeric constants their meaning; the driver
// only hands them over.
struct DriverInfo {
    int32_t driver_code;
    const char* short_name;
    const char* banner;
    int32_t context_size;
    int32_t info_flag;
    uint8_t host_owned[8];  // left as the host put them
    int32_t info_mode;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(void*) == 4);
static_assert(offsetof(HostRequest, context) == 0);
static_assert(offsetof(HostRequest, function_code) == 4);
static_assert(offsetof(HostRequest, driver_number) == 8);
static_assert(offsetof(HostRequest, reserved) == 12);
static_assert(offsetof(HostRequest, arguments) == 16);
static_assert(sizeof(HostRequest) == 20);

static_assert(offsetof(StartArguments, start_flag) == 12);
static_assert(offsetof(StartArguments, reply_timeout_10ms) == 16);
static_assert(offsetof(ReconnectArguments, gateway_unit) == 0);

static_assert(offsetof(AddressCheckArguments, address_text) == 0);
static_assert(offsetof(AddressCheckArguments, gate_id) == 4);
static_assert(offsetof(AddressCheckArguments, element_count) == 12);
static_assert(offsetof(AddressCheckArguments, address) == 16);
static_assert(sizeof(AddressCheckArguments) == 36);

static_assert(offsetof(GateIoArguments, address) == 8);
static_assert(offsetof(GateIoArguments, element_count) == 32);
static_assert(offsetof(GateIoArguments, gate_id) == 36);
static_assert(offsetof(GateIoArguments, value_buffer) == 40);
static_assert(sizeof(GateIoArguments) == 44);

static_assert(offsetof(ReplyTimeoutArguments, reply_timeout_10ms) == 12);

static_assert(offsetof(DriverInfo, driver_code) == 0);
static_assert(offsetof(DriverInfo, short_name) == 4);
static_assert(offsetof(DriverInfo, banner) == 8);
static_assert(offsetof(DriverInfo, context_size) == 12);
static_assert(offsetof(DriverInfo, info_flag) == 16);
static_assert(offsetof(DriverInfo, host_owned) == 20);
static_assert(offsetof(DriverInfo, info_mode) == 28);
static_assert(sizeof(DriverInfo) == 32);
#elif UINTPTR_MAX == UINT64_MAX
// 64-bit builds, Linux and Windows alike: the same fields, naturally aligned.
static_assert(offsetof(HostRequest, function_code) == 8);
static_assert(offsetof(HostRequest, arguments) == 24);
static_assert(sizeof(HostRequest) == 32);
static_assert(offsetof(AddressCheckArguments, address) == 20);
static_assert(offsetof(GateIoArguments, value_buffer) == 40);
static_assert(offsetof(DriverInfo, banner) == 16);
static_assert(offsetof(DriverInfo, info_mode) == 40);
static_assert(sizeof(DriverInfo) == 48);
#endif

static_assert(sizeof(GateAddress) == 20);
static_assert(offsetof(GateAddress, bit_width) == 16);

}  // namespace krogw

extern "C" KROGW_EXPORT int32_t KroMain(krogw::HostRequest* request);
