#include "host/scene/SceneFileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>  // also program_invocation_short_name

namespace tarvo::scenefile {
namespace {

// Closes the descriptor on every way out.
class OpenFile {
  public:
    explicit OpenFile(const std::string& file) : m_fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC)) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int Descriptor() const { return m_fd; }

  private:
    int m_fd;
};

// Reads up to `bytes` bytes; how many it got before the end of the file, or -1 on failure.
std::ptrdiff_t ReadUpTo(int fd, char* into, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = ::read(fd, into + done, bytes - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::ptrdiff_t>(done);
}

// What the program says when the file's mapped pages fault, opening with its name as its
// other messages do.
std::string CutShortMessage(const std::string& file) {
    std::string message = program_invocation_short_name;
    message += ": ";
    message += file;
    message +=
        ": cannot be read: it changed while it was being read (another program cut it "
        "short)\n";
    return message;
}

}  // namespace

SceneFileBytes::~SceneFileBytes() {
    Release();
}

void SceneFileBytes::Release() {
    // The range is no longer the file's once it is unmapped, and the system may hand it out
    // again at once.
    m_guard.Release();
    if (m_mapping != nullptr) ::munmap(m_mapping, m_mappingBytes);
    m_mapping = nullptr;
    m_mappingBytes = 0;
    m_bytes = nullptr;
    m_size = 0;
    m_mapped = false;
}

bool SceneFileBytes::Read(const std::string& file) {
    Release();
    struct stat status {};
    // Only a regular file is opened here: opening a named pipe and leaving it would take the
    // writer's connection from the ordinary read that follows.
    if (::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    OpenFile open(file);
    if (open.Descriptor() < 0 || ::fstat(open.Descriptor(), &status) != 0 ||
        !S_ISREG(status.st_mode))
        return false;
    const auto size = static_cast<std::size_t>(status.st_size);
    return Map(open.Descriptor(), size, file) || Copy(open.Descriptor(), size);
}

bool SceneFileBytes::Map(int fd, std::size_t size, const std::string& file) {
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0) return false;
    const auto pageBytes = static_cast<std::size_t>(page);
    // An empty file cannot be mapped, and one that fills its last page has no byte after it.
    if (size == 0 || size % pageBytes == 0) return false;
    // Populated at once: one call into the system instead of a fault per group of pages.
    // Read-only while it is populated, which would otherwise copy every page for writing.
    void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapping == MAP_FAILED) return false;
    m_mapping = mapping;
    m_mappingBytes = size;
    m_mapped = true;
    // Guarded before the first byte is touched (writing the zero reads the last page too),
    // and up to the end of that page, where the zero goes.
    const std::size_t mappedPages = (size + pageBytes - 1) / pageBytes;
    if (!m_guard.Guard(mapping, mappedPages * pageBytes, CutShortMessage(file))) {
        Release();
        return false;
    }
    // A file cut short meanwhile would leave pages past its new end that fault when read.
    struct stat status {};
    if (::fstat(fd, &status) != 0 || static_cast<std::size_t>(status.st_size) != size) {
        Release();
        return false;
    }
    // Only the last page is made writable, for the zero after the end, which then lives in
    // a private copy of it; every other page stays the cached file's own.
    char* bytes = static_cast<char*>(mapping);
    const std::size_t lastPage = size / pageBytes * pageBytes;
    if (::mprotect(bytes + lastPage, size - lastPage, PROT_READ | PROT_WRITE) != 0) {
        Release();
        return false;
    }
    bytes[size] = '\0';
    m_bytes = bytes;
    m_size = size;
    return true;
}

bool SceneFileBytes::Copy(int fd, std::size_t size) {
    // One byte more than the file, for the zero after it and to notice a file that grew.
    m_mappingBytes = size + 1;
    m_mapping =
        ::mmap(nullptr, m_mappingBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m_mapping == MAP_FAILED) {
        m_mapping = nullptr;
        return false;
    }
    char* bytes = static_cast<char*>(m_mapping);
    const std::ptrdiff_t got = ReadUpTo(fd, bytes, size + 1);
    if (got < 0 || static_cast<std::size_t>(got) > size) {
        Release();
        return false;
    }
    // The memory came zero-filled from the system, so the byte after the last one read is
    // a zero.
    m_bytes = bytes;
    m_size = static_cast<std::size_t>(got);
    return true;
}

}  // namespace tarvo::scenefile
