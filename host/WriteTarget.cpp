#include "host/WriteTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/win/FileIO.h"

namespace tarvo::hostapp {

namespace fs = std::filesystem;

namespace {

// The staging file's name ends like the file it stands in for.
constexpr const char* kStagingSuffix = ".x";

bool IsReadOnly(const struct stat& status, const std::string& path) {
    return (status.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0;
}

TargetCheck Refuse(std::string problem) {
    return TargetCheck{std::nullopt, std::move(problem)};
}

std::string CannotWrite(const std::string& subject, int error) {
    return "cannot write " + subject + ": " + std::strerror(error);
}

// One file under two names: the same device and inode once symlinks are followed.
bool IsSameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string HardLinkProblem(const std::string& subject, nlink_t links) {
    const nlink_t others = links - 1;
    return subject + " shares its contents with " + std::to_string(others) + " other hard link" +
           (others == 1 ? "" : "s") + "; replacing it would split them";
}

// What stands at `file` (symlinks already followed) and rules it out; nothing for a regular
// file that may be replaced, or for no file at all.
std::optional<std::string> FileProblem(const std::string& file, const std::string& subject,
                                       const TargetRules& rules) {
    struct stat status {};
    if (::lstat(file.c_str(), &status) != 0) {
        // A new file: whether its directory takes it is the directory's question.
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        return CannotWrite(subject, errno);
    }
    if (S_ISDIR(status.st_mode)) return subject + " is a directory";
    if (!S_ISREG(status.st_mode)) return subject + " is not a regular file";
    if (!rules.scene.empty() && IsSameFile(file, rules.scene))
        return subject + " is the scene being exported (" + rules.scene + ")";
    if (IsReadOnly(status, file)) return subject + " is read-only";
    if (rules.refuseHardLinks && status.st_nlink > 1)
        return HardLinkProblem(subject, status.st_nlink);
    return std::nullopt;
}

std::optional<std::string> DirectoryProblem(const fs::path& directory, const std::string& subject) {
    const std::string cannot = "cannot write " + subject + ": the directory " + directory.string();
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0)
        return errno == ENOENT ? cannot + " does not exist" : cannot + ": " + std::strerror(errno);
    if (!S_ISDIR(status.st_mode)) return cannot + " is not a directory";
    if (IsReadOnly(status, directory.string())) return cannot + " is not writable";
    return std::nullopt;
}

// The directory's entry is what makes a rename last through a crash; the data is on disk
// already, so a failure here does not undo the commit.
void FlushDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

TargetCheck CheckWriteTarget(const std::string& path, const std::string& subject,
                             const TargetRules& rules) {
    std::string followed;
    if (FAILED(FollowSymlinks(path, followed))) return Refuse(CannotWrite(subject, errno));
    std::error_code error;
    const fs::path absolute = fs::absolute(followed, error);
    if (error) return Refuse(CannotWrite(subject, error.value()));
    const fs::path file = absolute.lexically_normal();

    if (auto problem = FileProblem(file.string(), subject, rules)) return Refuse(*problem);
    if (rules.directoryMustBeWritable)
        if (auto problem = DirectoryProblem(file.parent_path(), subject)) return Refuse(*problem);
    if (!file.has_filename()) return Refuse(subject + " does not name a file");
    return TargetCheck{WriteTarget{file.string()}, {}};
}

StagedOutput::StagedOutput(const WriteTarget& target)
    : m_target(target.path),
      m_staging(UnusedPathIn(fs::path(target.path).parent_path().string(), kStagingSuffix)) {}

StagedOutput::~StagedOutput() {
    if (!m_committed) ::unlink(m_staging.c_str());
}

bool StagedOutput::Commit() {
    struct stat replaced {};
    if (::stat(m_target.c_str(), &replaced) == 0 &&
        ::chmod(m_staging.c_str(), replaced.st_mode & 07777) != 0)
        return false;
    if (::rename(m_staging.c_str(), m_target.c_str()) != 0) return false;
    m_committed = true;
    FlushDirectory(fs::path(m_target).parent_path().string());
    return true;
}

}  // namespace tarvo::hostapp
