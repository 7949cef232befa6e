#include "SqlitePageMemory.h"

#include <sqlite3.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <malloc.h>
#include <sys/mman.h>

// A run's first write raises the page cache to 128 MiB, and every page it
// changes then takes a new block of about 4 KiB from the heap: some 20,000
// to 30,000 page faults in a run of 30,000 updates, each a trap into the
// system for one zeroed page. SQLite's pages here come instead from one
// reserved region that the system may back with 2 MiB pages (transparent
// huge pages, where the system offers them on request): a fault every 2 MiB.
// Every other allocation, and pages of another size, go to the C library as
// before. The region is only address space until pages are used; a freed
// page returns to the region's free list for the next, not to the system.
namespace sqlite {

namespace {

constexpr std::size_t kRegionBytes = std::size_t(256) << 20;
// A page cache entry: the page itself, SQLite's header and the pager's
// extra bytes.
constexpr int kSmallestPage = 4096 + 64;
constexpr int kLargestPage = 4096 + 1024;

struct Region
{
    char *base = nullptr;
    std::size_t used = 0;
    int slot = 0; // the size of the first page asked for, rounded to 64 bytes
    void *free = nullptr;
    std::mutex lock;
};

Region region;

bool InRegion(const void *p)
{
    const char *c = static_cast<const char *>(p);
    return region.base && c >= region.base && c < region.base + kRegionBytes;
}

void *TakeSlot(int bytes)
{
    const std::lock_guard<std::mutex> hold(region.lock);
    if (region.slot == 0)
        region.slot = (bytes + 63) / 64 * 64;
    if (bytes > region.slot)
        return nullptr;
    if (void *p = region.free) {
        std::memcpy(&region.free, p, sizeof(void *));
        return p;
    }
    if (region.used + std::size_t(region.slot) > kRegionBytes)
        return nullptr;
    void *p = region.base + region.used;
    region.used += std::size_t(region.slot);
    return p;
}

void *Malloc(int bytes)
{
    if (bytes >= kSmallestPage && bytes <= kLargestPage && region.base) {
        if (void *p = TakeSlot(bytes))
            return p;
    }
    return std::malloc(std::size_t(bytes));
}

void Free(void *p)
{
    if (!InRegion(p)) {
        std::free(p);
        return;
    }
    const std::lock_guard<std::mutex> hold(region.lock);
    std::memcpy(p, &region.free, sizeof(void *));
    region.free = p;
}

int Size(void *p)
{
    if (!p)
        return 0;
    return InRegion(p) ? region.slot : int(malloc_usable_size(p));
}

void *Realloc(void *p, int bytes)
{
    if (!InRegion(p))
        return std::realloc(p, std::size_t(bytes));
    if (bytes <= region.slot)
        return p;
    void *moved = std::malloc(std::size_t(bytes));
    if (moved) {
        std::memcpy(moved, p, std::size_t(region.slot));
        Free(p);
    }
    return moved;
}

int Roundup(int bytes)
{
    return (bytes + 7) & ~7;
}

int Init(void *)
{
    return SQLITE_OK;
}

void Shutdown(void *)
{
}

const sqlite3_mem_methods kMethods = {Malloc, Free, Realloc, Size, Roundup, Init, Shutdown, nullptr};

} // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVR_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KVR_ADDRESS_SANITIZER 1
#endif

void UsePageRegion()
{
#if defined(KVR_ADDRESS_SANITIZER)
    // The address sanitizer sees into heap blocks, not into the region.
    return;
#else
    void *base = mmap(nullptr, kRegionBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED)
        return;
    madvise(base, kRegionBytes, MADV_HUGEPAGE);
    // Refused once SQLite is initialised: its pages then stay on the heap.
    if (sqlite3_config(SQLITE_CONFIG_MALLOC, &kMethods) != SQLITE_OK) {
        munmap(base, kRegionBytes);
        return;
    }
    region.base = static_cast<char *>(base);
#endif
}

} // namespace sqlite
