// Memory for large arrays (a mesh's long lists, a save tree's payloads), and advice to the
// system on how it is used. Advice only: where the system cannot follow it, the memory works
// as it would without.
#pragma once

#include <cstddef>
#include <memory>

// The size of a large page, which the system may give at one fault instead of 512 small
// ones: 2 MiB on x86-64 and on 64-bit ARM with 4 KiB pages.
inline constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

// Asks for the whole large-page stretches of the range to come as large pages when first
// touched. On a virtual machine every small page costs a trap to the hypervisor on first
// touch (5 to 6 microseconds each on the 2-core build machine); a large page costs one for
// 512 of them. Stretches only partly inside the range are left as they are, so that the
// advice never reaches another allocation's memory, and a range under a large page gets
// none at all.
void AdviseLargePages(void* begin, std::size_t bytes) noexcept;

// Memory for `bytes` bytes that starts on a large page and ends on one, advised large pages
// (AdviseLargePages), so that the whole of it, its first and last stretch too, comes as
// large pages. The end's stretch is memory only once it is touched, and then at most one
// large page more than asked for. Throws std::bad_alloc when there is none. Given back with
// FreeLargePaged.
void* AllocateLargePaged(std::size_t bytes);
void FreeLargePaged(void* memory) noexcept;

// Has the system give memory to the whole small pages of the range in one call, before they
// are written, instead of at a fault per page on first write. Only pages wholly inside the
// range, so that no other data's pages are touched.
void PrepareForWriting(void* begin, std::size_t bytes) noexcept;

// The standard allocator, but an array of a large page or more comes from AllocateLargePaged
// (a million faces would otherwise fill some five thousand small pages). A count too large
// for memory is left to the standard allocator, which refuses it.
template <typename T>
struct LargePagedAllocator : std::allocator<T> {
    using value_type = T;
    LargePagedAllocator() noexcept = default;
    template <typename U>
    LargePagedAllocator(const LargePagedAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (!FillsLargePage(n)) return std::allocator<T>::allocate(n);
        return static_cast<T*>(AllocateLargePaged(n * sizeof(T)));
    }
    void deallocate(T* items, std::size_t n) noexcept {
        if (!FillsLargePage(n)) return std::allocator<T>::deallocate(items, n);
        FreeLargePaged(items);
    }

  private:
    static bool FillsLargePage(std::size_t n) {
        return n >= kLargePageBytes / sizeof(T) &&
               n <= std::allocator_traits<std::allocator<T>>::max_size({});
    }
};
