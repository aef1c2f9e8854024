/* A plain C host as a vendor writes one on Linux: it loads the driver with dlopen (and,
   when given, its own host runtime first), learns the context size and starts instance 1
   with start flag 0, so that the driver logs its start-up line and connects nothing.
     host DRIVER [RUNTIME]
   Exits 0 when the start returned 0: a log call bound to the wrong err() never returns. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

/* The records of include/krogw/abi.h this host uses: same fields, order and widths. */
struct HostRequest {
    void* context;
    int32_t function_code;
    int32_t driver_number;
    int32_t reserved;
    void* arguments;
};

struct StartArguments {
    int32_t reserved[3];
    int32_t start_flag;
    int32_t reply_timeout_10ms;
};

struct DriverInfo {
    int32_t driver_code;
    const char* short_name;
    const char* banner;
    int32_t context_size;
    int32_t info_flag;
    uint8_t host_owned[8];
    int32_t info_mode;
};

typedef int32_t (*KroMainFunction)(struct HostRequest*);

static void* Load(const char* path, int mode) {
    void* handle = dlopen(path, mode);
    if (handle == NULL) {
        fprintf(stderr, "host: %s\n", dlerror());
        exit(2);
    }
    return handle;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s DRIVER [RUNTIME]\n", argv[0]);
        return 2;
    }
    if (argc > 2) {
        Load(argv[2], RTLD_NOW | RTLD_GLOBAL);
    }
    void* driver = Load(argv[1], RTLD_NOW | RTLD_LOCAL);
    KroMainFunction kro_main;
    *(void**)&kro_main = dlsym(driver, "KroMain");
    if (kro_main == NULL) {
        fprintf(stderr, "host: no KroMain in %s\n", argv[1]);
        return 2;
    }

    struct DriverInfo info = {0};
    struct HostRequest request = {NULL, 14, 1, 0, &info};
    if (kro_main(&request) != 0 || info.context_size <= 0) {
        fprintf(stderr, "host: no driver information\n");
        return 2;
    }
    void* context = calloc(1, (size_t)info.context_size);
    struct StartArguments start = {{0, 0, 0}, 0, 300};
    request = (struct HostRequest){context, 1, 1, 0, &start};
    const int32_t result = kro_main(&request);
    printf("host: start returned %d\n", (int)result);
    free(context);
    return result == 0 ? 0 : 1;
}
