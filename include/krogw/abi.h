/* The contract between the host runtime and the driver: the request record that
   KroMain receives, the argument block of every function code, the driver
   information reply and the decoded gate address.

   A C99 and C++11 header. In C the records are plain structs (struct HostRequest, ...)
   and the constants are the KROGW_ macros; C++ finds the same records and named
   constants in namespace krogw.

   The host is a 32-bit Windows program. In the 32-bit build every field sits at the
   host's offset (checked below); on wider platforms the same fields keep their order
   and widths and are naturally aligned. */
#ifndef KROGW_ABI_H
#define KROGW_ABI_H

#include <stddef.h>
#include <stdint.h>

#define KROGW_VERSION_MAJOR 8
#define KROGW_VERSION_MINOR 20
#define KROGW_VERSION_STRING "8.20"
/* major * 100 + minor, for comparisons: #if KROGW_VERSION >= 820 */
#define KROGW_VERSION (KROGW_VERSION_MAJOR * 100 + KROGW_VERSION_MINOR)
/* The kit's license, as its LICENSE file gives it (SPDX identifier). */
#define KROGW_LICENSE "Apache-2.0"

#if defined(_WIN32)
#define KROGW_EXPORT __declspec(dllexport)
#else
#define KROGW_EXPORT __attribute__((visibility("default")))
#endif

/* Request results shared by every handler. */
#define KROGW_RESULT_DONE 0
#define KROGW_RESULT_NOT_DONE 1
#define KROGW_RESULT_FAILED 2

/* Function codes. */
#define KROGW_START_INSTANCE 1
#define KROGW_RECONNECT_GATEWAY 2
#define KROGW_PARSE_GATE_ADDRESS 3
#define KROGW_CHECK_ARRAY_ADDRESS 4
#define KROGW_READ_GATE 5
#define KROGW_READ_GATE_ARRAY 6
#define KROGW_WRITE_GATE 7
#define KROGW_WRITE_GATE_ARRAY 10
#define KROGW_CLOSE_INSTANCE 11
#define KROGW_GET_DRIVER_INFO 14
#define KROGW_SET_REPLY_TIMEOUT 15

/* The 18 address forms of a gate (GateAddress.kind). */
#define KROGW_GATE_TABLE_ELEMENT 0
#define KROGW_GATE_GATEWAY_STATUS 1
#define KROGW_GATE_RTU_STATUS 2
#define KROGW_GATE_POLL_ROWS 3
#define KROGW_GATE_LAST_ERROR 4
#define KROGW_GATE_POLL_NUMBERED_ROWS 5
#define KROGW_GATE_POLL_LOAD 6
#define KROGW_GATE_ACTIVE_GATEWAY 7
#define KROGW_GATE_COMMAND_LOAD 8
#define KROGW_GATE_RTU_TIME 9
#define KROGW_GATE_SETCALL_EXECUTE 10
#define KROGW_GATE_SETCALL_RTU 11
#define KROGW_GATE_SETCALL_QR 12
#define KROGW_GATE_SETCALL_QD 13
#define KROGW_GATE_SETCALL_QC 14
#define KROGW_GATE_SETCALL_SR 15
#define KROGW_GATE_SETCALL_SD 16
#define KROGW_GATE_RTU_CHANNEL_STATUS 17
#define KROGW_GATE_GATEWAY_STATISTIC 18
#define KROGW_GATE_RTU_STATISTIC 19

/* unit_id values that are not RTU numbers. */
#define KROGW_UNIT_PRIMARY_GATEWAY 0xFFF0
#define KROGW_UNIT_SECONDARY_GATEWAY 0xFFF1
#define KROGW_UNIT_RTU_SPECIAL 0xFFF2
#define KROGW_UNIT_DRIVER_SPECIAL 0xFFF3

#define KROGW_FIXED_WORD 255

