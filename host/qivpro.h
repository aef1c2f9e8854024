/* The host runtime operations that the driver calls (QIVPRO.dll on Windows,
   libqivpro.so on Linux). Every status is 0 on success unless said otherwise.
   A C99 and C++11 header: a host runtime defines these operations; building it as
   QIVPRO.dll, define QIVPRO_BUILD so that they are exported. */
#ifndef KROGW_QIVPRO_H
#define KROGW_QIVPRO_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(QIVPRO_BUILD)
#define QIVPRO_API __declspec(dllexport)
#else
#define QIVPRO_API __declspec(dllimport)
#endif
#else
#define QIVPRO_API __attribute__((visibility("default")))
#endif

/* Log levels of err(). */
#define QIV_LOG_TRACE 8
#define QIV_LOG_ERROR 32
#ifdef __cplusplus
constexpr int kLogTrace = QIV_LOG_TRACE;
constexpr int kLogError = QIV_LOG_ERROR;
#endif

/* What QivWaitMsg hands a client thread; the driver only looks at the result. */
struct QivMessage {
    uint8_t bytes[64];
};

#ifdef __cplusplus
extern "C" {
#endif

/* Registers a client; the handle goes to *client. */
QIVPRO_API uint16_t QivMkClient(const char* name, int32_t kind, int32_t flags, uint8_t* client);
QIVPRO_API uint16_t QivRmClient(uint8_t client);
/* Returns at once; 0 means that the host ends the client. */
QIVPRO_API uint16_t QivWaitMsg(uint8_t client, struct QivMessage* message, int32_t wait);
/* *mode 1: this host is the standby. */
QIVPRO_API uint16_t QivGetBackupMode(uint8_t client, int32_t* mode);
/* Low 16 bits of the result 0: a gate with these words exists and its id is in *gate_id. */
QIVPRO_API uint16_t QivGetGateIdByAddress(uint8_t client, int32_t driver_index, int32_t unit_id,
                                          int32_t kind, int32_t subaddress, int32_t fixed_word,
                                          int32_t* gate_id);
QIVPRO_API uint16_t QivCook(uint8_t client, int32_t gate_id, uint32_t raw, double* value);
QIVPRO_API uint16_t QivPutGateVal(uint8_t client, int32_t gate_id, int32_t quality, double value,
                                  int32_t seconds, int32_t milliseconds);
QIVPRO_API uint16_t QivGetGateRawValue(uint8_t client, int32_t gate_id, uint32_t* raw,
                                       int32_t flags);
/* 0 when the gate's value is available. */
QIVPRO_API uint16_t QivGetGateVal(uint8_t client, int32_t mode, int32_t gate_id, double* value,
                                  int32_t* quality, int32_t* seconds);
/* Marks an RTU as failed. */
QIVPRO_API uint16_t QivSetPlcCommStatus(uint8_t client, int32_t driver_number, int32_t rtu,
                                        int32_t status, int32_t flags);
/* The low 16 bits of *serial are the installation number. */
QIVPRO_API uint16_t QivGetPlugSerNum(uint8_t client, int32_t* plug, int32_t* serial);
/* Writes one log line. */
QIVPRO_API int err(int level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

#ifdef __cplusplus
}
#endif

#endif
