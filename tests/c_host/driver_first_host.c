/* A host that loads the driver before anything of its own runtime, which the loader finds
   through the host's own RPATH: the driver's libqivpro.so must then be the host's runtime,
   never a stand-in found beside the driver.
     driver_first_host DRIVER
   Starts instance 1 with start flag 0 (kroGW01.int in the current directory), whose lines
   the runtime prints. Exits 0 when the host's runtime served the driver, 1 when another
   library did or the start failed, 2 when the driver does not load. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <krogw/abi.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s DRIVER\n", argv[0]);
        return 2;
    }
    void* driver = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (driver == NULL) {
        fprintf(stderr, "host: %s\n", dlerror());
        return 2;
    }
    /* Only the host's runtime has the host's own operations beside the driver's imports. */
    void* runtime = dlopen("libqivpro.so", RTLD_NOW | RTLD_NOLOAD);
    if (runtime == NULL || dlsym(runtime, "RuntimeDefineGate") == NULL) {
        fprintf(stderr, "host: the driver's libqivpro.so is not the host's runtime\n");
        return 1;
    }
    KroMainFunction kro_main = (KroMainFunction)dlsym(driver, "KroMain");
    struct DriverInfo info;
    struct HostRequest request = {NULL, KROGW_GET_DRIVER_INFO, 1, 0, &info};
    if (kro_main == NULL || kro_main(&request) != KROGW_RESULT_DONE) {
        fprintf(stderr, "host: no driver information\n");
        return 1;
    }
    struct StartArguments start = {{0, 0, 0}, 0, 300};
    request.context = calloc(1, (size_t)info.context_size);
    request.function_code = KROGW_START_INSTANCE;
    request.arguments = &start;
    const int32_t result = request.context != NULL ? kro_main(&request) : KROGW_RESULT_FAILED;
    printf("host: start with flag 0 answered %d\n", (int)result);
    free(request.context);
    return result == KROGW_RESULT_DONE ? 0 : 1;
}
