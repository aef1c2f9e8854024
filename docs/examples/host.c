/* A minimal host in C: loads its runtime and the driver, asks for the driver
   information, starts instance 1 (kroGW01.int in the current directory), defines a poll
   gate and a table gate, polls until the table gate holds a value, prints it, closes the
   instance, ends its client and releases everything.
     host RUNTIME DRIVER POLL_ADDRESS VALUE_ADDRESS
   for instance: host ./libqivpro.so /opt/krogw/lib/libkrogw.so P000010050100002 00001005010001
   Exits 0 when the value arrived. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <krogw/abi.h>

#include "runtime.h"

enum { kDriverNumber = 1, kPollGate = 1, kValueGate = 2 };

static void* Load(const char* path, int mode) {
    void* handle = dlopen(path, mode);
    if (handle == NULL) {
        fprintf(stderr, "host: %s\n", dlerror());
        exit(2);
    }
    return handle;
}

static void* Find(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (symbol == NULL) {
        fprintf(stderr, "host: no %s\n", name);
        exit(2);
    }
    return symbol;
}

static void Pause(long milliseconds) {
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}

static KroMainFunction kro_main;
static struct DriverContext* context;

static int32_t Call(int32_t function_code, void* arguments) {
    struct HostRequest request = {context, function_code, kDriverNumber, 0, arguments};
    return kro_main(&request);
}

/* Code 3, then the gate goes into the runtime with the words the check filled. */
static int DefineGate(RuntimeDefineGateFunction define, int32_t gate_id, const char* text,
                      struct GateAddress* address) {
    struct AddressCheckArguments check;
    memset(&check, 0, sizeof check);
    check.address_text = text;
    check.gate_id = gate_id;
    if (Call(KROGW_PARSE_GATE_ADDRESS, &check) != KROGW_RESULT_DONE) {
        fprintf(stderr, "host: address %s rejected\n", text);
        return 1;
    }
    *address = check.address;
    return define(kDriverNumber, gate_id, address);
}

/* Code 5. A table gate's value is the raw word at bytes 0-3 of the buffer, little-endian. */
static int32_t ReadGate(int32_t gate_id, const struct GateAddress* address, uint32_t* raw) {
    uint8_t value[4] = {0, 0, 0, 0};
    struct GateIoArguments io;
    memset(&io, 0, sizeof io);
    io.address = *address;
    io.element_count = 1;
    io.gate_id = gate_id;
    io.value_buffer = value;
    const int32_t result = Call(KROGW_READ_GATE, &io);
    *raw = (uint32_t)value[0] | (uint32_t)value[1] << 8 | (uint32_t)value[2] << 16 |
           (uint32_t)value[3] << 24;
    return result;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: %s RUNTIME DRIVER POLL_ADDRESS VALUE_ADDRESS\n", argv[0]);
        return 2;
    }
    /* The runtime first and global: the driver's imports bind to it. */
    void* runtime = Load(argv[1], RTLD_NOW | RTLD_GLOBAL);
    RuntimeDefineGateFunction define_gate;
    RuntimeEndClientsFunction end_clients;
    RuntimeClientRemovalsFunction client_removals;
    *(void**)&define_gate = Find(runtime, "RuntimeDefineGate");
    *(void**)&end_clients = Find(runtime, "RuntimeEndClients");
    *(void**)&client_removals = Find(runtime, "RuntimeClientRemovals");
    void* driver = Load(argv[2], RTLD_NOW | RTLD_LOCAL);
    *(void**)&kro_main = Find(driver, "KroMain");

    struct DriverInfo info;
    memset(&info, 0, sizeof info);
    if (Call(KROGW_GET_DRIVER_INFO, &info) != KROGW_RESULT_DONE || info.context_size <= 0) {
        fprintf(stderr, "host: no driver information\n");
        return 2;
    }
    printf("host: driver %s, context of %d bytes\n", info.short_name, (int)info.context_size);
    context = calloc(1, (size_t)info.context_size);

    struct StartArguments start = {{0, 0, 0}, 1, 300};
    const int32_t started = Call(KROGW_START_INSTANCE, &start);
    printf("host: start returned %d\n", (int)started);

    int got_value = 0;
    struct GateAddress poll_address;
    struct GateAddress value_address;
    if (started == KROGW_RESULT_DONE &&
        DefineGate(define_gate, kPollGate, argv[3], &poll_address) == 0 &&
        DefineGate(define_gate, kValueGate, argv[4], &value_address) == 0) {
        /* A poll's reply reaches the table gate through the runtime; the read of the
           table gate then answers from what the runtime holds. */
        for (int attempt = 0; attempt < 50 && !got_value; ++attempt) {
            uint32_t raw;
            ReadGate(kPollGate, &poll_address, &raw);
            Pause(200);
            if (ReadGate(kValueGate, &value_address, &raw) == KROGW_RESULT_DONE) {
                /* 8- and 16-bit values sit in the upper half of the raw word. */
                const uint32_t value = value_address.bit_width == 32 ? raw : raw >> 16;
                printf("host: %s = %u\n", argv[4], (unsigned)value);
                got_value = 1;
            }
        }
    }

    Call(KROGW_CLOSE_INSTANCE, NULL);
    if (started == KROGW_RESULT_DONE) {
        /* The context may go once both instance threads have let their client go. */
        end_clients();
        for (int waited = 0; client_removals() < 2 && waited < 100; ++waited) {
            Pause(100);
        }
    }
    free(context);
    dlclose(driver);
    dlclose(runtime);
    printf("host: %s\n", got_value ? "done" : "no value");
    return got_value ? 0 : 1;
}
