/* A host runtime written from the integration guide: every operation the driver imports,
   over a small gate table. Built as libqivpro.so with the kit's version script:
     cc -shared -fPIC -pthread -Wl,-soname,libqivpro.so \
        -Wl,--version-script=$(pkg-config --variable=qivpro_map krogw) \
        $(pkg-config --cflags krogw) runtime.c -o libqivpro.so
   Its log goes to standard output, one line per call of err. */
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>

#include <krogw/abi.h>
#include <krogw/qivpro.h>

#include "runtime.h"

enum { kMaxGates = 64 };

struct Gate {
    int32_t driver_number;
    int32_t gate_id;
    struct GateAddress address;
    uint32_t raw; /* as the driver gave it to QivCook */
    double value; /* the engineering value; here the raw value itself */
    int has_value;
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static struct Gate gates[kMaxGates];
static int gate_count;
static int clients_ending;
static int client_removals;

/* Called with the lock held. */
static struct Gate* FindGate(int32_t gate_id) {
    for (int i = 0; i < gate_count; ++i) {
        if (gates[i].gate_id == gate_id) {
            return &gates[i];
        }
    }
    return NULL;
}

int RuntimeDefineGate(int32_t driver_number, int32_t gate_id, const struct GateAddress* address) {
    pthread_mutex_lock(&lock);
    const int full = gate_count == kMaxGates;
    if (!full) {
        struct Gate gate = {driver_number, gate_id, *address, 0, 0.0, 0};
        gates[gate_count++] = gate;
    }
    pthread_mutex_unlock(&lock);
    return full;
}

void RuntimeEndClients(void) {
    pthread_mutex_lock(&lock);
    clients_ending = 1;
    pthread_mutex_unlock(&lock);
}

int RuntimeClientRemovals(void) {
    pthread_mutex_lock(&lock);
    const int removals = client_removals;
    pthread_mutex_unlock(&lock);
    return removals;
}

uint16_t QivMkClient(const char* name, int32_t kind, int32_t flags, uint8_t* client) {
    (void)kind, (void)flags;
    printf("runtime: client %s\n", name);
    *client = 1;
    return 0;
}

uint16_t QivRmClient(uint8_t client) {
    (void)client;
    pthread_mutex_lock(&lock);
    ++client_removals;
    pthread_mutex_unlock(&lock);
    return 0;
}

uint16_t QivWaitMsg(uint8_t client, struct QivMessage* message, int32_t wait) {
    (void)client, (void)message, (void)wait;
    pthread_mutex_lock(&lock);
    const int ending = clients_ending;
    pthread_mutex_unlock(&lock);
    return ending ? 0 : 1;
}

uint16_t QivGetBackupMode(uint8_t client, int32_t* mode) {
    (void)client;
    *mode = 0;
    return 0;
}

/* The driver passes the driver number minus 1 and the first four address words. */
uint16_t QivGetGateIdByAddress(uint8_t client, int32_t driver_index, int32_t unit_id, int32_t kind,
                               int32_t subaddress, int32_t fixed_word, int32_t* gate_id) {
    (void)client;
    uint16_t result = 1;
    pthread_mutex_lock(&lock);
    for (int i = 0; i < gate_count; ++i) {
        const struct Gate* gate = &gates[i];
        if (gate->driver_number == driver_index + 1 && gate->address.unit_id == unit_id &&
            gate->address.kind == kind && gate->address.subaddress == subaddress &&
            gate->address.fixed_word == fixed_word) {
            *gate_id = gate->gate_id;
            result = 0;
            break;
        }
    }
    pthread_mutex_unlock(&lock);
    return result;
}

uint16_t QivCook(uint8_t client, int32_t gate_id, uint32_t raw, double* value) {
    (void)client;
    pthread_mutex_lock(&lock);
    struct Gate* gate = FindGate(gate_id);
    if (gate != NULL) {
        gate->raw = raw;
    }
    pthread_mutex_unlock(&lock);
    *value = raw;
    return gate != NULL ? 0 : 1;
}

uint16_t QivPutGateVal(uint8_t client, int32_t gate_id, int32_t quality, double value,
                       int32_t seconds, int32_t milliseconds) {
    (void)client, (void)quality, (void)seconds, (void)milliseconds;
    pthread_mutex_lock(&lock);
    struct Gate* gate = FindGate(gate_id);
    if (gate != NULL) {
        gate->value = value;
        gate->has_value = 1;
    }
    pthread_mutex_unlock(&lock);
    return gate != NULL ? 0 : 1;
}

uint16_t QivGetGateRawValue(uint8_t client, int32_t gate_id, uint32_t* raw, int32_t flags) {
    (void)client, (void)flags;
    pthread_mutex_lock(&lock);
    const struct Gate* gate = FindGate(gate_id);
    if (gate != NULL) {
        *raw = gate->raw;
    }
    pthread_mutex_unlock(&lock);
    return gate != NULL ? 0 : 1;
}

/* 0 once the gate holds a value. */
uint16_t QivGetGateVal(uint8_t client, int32_t mode, int32_t gate_id, double* value,
                       int32_t* quality, int32_t* seconds) {
    (void)client, (void)mode;
    pthread_mutex_lock(&lock);
    const struct Gate* gate = FindGate(gate_id);
    const int available = gate != NULL && gate->has_value;
    if (available) {
        *value = gate->value;
        *quality = 0;
        *seconds = 0;
    }
    pthread_mutex_unlock(&lock);
    return available ? 0 : 1;
}

uint16_t QivSetPlcCommStatus(uint8_t client, int32_t driver_number, int32_t rtu, int32_t status,
                             int32_t flags) {
    (void)client, (void)status, (void)flags;
    printf("runtime: instance %d RTU %d failed\n", (int)driver_number, (int)rtu);
    return 0;
}

uint16_t QivGetPlugSerNum(uint8_t client, int32_t* plug, int32_t* serial) {
    (void)client;
    *plug = 1;
    *serial = 1;
    return 0;
}

int err(int level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    pthread_mutex_lock(&lock);
    printf("runtime log [%d] ", level);
    const int length = vprintf(format, arguments);
    printf("\n");
    fflush(stdout);
    pthread_mutex_unlock(&lock);
    va_end(arguments);
    return length;
}
