#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win/LargePages.h"

namespace {

// The system's flags for the mapping that holds `address`, as /proc/self/smaps lists them
// ("rd wr mr mw me ac hg ..."); empty when no mapping does.
std::string MappingFlags(const void* address) {
    const auto wanted = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t low = 0, high = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> low >> dash >> high && dash == '-') {
            inside = low <= wanted && wanted < high;
            continue;
        }
        if (inside && line.rfind("VmFlags:", 0) == 0) return line.substr(8) + ' ';
    }
    return {};
}

bool AdvisedLarge(const void* address) {
    return MappingFlags(address).find(" hg ") != std::string::npos;
}

// Room of `bytes` that starts on a large-page boundary, unmapped again on destruction.
class AlignedRoom {
  public:
    explicit AlignedRoom(std::size_t bytes) : m_bytes(bytes + kLargePageBytes) {
        void* mapped = ::mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapped != MAP_FAILED) m_mapping = static_cast<char*>(mapped);
    }
    ~AlignedRoom() {
        if (m_mapping != nullptr) ::munmap(m_mapping, m_bytes);
    }
    AlignedRoom(const AlignedRoom&) = delete;
    AlignedRoom& operator=(const AlignedRoom&) = delete;

    char* Begin() const {
        const auto at = reinterpret_cast<std::uintptr_t>(m_mapping);
        return m_mapping + ((kLargePageBytes - at % kLargePageBytes) % kLargePageBytes);
    }
    bool Mapped() const { return m_mapping != nullptr; }

  private:
    std::size_t m_bytes;
    char* m_mapping = nullptr;
};

bool SystemHasLargePages() {
    return std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled").good();
}

TEST(LargePages, AdvisesOnlyTheLargePagesWhollyInsideTheRange) {
    if (!SystemHasLargePages()) GTEST_SKIP() << "the system has no transparent large pages";
    AlignedRoom room(4 * kLargePageBytes);
    ASSERT_TRUE(room.Mapped());
    char* base = room.Begin();
    ASSERT_FALSE(AdvisedLarge(base + kLargePageBytes));

    // From half into the first large page to half into the third: only the second is whole.
    AdviseLargePages(base + kLargePageBytes / 2, 2 * kLargePageBytes);
    EXPECT_FALSE(AdvisedLarge(base));
    EXPECT_FALSE(AdvisedLarge(base + kLargePageBytes - 1));
    EXPECT_TRUE(AdvisedLarge(base + kLargePageBytes));
    EXPECT_TRUE(AdvisedLarge(base + 2 * kLargePageBytes - 1));
    EXPECT_FALSE(AdvisedLarge(base + 2 * kLargePageBytes));

    // A range as long as a large page but across a boundary holds no whole one.
    AdviseLargePages(base + 2 * kLargePageBytes + 1, kLargePageBytes);
    EXPECT_FALSE(AdvisedLarge(base + 2 * kLargePageBytes + 1));
    EXPECT_FALSE(AdvisedLarge(base + 3 * kLargePageBytes));
    // Exactly one large page, on its boundaries.
    AdviseLargePages(base + 3 * kLargePageBytes, kLargePageBytes);
    EXPECT_TRUE(AdvisedLarge(base + 3 * kLargePageBytes));
    EXPECT_TRUE(AdvisedLarge(base + 4 * kLargePageBytes - 1));
    EXPECT_FALSE(AdvisedLarge(base + 2 * kLargePageBytes + 1));
}

TEST(LargePages, AllocatedMemoryStartsOnALargePageAndIsAdvisedToItsEnd) {
    if (!SystemHasLargePages()) GTEST_SKIP() << "the system has no transparent large pages";
    // Three and a half large pages: the last one only partly asked for.
    const std::size_t bytes = 7 * kLargePageBytes / 2;
    auto* memory = static_cast<char*>(AllocateLargePaged(bytes));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % kLargePageBytes, 0u);
    EXPECT_TRUE(AdvisedLarge(memory)) << MappingFlags(memory);
    EXPECT_TRUE(AdvisedLarge(memory + bytes - 1)) << MappingFlags(memory + bytes - 1);
    memory[0] = 'a';
    memory[bytes - 1] = 'z';
    EXPECT_EQ(memory[0] + memory[bytes - 1], 'a' + 'z');
    FreeLargePaged(memory);
}

TEST(LargePages, MemoryBeyondAnySizeIsRefused) {
    EXPECT_THROW(AllocateLargePaged(std::numeric_limits<std::size_t>::max() - 1), std::bad_alloc);
}

// Which of the `pages` pages from `first` are resident.
std::vector<bool> Resident(const char* first, std::size_t pages, std::size_t pageBytes) {
    std::vector<unsigned char> states(pages);
    if (::mincore(const_cast<char*>(first), pages * pageBytes, states.data()) != 0) return {};
    std::vector<bool> resident;
    for (unsigned char state : states) resident.push_back((state & 1) != 0);
    return resident;
}

TEST(LargePages, PreparesOnlyThePagesWhollyInsideTheRange) {
    const auto pageBytes = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    AlignedRoom room(8 * pageBytes);
    ASSERT_TRUE(room.Mapped());
    char* base = room.Begin();
    // Small pages only, also where the system gives large ones unasked.
    ASSERT_TRUE(::madvise(base, 8 * pageBytes, MADV_NOHUGEPAGE) == 0 || !SystemHasLargePages());
    ASSERT_EQ(Resident(base, 8, pageBytes), std::vector<bool>(8, false));

    // From the middle of page 1 to the middle of page 5: pages 2 to 4 are whole.
    PrepareForWriting(base + pageBytes + pageBytes / 2, 4 * pageBytes);
    const std::vector<bool> resident = Resident(base, 8, pageBytes);
    if (resident == std::vector<bool>(8, false))
        GTEST_SKIP() << "the system cannot fill pages in advance (MADV_POPULATE_WRITE)";
    EXPECT_EQ(resident, (std::vector<bool>{false, false, true, true, true, false, false, false}));
}

}  // namespace
