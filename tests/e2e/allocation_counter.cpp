#include "tests/e2e/allocation_counter.h"

#include <execinfo.h>
#include <link.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

// glibc's own allocator under its exported second names.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace krogw::test::allocations {
namespace {

constexpr int kMaxSegments = 8;
constexpr int kMaxFrames = 48;
constexpr int kMaxSites = 16;

struct Library {
    const char* file_name = nullptr;
    uintptr_t base = 0;
    int segment_count = 0;
    uintptr_t begin[kMaxSegments] = {};
    uintptr_t end[kMaxSegments] = {};

    bool Holds(uintptr_t address) const {
        for (int i = 0; i < segment_count; ++i) {
            if (address >= begin[i] && address < end[i]) {
                return true;
            }
        }
        return false;
    }
};

Library driver;
Library host;
std::atomic<bool> armed{false};
std::atomic<uint64_t> all_count{0};
std::atomic<uint64_t> driver_count{0};
uintptr_t sites[kMaxSites];
// The hook's own allocations (the unwinder's first use) are not counted.
thread_local bool inside_hook = false;

int NoteSegments(dl_phdr_info* info, size_t, void*) {
    const char* slash = std::strrchr(info->dlpi_name, '/');
    const char* file_name = slash != nullptr ? slash + 1 : info->dlpi_name;
    for (Library* library : {&driver, &host}) {
        if (std::strcmp(file_name, library->file_name) != 0) {
            continue;
        }
        library->base = info->dlpi_addr;
        for (int i = 0; i < info->dlpi_phnum && library->segment_count < kMaxSegments; ++i) {
            const ElfW(Phdr)& header = info->dlpi_phdr[i];
            if (header.p_type == PT_LOAD && (header.p_flags & PF_X) != 0) {
                library->begin[library->segment_count] = info->dlpi_addr + header.p_vaddr;
                library->end[library->segment_count] =
                    info->dlpi_addr + header.p_vaddr + header.p_memsz;
                ++library->segment_count;
            }
        }
    }
    return 0;
}

void Charge() {
    if (!armed.load(std::memory_order_relaxed) || inside_hook) {
        return;
    }
    inside_hook = true;
    all_count.fetch_add(1);
    void* frames[kMaxFrames];
    const int depth = backtrace(frames, kMaxFrames);
    for (int i = 0; i < depth; ++i) {
        const auto address = reinterpret_cast<uintptr_t>(frames[i]);
        if (host.Holds(address)) {
            break;
        }
        if (driver.Holds(address)) {
            const uint64_t index = driver_count.fetch_add(1);
            if (index < kMaxSites) {
                sites[index] = address - driver.base;
            }
            break;
        }
    }
    inside_hook = false;
}

void* Allocate(size_t size, size_t alignment) noexcept {
    if (alignment <= alignof(std::max_align_t)) {
        return std::malloc(size == 0 ? 1 : size);
    }
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void* AllocateOrThrow(size_t size, size_t alignment) {
    void* pointer = Allocate(size, alignment);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}

}  // namespace

bool Arm(const char* driver_file_name, const char* host_file_name) {
    driver = Library{driver_file_name};
    host = Library{host_file_name};
    dl_iterate_phdr(NoteSegments, nullptr);
    void* frames[4];
    backtrace(frames, 4);  // loads the unwinder before counting starts
    all_count = 0;
    driver_count = 0;
    armed = driver.segment_count > 0 && host.segment_count > 0;
    return armed;
}

void Disarm() {
    armed = false;
}

uint64_t All() {
    return all_count.load();
}

uint64_t Driver() {
    return driver_count.load();
}

std::vector<uintptr_t> DriverSites() {
    const uint64_t count = driver_count.load();
    return std::vector<uintptr_t>(sites, sites + (count < kMaxSites ? count : kMaxSites));
}

}  // namespace krogw::test::allocations

using krogw::test::allocations::Allocate;
using krogw::test::allocations::AllocateOrThrow;
using krogw::test::allocations::Charge;

extern "C" {

void* malloc(size_t size) noexcept {
    Charge();
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
    Charge();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) noexcept {
    Charge();
    return __libc_realloc(pointer, size);
}

void* memalign(size_t alignment, size_t size) noexcept {
    Charge();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
    Charge();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    Charge();
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) {
        return ENOMEM;
    }
    *out = pointer;
    return 0;
}

}  // extern "C"

void* operator new(size_t size) {
    return AllocateOrThrow(size, 0);
}
void* operator new[](size_t size) {
    return AllocateOrThrow(size, 0);
}
void* operator new(size_t size, std::align_val_t alignment) {
    return AllocateOrThrow(size, static_cast<size_t>(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return AllocateOrThrow(size, static_cast<size_t>(alignment));
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, 0);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, 0);
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<size_t>(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<size_t>(alignment));
}
void operator delete(void* pointer) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, size_t, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, size_t, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(pointer);
}
