#include "platform/win/LargePages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace {

// The whole units of `unit` bytes that lie inside the range; empty when none does.
struct WholeUnits {
    std::uintptr_t first = 0;
    std::uintptr_t end = 0;
    bool Empty() const { return first >= end; }
    void* Begin() const { return reinterpret_cast<void*>(first); }
    std::size_t Bytes() const { return end - first; }
};

WholeUnits WholeUnitsWithin(void* begin, std::size_t bytes, std::uintptr_t unit) {
    const auto start = reinterpret_cast<std::uintptr_t>(begin);
    return {(start + unit - 1) / unit * unit, (start + bytes) / unit * unit};
}

// `bytes` rounded up to whole large pages.
std::size_t WholeLargePages(std::size_t bytes) {
    return (bytes + kLargePageBytes - 1) / kLargePageBytes * kLargePageBytes;
}

}  // namespace

void* AllocateLargePaged(std::size_t bytes) {
    if (bytes > WholeLargePages(bytes)) throw std::bad_alloc();  // rounding wrapped around
    const std::size_t rounded = WholeLargePages(bytes);
    void* memory = ::operator new (rounded, std::align_val_t{kLargePageBytes});
    AdviseLargePages(memory, rounded);
    return memory;
}

void FreeLargePaged(void* memory) noexcept {
    ::operator delete (memory, std::align_val_t{kLargePageBytes});
}

void AdviseLargePages(void* begin, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
    const WholeUnits stretches = WholeUnitsWithin(begin, bytes, kLargePageBytes);
    if (!stretches.Empty())
        static_cast<void>(::madvise(stretches.Begin(), stretches.Bytes(), MADV_HUGEPAGE));
#else
    static_cast<void>(begin);
    static_cast<void>(bytes);
#endif
}

void PrepareForWriting(void* begin, std::size_t bytes) noexcept {
#ifdef MADV_POPULATE_WRITE
    static const long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0) return;
    const WholeUnits pages = WholeUnitsWithin(begin, bytes, static_cast<std::uintptr_t>(page));
    if (!pages.Empty())
        static_cast<void>(::madvise(pages.Begin(), pages.Bytes(), MADV_POPULATE_WRITE));
#else
    static_cast<void>(begin);
    static_cast<void>(bytes);
#endif
}
