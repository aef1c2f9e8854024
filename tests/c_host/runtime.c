/* A host runtime written from the integration guide alone: every operation the driver
   imports, built as libqivpro.so with the kit's version script. Its log goes to standard
   output; the rest only answers. */
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

uint16_t QivMkClient(const char* name, int32_t kind, int32_t flags, uint8_t* client) {
    (void)name, (void)kind, (void)flags;
    *client = 1;
    return 0;
}

uint16_t QivRmClient(uint8_t client) {
    (void)client;
    return 0;
}

uint16_t QivWaitMsg(uint8_t client, void* message, int32_t wait) {
    (void)client, (void)message, (void)wait;
    return 0;
}

uint16_t QivGetBackupMode(uint8_t client, int32_t* mode) {
    (void)client;
    *mode = 0;
    return 0;
}

uint16_t QivGetGateIdByAddress(uint8_t client, int32_t driver_index, int32_t unit_id, int32_t kind,
                               int32_t subaddress, int32_t fixed_word, int32_t* gate_id) {
    (void)client, (void)driver_index, (void)unit_id, (void)kind, (void)subaddress, (void)fixed_word,
        (void)gate_id;
    return 1;
}

uint16_t QivCook(uint8_t client, int32_t gate_id, uint32_t raw, double* value) {
    (void)client, (void)gate_id;
    *value = raw;
    return 0;
}

uint16_t QivPutGateVal(uint8_t client, int32_t gate_id, int32_t quality, double value,
                       int32_t seconds, int32_t milliseconds) {
    (void)client, (void)gate_id, (void)quality, (void)value, (void)seconds, (void)milliseconds;
    return 0;
}

uint16_t QivGetGateRawValue(uint8_t client, int32_t gate_id, uint32_t* raw, int32_t flags) {
    (void)client, (void)gate_id, (void)flags;
    *raw = 0;
    return 0;
}

uint16_t QivGetGateVal(uint8_t client, int32_t mode, int32_t gate_id, double* value,
                       int32_t* quality, int32_t* seconds) {
    (void)client, (void)mode, (void)gate_id, (void)value, (void)quality, (void)seconds;
    return 1;
}

uint16_t QivSetPlcCommStatus(uint8_t client, int32_t driver_number, int32_t rtu, int32_t status,
                             int32_t flags) {
    (void)client, (void)driver_number, (void)rtu, (void)status, (void)flags;
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
    printf("runtime log [%d] ", level);
    const int length = vprintf(format, arguments);
    va_end(arguments);
    printf("\n");
    fflush(stdout);
    return length;
}
