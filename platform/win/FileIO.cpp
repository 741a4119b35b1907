#include "platform/win/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <random>
#include <utility>
#include <vector>

namespace {

// Bytes asked of the system per read.
constexpr std::size_t kReadChunkBytes = 65536;

// What a new file may get at most; the umask takes its share when the file is made.
constexpr mode_t kNewFileMode = 0666;

// The short names that files get while they are written.
constexpr std::string_view kTemporaryPrefix = ".tarvo-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kRandomNameLength = 6;
constexpr std::string_view kNameLetters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
// Tries at an unused name before giving up: another process taking each of them in turn
// means something is wrong.
constexpr int kNameAttempts = 100;

thread_local FileWriteFailure t_lastWriteFailure;

HRESULT ResultOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        case EACCES:
        case EPERM:
        case EROFS:
            return E_ACCESSDENIED;
        case ENOSPC:
        case EDQUOT:
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        case EISDIR:
            return HRESULT_FROM_WIN32(ERROR_DIRECTORY_NOT_SUPPORTED);
        case ELOOP:
            return HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME);
        case ENAMETOOLONG:
            return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
        default:
            return E_FAIL;
    }
}

// Records the failure of writing `path` for LastFileWriteFailure, leaves the reason in
// errno for the caller, and gives the result.
HRESULT WriteFailed(const std::string& path, int error, HRESULT result) {
    t_lastWriteFailure = FileWriteFailure{path, error};
    errno = error;
    return result;
}

HRESULT WriteFailed(const std::string& path, int error) {
    return WriteFailed(path, error, ResultOfErrno(error));
}

// A file descriptor, closed when its holder goes.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Closes now, for callers that must know whether the last write-back worked.
    bool Close() {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0;
    }

  private:
    int m_fd;
};

// A name given to a file that is not yet in its place; removed when its holder goes unless
// the file has been moved away.
class TemporaryName {
  public:
    TemporaryName() = default;
    ~TemporaryName() {
        if (!m_path.empty()) ::unlink(m_path.c_str());
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;

    void Take(std::string path) { m_path = std::move(path); }
    const std::string& Path() const { return m_path; }
    void Release() { m_path.clear(); }

  private:
    std::string m_path;
};

std::string RandomLetters() {
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, kNameLetters.size() - 1);
    std::string letters;
    for (std::size_t i = 0; i < kRandomNameLength; ++i) letters += kNameLetters[pick(generator)];
    return letters;
}

std::string TemporaryPathIn(const std::string& directory, std::string_view suffix) {
    std::string path = directory;
    if (!path.empty() && path.back() != '/') path += '/';
    path += kTemporaryPrefix;
    path += RandomLetters();
    path += suffix;
    return path;
}

// Calls `attempt` with fresh temporary paths in `directory` until it does not fail with
// EEXIST; returns its last errno (0 for success), having given the path to `name`.
template <typename Attempt>
int WithUnusedName(const std::string& directory, TemporaryName& name, Attempt attempt) {
    int error = EEXIST;
    for (int i = 0; i < kNameAttempts && error == EEXIST; ++i) {
        std::string path = TemporaryPathIn(directory, kTemporarySuffix);
        error = attempt(path);
        if (error == 0) name.Take(std::move(path));
    }
    return error;
}

