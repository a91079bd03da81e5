#include "limits/counting_allocator.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

#include <malloc.h>
#include <unistd.h>

namespace {

std::atomic<int64_t> held{0};
std::atomic<int64_t> peak{0};

void Add(int64_t n) {
    const int64_t now = held.fetch_add(n, std::memory_order_relaxed) + n;
    int64_t top = peak.load(std::memory_order_relaxed);
    while (now > top && !peak.compare_exchange_weak(top, now, std::memory_order_relaxed)) {
    }
}

}  // namespace

namespace heapcount {
int64_t Held() { return held.load(); }
int64_t Peak() { return peak.load(); }
void StartPeak() { peak.store(held.load()); }
}  // namespace heapcount

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator reports each allocation and release to hooks of ours (its
// runtime's entry points; g++ ships no header for them).
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t), void (*)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void*);
}

namespace {
void OnMalloc(const volatile void*, size_t size) { Add(int64_t(size)); }
void OnFree(const volatile void* p) {
    if (p) Add(-int64_t(__sanitizer_get_allocated_size(p)));
}
const int installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
}  // namespace

#else
// glibc's allocator under our own names: this program's definitions take the place of
// the C library's for every library loaded into it.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

static void* Counted(void* p) {
    if (p) Add(int64_t(malloc_usable_size(p)));
    return p;
}

void* malloc(size_t n) { return Counted(__libc_malloc(n)); }
void* calloc(size_t n, size_t m) { return Counted(__libc_calloc(n, m)); }
void free(void* p) {
    if (p) Add(-int64_t(malloc_usable_size(p)));
    __libc_free(p);
}
void* realloc(void* p, size_t n) {
    const int64_t before = p ? int64_t(malloc_usable_size(p)) : 0;
    void* q = __libc_realloc(p, n);
    if (q) Add(int64_t(malloc_usable_size(q)) - before);
    else if (n == 0) Add(-before);
    return q;
}
void* memalign(size_t align, size_t n) { return Counted(__libc_memalign(align, n)); }
void* aligned_alloc(size_t align, size_t n) { return Counted(__libc_memalign(align, n)); }
int posix_memalign(void** out, size_t align, size_t n) {
    if (align < sizeof(void*) || (align & (align - 1)) != 0) return EINVAL;
    void* p = Counted(__libc_memalign(align, n));
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void* valloc(size_t n) { return Counted(__libc_memalign(size_t(sysconf(_SC_PAGESIZE)), n)); }
void* pvalloc(size_t n) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    return Counted(__libc_memalign(page, (n + page - 1) / page * page));
}
}
#endif
