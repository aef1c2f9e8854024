/* The host side of the example runtime: what the example host asks of its own runtime
   besides the operations the driver imports (<krogw/qivpro.h>). */
#ifndef EXAMPLE_RUNTIME_H
#define EXAMPLE_RUNTIME_H

#include <krogw/abi.h>

/* Defines a gate of an instance with the words the driver's address check filled.
   0 done, 1 when the gate table is full. */
typedef int (*RuntimeDefineGateFunction)(int32_t driver_number, int32_t gate_id,
                                         const struct GateAddress* address);
/* From now on QivWaitMsg tells every client that the host ends it. */
typedef void (*RuntimeEndClientsFunction)(void);
/* How many times the driver has let a client go (each instance thread does it once). */
typedef int (*RuntimeClientRemovalsFunction)(void);

#endif