// Something, even a dangling link, already has this name.
bool IsTaken(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

std::string DirectoryOf(const std::string& path) {
    const std::string directory = std::filesystem::path(path).parent_path().string();
    return directory.empty() ? "." : directory;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written == 0) errno = EIO;  // no progress and no reason: not expected of a file
        if (written <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

// What stands at the target before the write: nothing, or a regular file whose mode the new
// file takes over.
struct ExistingTarget {
    bool exists = false;
    mode_t mode = 0;
};

bool IsReadOnly(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

// Refuses a target that must not be replaced by a new regular file; 0 or the refusal.
HRESULT CheckTarget(const std::string& path, const std::string& target, ExistingTarget& existing) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0) {
        if (errno == ENOENT) return S_OK;
        return WriteFailed(path, errno);
    }
    if (S_ISDIR(status.st_mode)) return WriteFailed(path, EISDIR);
    if (!S_ISREG(status.st_mode))
        return WriteFailed(path, EPERM, HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    if (IsReadOnly(status.st_mode)) return WriteFailed(path, EACCES);
    existing.exists = true;
    existing.mode = status.st_mode & 07777;
    return S_OK;
}

// The file being made, through its descriptor; keeps the first failure.
class DescriptorOutput final : public FileOutput {
  public:
    explicit DescriptorOutput(int fd) : m_fd(fd) {}

    bool Append(std::span<const std::uint8_t> bytes) override {
        if (m_error != 0) return false;
        if (!WriteAll(m_fd, bytes)) m_error = errno;
        return m_error == 0;
    }

    bool Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) override {
        while (m_error == 0 && !bytes.empty()) {
            ssize_t written =
                ::pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                m_error = written == 0 ? EIO : errno;
                break;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(written));
            offset += static_cast<std::size_t>(written);
        }
        return m_error == 0;
    }

    int Error() const { return m_error; }

  private:
    int m_fd;
    int m_error = 0;
};

using Producer = std::function<void(FileOutput&)>;

// Fills the open file, gives it the mode of the file it replaces and flushes it to disk;
// 0 or the errno of the failure.
int FillFile(int fd, const Producer& produce, const ExistingTarget& existing) {
    // A new file's mode came from the umask when it was made.
    if (existing.exists && ::fchmod(fd, existing.mode) != 0) return errno;
    DescriptorOutput output(fd);
    produce(output);
    if (output.Error() != 0) return output.Error();
    if (::fsync(fd) != 0) return errno;
    return 0;
}

// Makes the whole file under a temporary name in `directory`: unnamed first and named once
// complete, or named from the start. 0 or the errno of the failure; ENOTSUP when the file
// system cannot make unnamed files.
int MakeUnnamedFile(const std::string& directory, const Producer& produce,
                    const ExistingTarget& existing, TemporaryName& name) {
    FileDescriptor file(::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kNewFileMode));
    if (!file.IsOpen()) {
        // Kernels and file systems without unnamed files answer with one of these.
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return ENOTSUP;
        return errno;
    }
    if (const int error = FillFile(file.Get(), produce, existing)) return error;
    // The file's entry in /proc names it without privileges (AT_EMPTY_PATH would need them).
    const std::string self = "/proc/self/fd/" + std::to_string(file.Get());
    const int error = WithUnusedName(directory, name, [&self](const std::string& path) {
        return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0
                   ? 0
                   : errno;
    });
    // Without /proc there is no way to name it: write it again under a name.
    if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) return ENOTSUP;
    if (error != 0) return error;
    return file.Close() ? 0 : errno;
}

int MakeNamedFile(const std::string& directory, const Producer& produce,
                  const ExistingTarget& existing, TemporaryName& name) {
    int fd = -1;
    const int error = WithUnusedName(directory, name, [&fd](const std::string& path) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        return fd >= 0 ? 0 : errno;
    });
    if (error != 0) return error;
    FileDescriptor file(fd);
    if (const int failed = FillFile(file.Get(), produce, existing)) return failed;
    return file.Close() ? 0 : errno;
}

// Makes the renamed entry last: without this a crash soon after could bring back the
// previous file. The data is safe either way, so a failure here is not the write's.
void FlushDirectory(const std::string& directory) {
    FileDescriptor handle(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.IsOpen()) (void)::fsync(handle.Get());
}

HRESULT ResultOfOpenForReading(int error) {
    switch (error) {
        case ENOENT:
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        case EACCES:
            return E_ACCESSDENIED;
        default:
            return E_FAIL;
    }
}

