// Advice to the system on the memory of a mesh's long lists, which a scene file may hold
// millions of items of. Advice only: where the system cannot follow it, the memory works
// as it would without.
#pragma once

#include <cstddef>

namespace tarvo::scene {

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

}  // namespace tarvo::scene