#ifdef __cplusplus
namespace krogw {

constexpr int32_t kResultDone = KROGW_RESULT_DONE;
constexpr int32_t kResultNotDone = KROGW_RESULT_NOT_DONE;
constexpr int32_t kResultFailed = KROGW_RESULT_FAILED;

enum FunctionCode : int32_t {
    kStartInstance = KROGW_START_INSTANCE,
    kReconnectGateway = KROGW_RECONNECT_GATEWAY,
    kParseGateAddress = KROGW_PARSE_GATE_ADDRESS,
    kCheckArrayAddress = KROGW_CHECK_ARRAY_ADDRESS,
    kReadGate = KROGW_READ_GATE,
    kReadGateArray = KROGW_READ_GATE_ARRAY,
    kWriteGate = KROGW_WRITE_GATE,
    kWriteGateArray = KROGW_WRITE_GATE_ARRAY,
    kCloseInstance = KROGW_CLOSE_INSTANCE,
    kUnsupported12 = 12,
    kUnsupported13 = 13,
    kGetDriverInfo = KROGW_GET_DRIVER_INFO,
    kSetReplyTimeout = KROGW_SET_REPLY_TIMEOUT,
};
constexpr int kHandlerSlots = 16;

enum GateKind : int32_t {
    TableElement = KROGW_GATE_TABLE_ELEMENT,
    GatewayStatus = KROGW_GATE_GATEWAY_STATUS,
    RtuStatus = KROGW_GATE_RTU_STATUS,
    PollRows = KROGW_GATE_POLL_ROWS,
    LastError = KROGW_GATE_LAST_ERROR,
    PollNumberedRows = KROGW_GATE_POLL_NUMBERED_ROWS,
    PollLoad = KROGW_GATE_POLL_LOAD,
    ActiveGateway = KROGW_GATE_ACTIVE_GATEWAY,
    CommandLoad = KROGW_GATE_COMMAND_LOAD,
    RtuTime = KROGW_GATE_RTU_TIME,
    SetCallExecute = KROGW_GATE_SETCALL_EXECUTE,
    SetCallRtu = KROGW_GATE_SETCALL_RTU,
    SetCallQr = KROGW_GATE_SETCALL_QR,
    SetCallQd = KROGW_GATE_SETCALL_QD,
    SetCallQc = KROGW_GATE_SETCALL_QC,
    SetCallSr = KROGW_GATE_SETCALL_SR,
    SetCallSd = KROGW_GATE_SETCALL_SD,
    RtuChannelStatus = KROGW_GATE_RTU_CHANNEL_STATUS,
    GatewayStatistic = KROGW_GATE_GATEWAY_STATISTIC,
    RtuStatistic = KROGW_GATE_RTU_STATISTIC,
};
constexpr int32_t kGateKindCount = 20;

constexpr int32_t PrimaryGatewayUnit = KROGW_UNIT_PRIMARY_GATEWAY;
constexpr int32_t SecondaryGatewayUnit = KROGW_UNIT_SECONDARY_GATEWAY;
constexpr int32_t RtuSpecialUnit = KROGW_UNIT_RTU_SPECIAL;
constexpr int32_t DriverSpecialUnit = KROGW_UNIT_DRIVER_SPECIAL;

constexpr int32_t kFixedWord = KROGW_FIXED_WORD;
#endif

/* The records, the same in both languages. Every field's comment is word for word its
   row in the integration guide's table of fields (a test compares them). */
struct DriverContext;

/* The five words by which the driver recognises a gate; the host hands them back
   unchanged with every read and write. */
struct GateAddress {
    int32_t unit_id;    /* the RTU, or 0xFFF0..0xFFF3 for gateway and driver gates */
    int32_t kind;       /* the address form, a KROGW_GATE_ value */
    int32_t subaddress; /* the place within the unit, packed by kind */
    int32_t fixed_word; /* always 255 */
    int32_t bit_width;  /* 8, 16 or 32: the width of the gate's value */
};

struct HostRequest {
    struct DriverContext* context; /* the instance's context block of context_size bytes */
    int32_t function_code;         /* what to do, a KROGW_ function code */
    int32_t driver_number;         /* the instance number nn, 1..255 */
    int32_t reserved;              /* not used */
    void* arguments;               /* the argument block of the function code */
};

/* Code 1. */
struct StartArguments {
    int32_t reserved[3];        /* not used */
    int32_t start_flag;         /* 0: read the configuration and stop there */
    int32_t reply_timeout_10ms; /* reply time-out in 10 ms units, at least 3000 ms */
};

/* Code 2. */
struct ReconnectArguments {
    int32_t gateway_unit; /* 0xFFF0 the primary gateway, 0xFFF1 the secondary */
};

/* Codes 3 and 4. */
struct AddressCheckArguments {
    const char* address_text;   /* the gate's address text, NUL-terminated */
    int32_t gate_id;            /* the id of the gate being defined: duplicate test, table type */
    int32_t reserved;           /* not used */
    int32_t element_count;      /* the elements of an array gate, code 4 only */
    struct GateAddress address; /* filled by the check */
};

/* Codes 5, 6, 7 and 10. */
struct GateIoArguments {
    int32_t reserved[2];        /* not used */
    struct GateAddress address; /* the five words the check filled */
    int32_t reserved2;          /* not used */
    int32_t element_count;      /* the elements of an array gate, codes 6 and 10 */
    int32_t gate_id;            /* the gate's id; a table element read hands it to the runtime */
    uint8_t* value_buffer;      /* the value read or written, laid out by the gate */
};

/* Code 15. */
struct ReplyTimeoutArguments {
    int32_t reserved[3];        /* not used */
    int32_t reply_timeout_10ms; /* 10 ms units: 0 keeps the time-out, below 0 is ignored */
};

/* Code 14. The host gives the three numeric constants their meaning; the driver
   only hands them over. */
struct DriverInfo {
    int32_t driver_code;    /* 82 */
    const char* short_name; /* the driver's short name */
    const char* banner;     /* 379 characters of code page 437 */
    int32_t context_size;   /* the bytes of the context block the host allocates */
    int32_t info_flag;      /* 1 */
    uint8_t host_owned[8];  /* left as the host put them */
    int32_t info_mode;      /* 2 */
};

/* Layout checks: a failing one stops the compile (C11 and C++ name the condition). */
#if defined(__cplusplus)
#define KROGW_ABI_CHECK(condition) static_assert(condition, #condition)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define KROGW_ABI_CHECK(condition) _Static_assert(condition, #condition)
#else
#define KROGW_ABI_CHECK_NAME(line) krogw_abi_check_##line
#define KROGW_ABI_CHECK_AT(condition, line) \
    typedef char KROGW_ABI_CHECK_NAME(line)[(condition) ? 1 : -1]
#define KROGW_ABI_CHECK(condition) KROGW_ABI_CHECK_AT(condition, __LINE__)
#endif

#if defined(_WIN32) && !defined(_WIN64)
KROGW_ABI_CHECK(sizeof(void*) == 4);
KROGW_ABI_CHECK(offsetof(struct HostRequest, context) == 0);
KROGW_ABI_CHECK(offsetof(struct HostRequest, function_code) == 4);
KROGW_ABI_CHECK(offsetof(struct HostRequest, driver_number) == 8);
KROGW_ABI_CHECK(offsetof(struct HostRequest, reserved) == 12);
KROGW_ABI_CHECK(offsetof(struct HostRequest, arguments) == 16);
KROGW_ABI_CHECK(sizeof(struct HostRequest) == 20);

KROGW_ABI_CHECK(offsetof(struct StartArguments, start_flag) == 12);
KROGW_ABI_CHECK(offsetof(struct StartArguments, reply_timeout_10ms) == 16);
KROGW_ABI_CHECK(offsetof(struct ReconnectArguments, gateway_unit) == 0);

KROGW_ABI_CHECK(offsetof(struct AddressCheckArguments, address_text) == 0);
KROGW_ABI_CHECK(offsetof(struct AddressCheckArguments, gate_id) == 4);
KROGW_ABI_CHECK(offsetof(struct AddressCheckArguments, element_count) == 12);
KROGW_ABI_CHECK(offsetof(struct AddressCheckArguments, address) == 16);
KROGW_ABI_CHECK(sizeof(struct AddressCheckArguments) == 36);

KROGW_ABI_CHECK(offsetof(struct GateIoArguments, address) == 8);
KROGW_ABI_CHECK(offsetof(struct GateIoArguments, element_count) == 32);
KROGW_ABI_CHECK(offsetof(struct GateIoArguments, gate_id) == 36);
KROGW_ABI_CHECK(offsetof(struct GateIoArguments, value_buffer) == 40);
KROGW_ABI_CHECK(sizeof(struct GateIoArguments) == 44);

KROGW_ABI_CHECK(offsetof(struct ReplyTimeoutArguments, reply_timeout_10ms) == 12);

KROGW_ABI_CHECK(offsetof(struct DriverInfo, driver_code) == 0);
KROGW_ABI_CHECK(offsetof(struct DriverInfo, short_name) == 4);
KROGW_ABI_CHECK(offsetof(struct DriverInfo, banner) == 8);
KROGW_ABI_CHECK(offsetof(struct DriverInfo, context_size) == 12);
KROGW_ABI_CHECK(offsetof(struct DriverInfo, info_flag) == 16);
KROGW_ABI_CHECK(offsetof(struct DriverInfo, host_owned) == 20);
KROGW_ABI_CHECK(offsetof(struct DriverInfo, info_mode) == 28);
KROGW_ABI_CHECK(sizeof(struct DriverInfo) == 32);
#elif UINTPTR_MAX == UINT64_MAX
/* 64-bit builds, Linux and Windows alike: the same fields, naturally aligned. */
KROGW_ABI_CHECK(offsetof(struct HostRequest, function_code) == 8);
KROGW_ABI_CHECK(offsetof(struct HostRequest, arguments) == 24);
KROGW_ABI_CHECK(sizeof(struct HostRequest) == 32);
KROGW_ABI_CHECK(offsetof(struct AddressCheckArguments, address) == 20);
KROGW_ABI_CHECK(offsetof(struct GateIoArguments, value_buffer) == 40);
KROGW_ABI_CHECK(offsetof(struct DriverInfo, banner) == 16);
KROGW_ABI_CHECK(offsetof(struct DriverInfo, info_mode) == 40);
KROGW_ABI_CHECK(sizeof(struct DriverInfo) == 48);
#endif

KROGW_ABI_CHECK(sizeof(struct GateAddress) == 20);
KROGW_ABI_CHECK(offsetof(struct GateAddress, bit_width) == 16);

#ifdef __cplusplus
}  // namespace krogw

extern "C" KROGW_EXPORT int32_t KroMain(krogw::HostRequest* request);
#else
KROGW_EXPORT int32_t KroMain(struct HostRequest* request);
#endif

/* The type of KroMain, for hosts that look it up after loading the driver. */
#ifdef __cplusplus
typedef int32_t (*KroMainFunction)(krogw::HostRequest* request);
#else
typedef int32_t (*KroMainFunction)(struct HostRequest* request);
#endif

#endif