// Reads as much of a regular file as its size says straight into `bytes`, so that a large
// file is neither copied chunk by chunk nor grown step by step; false when a read fails.
bool ReadKnownSize(int fd, std::string& bytes, std::size_t maxBytes) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return true;
    const std::size_t expected = std::min(static_cast<std::size_t>(status.st_size), maxBytes);
    bytes.resize(expected);
    std::size_t done = 0;
    while (done < expected) {
        const ssize_t got = ::read(fd, bytes.data() + done, expected - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return true;
}

// Appends what is left of the open file up to `maxBytes` in all; false when a read fails.
bool ReadAll(int fd, std::string& bytes, std::size_t maxBytes) {
    if (!ReadKnownSize(fd, bytes, maxBytes)) return false;
    // A file may be longer than it said, or have no size to say (a pipe).
    std::vector<char> chunk(std::min(kReadChunkBytes, maxBytes));
    while (bytes.size() < maxBytes) {
        const std::size_t wanted = std::min(chunk.size(), maxBytes - bytes.size());
        const ssize_t got = ::read(fd, chunk.data(), wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return true;
}

}  // namespace

HRESULT WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                            StagingFile staging) {
    return WriteFileAtomically(
        path, [bytes](FileOutput& output) { (void)output.Append(bytes); }, staging);
}

HRESULT WriteFileAtomically(const std::string& path, const Producer& produce, StagingFile staging) {
    std::string target;
    if (HRESULT hr = FollowSymlinks(path, target); FAILED(hr)) return WriteFailed(path, errno, hr);
    ExistingTarget existing;
    if (HRESULT hr = CheckTarget(path, target, existing); FAILED(hr)) return hr;

    const std::string directory = DirectoryOf(target);
    TemporaryName name;
    int error = ENOTSUP;
    if (staging == StagingFile::kUnnamedWhenPossible)
        error = MakeUnnamedFile(directory, produce, existing, name);
    if (error == ENOTSUP) error = MakeNamedFile(directory, produce, existing, name);
    if (error == 0 && ::rename(name.Path().c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) return WriteFailed(path, error);
    name.Release();
    FlushDirectory(directory);
    return S_OK;
}

HRESULT FollowSymlinks(const std::string& path, std::string& target) {
    namespace fs = std::filesystem;
    std::string current = path;
    for (int hop = 0; hop <= kMaxSymlinkHops; ++hop) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0) {
            // The end of the chain is yet to be made; whether it can be is the writer's
            // question.
            if (errno != ENOENT && errno != ENOTDIR) return ResultOfErrno(errno);
            target = current;
            return S_OK;
        }
        if (!S_ISLNK(status.st_mode)) {
            target = current;
            return S_OK;
        }
        std::array<char, PATH_MAX> link{};
        const ssize_t length = ::readlink(current.c_str(), link.data(), link.size());
        if (length < 0) return ResultOfErrno(errno);
        if (static_cast<std::size_t>(length) == link.size()) {
            errno = ENAMETOOLONG;
            return ResultOfErrno(errno);
        }
        const fs::path next(std::string(link.data(), static_cast<std::size_t>(length)));
        current =
            next.is_absolute() ? next.string() : (fs::path(current).parent_path() / next).string();
    }
    errno = ELOOP;
    return ResultOfErrno(errno);
}

std::string UnusedPathIn(const std::string& directory, std::string_view suffix) {
    std::string path = TemporaryPathIn(directory, suffix);
    // A directory that cannot be looked into answers every name alike; the caller's own
    // use of the path then meets the reason.
    for (int i = 1; i < kNameAttempts && IsTaken(path); ++i)
        path = TemporaryPathIn(directory, suffix);
    return path;
}

const FileWriteFailure& LastFileWriteFailure() {
    return t_lastWriteFailure;
}

void ForgetFileWriteFailure() {
    t_lastWriteFailure = FileWriteFailure{};
}

HRESULT ReadWholeFile(const std::string& path, std::string& bytes, std::size_t maxBytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ResultOfOpenForReading(errno);
    const bool read = ReadAll(fd, bytes, maxBytes);
    const int error = errno;
    ::close(fd);
    if (!read) {
        bytes.clear();
        errno = error;
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
    return S_OK;
}
