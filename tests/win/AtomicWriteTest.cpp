// WriteFileAtomically: the file appears whole or not at all, whatever happens to the writer,
// and only regular files are replaced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/FileIO.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using tarvo::testsupport::ReadText;
using tarvo::testsupport::TempDir;

namespace {

// The longest file name the file systems in use allow.
constexpr std::size_t kLongestName = 255;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

void WriteText(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

mode_t ModeOf(const std::string& file) {
    struct stat status {};
    EXPECT_EQ(::stat(file.c_str(), &status), 0) << file;
    return status.st_mode & 07777;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Whether this directory's file system makes unnamed files, which the kill test needs.
bool MakesUnnamedFiles(const fs::path& directory) {
    const int fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// The umask for one test.
class Umask {
  public:
    explicit Umask(mode_t mask) : m_previous(::umask(mask)) {}
    ~Umask() { ::umask(m_previous); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

  private:
    mode_t m_previous;
};

// A file size limit for this process, with the signal for crossing it ignored, so that a
// write past it fails with EFBIG instead of ending the process.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        m_previousAction = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousAction);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit m_previous{};
    void (*m_previousAction)(int) = SIG_DFL;
};

// Run in a child process: crossing the file size limit sends SIGXFSZ, whose default action
// ends the process in the middle of the write, as a kill would.
void WriteUntilTheFileSizeLimitEndsTheProcess(const std::string& file) {
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::vector<std::uint8_t> big(1 << 20, 'x');
    (void)WriteFileAtomically(file, big);
    std::_Exit(0);
}

class AtomicWrite : public ::testing::TestWithParam<StagingFile> {
  protected:
    TempDir dir{"tarvo-atomic"};
};

INSTANTIATE_TEST_SUITE_P(BothStagings, AtomicWrite,
                         ::testing::Values(StagingFile::kUnnamedWhenPossible, StagingFile::kNamed),
                         [](const auto& info) {
                             return info.param == StagingFile::kNamed ? "Named" : "Unnamed";
                         });

}  // namespace

TEST_P(AtomicWrite, NewFileHasTheBytesAndTheModeTheUmaskAllows) {
    Umask mask(027);
    const std::string file = dir.File("new.x");
    ASSERT_EQ(WriteFileAtomically(file, Bytes("xof 0303txt 0032\n"), GetParam()), S_OK);
    EXPECT_EQ(ReadText(file), "xof 0303txt 0032\n");
    EXPECT_EQ(ModeOf(file), 0640u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"new.x"});
}

TEST_P(AtomicWrite, ReplacedFileKeepsItsMode) {
    Umask mask(022);
    const std::string file = dir.File("kept.x");
    WriteText(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0604), 0);
    ASSERT_EQ(WriteFileAtomically(file, Bytes("new"), GetParam()), S_OK);
    EXPECT_EQ(ReadText(file), "new");
    EXPECT_EQ(ModeOf(file), 0604u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"kept.x"});
}

TEST_P(AtomicWrite, FailedWriteLeavesThePreviousFileAndNoOtherName) {
    const std::string file = dir.File("out.x");
    WriteText(file, "previous");
    ForgetFileWriteFailure();
    {
        FileSizeLimit limit(4096);
        const std::vector<std::uint8_t> big(1 << 20, 'x');
        EXPECT_EQ(WriteFileAtomically(file, big, GetParam()), E_FAIL);
        EXPECT_EQ(errno, EFBIG);
    }
    EXPECT_EQ(LastFileWriteFailure().path, file);
    EXPECT_EQ(LastFileWriteFailure().error, EFBIG);
    EXPECT_EQ(ReadText(file), "previous");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.x"});
}

TEST_P(AtomicWrite, NameOfTheLongestLegalLengthIsWritten) {
    const std::string name = std::string(kLongestName - 2, 'n') + ".x";
    ASSERT_EQ(WriteFileAtomically(dir.File(name), Bytes("long"), GetParam()), S_OK);
    EXPECT_EQ(ReadText(dir.File(name)), "long");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
    // Replacing it needs a temporary name that fits as well.
    ASSERT_EQ(WriteFileAtomically(dir.File(name), Bytes("longer"), GetParam()), S_OK);
    EXPECT_EQ(ReadText(dir.File(name)), "longer");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
}

TEST(AtomicWrite, NameLongerThanTheFileSystemAllowsIsRefused) {
    TempDir dir("tarvo-atomic");
    const std::string name(kLongestName + 1, 'n');
    EXPECT_EQ(WriteFileAtomically(dir.File(name), Bytes("x")),
              HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(AtomicWrite, ProcessKilledWhileWritingLeavesNothingBehind) {
    TempDir dir("tarvo-atomic");
    if (!MakesUnnamedFiles(dir.Path()))
        GTEST_SKIP() << dir.Path() << " is on a file system without unnamed files (O_TMPFILE)";
    const std::string file = dir.File("out.x");
    WriteText(file, "previous");
    EXPECT_EXIT(WriteUntilTheFileSizeLimitEndsTheProcess(file), ::testing::KilledBySignal(SIGXFSZ),
                "");
    EXPECT_EQ(ReadText(file), "previous");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.x"});
}

TEST(AtomicWrite, ReaderSeesTheWholeOldOrTheWholeNewFile) {
    TempDir dir("tarvo-atomic");
    const std::string file = dir.File("out.x");
    const std::string first(256 * 1024, 'a');
    const std::string second(300 * 1024, 'b');
    WriteText(file, first);
    std::atomic<bool> writing{true};
    int torn = 0;
    int reads = 0;
    std::thread reader([&] {
        while (writing.load() || reads == 0) {
            const std::string seen = ReadText(file);
            if (seen != first && seen != second) ++torn;
            ++reads;
        }
    });
    constexpr int kWrites = 40;
    for (int i = 0; i < kWrites; ++i)
        ASSERT_EQ(WriteFileAtomically(file, Bytes(i % 2 == 0 ? second : first)), S_OK);
    writing.store(false);
    reader.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.x"});
}

TEST(AtomicWrite, SymlinkChainIsWrittenThroughToItsEnd) {
    TempDir dir("tarvo-atomic");
    fs::create_directories(dir.Path() / "real");
    fs::create_directories(dir.Path() / "links");
    WriteText(dir.File("real/scene.x"), "old");
    ASSERT_EQ(::chmod(dir.File("real/scene.x").c_str(), 0640), 0);
    // first -> (absolute) second -> (relative to its own directory) ../real/scene.x
    fs::create_symlink("../real/scene.x", dir.Path() / "links" / "second.x");
    fs::create_symlink(dir.Path() / "links" / "second.x", dir.Path() / "first.x");

    ASSERT_EQ(WriteFileAtomically(dir.File("first.x"), Bytes("new")), S_OK);
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "first.x"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "links" / "second.x"));
    EXPECT_EQ(fs::read_symlink(dir.Path() / "links" / "second.x"), "../real/scene.x");
    EXPECT_EQ(ReadText(dir.File("real/scene.x")), "new");
    EXPECT_EQ(ModeOf(dir.File("real/scene.x")), 0640u);
    EXPECT_EQ(Sorted(dir.Entries()), (std::vector<std::string>{"first.x", "links", "real"}));
    EXPECT_EQ(fs::directory_iterator(dir.Path() / "real")->path().filename(), "scene.x");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "real"), {}), 1);
}

TEST(AtomicWrite, DanglingSymlinkMakesTheFileItNames) {
    TempDir dir("tarvo-atomic");
    fs::create_symlink("made.x", dir.Path() / "link.x");
    ASSERT_EQ(WriteFileAtomically(dir.File("link.x"), Bytes("made")), S_OK);
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "link.x"));
    EXPECT_EQ(ReadText(dir.File("made.x")), "made");
    EXPECT_EQ(Sorted(dir.Entries()), (std::vector<std::string>{"link.x", "made.x"}));
}

TEST(AtomicWrite, SymlinkLoopIsRefused) {
    TempDir dir("tarvo-atomic");
    fs::create_symlink("b.x", dir.Path() / "a.x");
    fs::create_symlink("a.x", dir.Path() / "b.x");
    EXPECT_EQ(WriteFileAtomically(dir.File("a.x"), Bytes("x")),
              HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "a.x"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "b.x"));
    EXPECT_EQ(dir.Entries().size(), 2u);
}

TEST(AtomicWrite, DirectoryAtThePathIsNotReplaced) {
    TempDir dir("tarvo-atomic");
    fs::create_directories(dir.Path() / "out.x");
    ForgetFileWriteFailure();
    EXPECT_EQ(WriteFileAtomically(dir.File("out.x"), Bytes("x")),
              HRESULT_FROM_WIN32(ERROR_DIRECTORY_NOT_SUPPORTED));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(LastFileWriteFailure().path, dir.File("out.x"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "out.x"));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.x"});
}

TEST(AtomicWrite, FifoAtThePathIsNotReplaced) {
    TempDir dir("tarvo-atomic");
    ASSERT_EQ(::mkfifo(dir.File("out.x").c_str(), 0644), 0);
    EXPECT_EQ(WriteFileAtomically(dir.File("out.x"), Bytes("x")),
              HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    EXPECT_TRUE(fs::is_fifo(dir.Path() / "out.x"));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.x"});
}

TEST(AtomicWrite, SymlinkToADeviceDoesNotReplaceTheDevice) {
    TempDir dir("tarvo-atomic");
    fs::create_symlink("/dev/null", dir.Path() / "out.x");
    EXPECT_EQ(WriteFileAtomically(dir.File("out.x"), Bytes("x")),
              HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "out.x"));
}

TEST(AtomicWrite, ReadOnlyFileIsKeptAlsoForTheSuperuser) {
    TempDir dir("tarvo-atomic");
    const std::string file = dir.File("out.x");
    WriteText(file, "keep me");
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_EQ(WriteFileAtomically(file, Bytes("x")), E_ACCESSDENIED);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(ReadText(file), "keep me");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.x"});
}

TEST(AtomicWrite, MissingDirectoryIsPathNotFound) {
    TempDir dir("tarvo-atomic");
    EXPECT_EQ(WriteFileAtomically(dir.File("absent/out.x"), Bytes("x")),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(AtomicWrite, UnwritableDirectoryIsAccessDenied) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write in any directory";
    TempDir dir("tarvo-atomic");
    fs::create_directories(dir.Path() / "locked");
    ASSERT_EQ(::chmod((dir.Path() / "locked").c_str(), 0555), 0);
    EXPECT_EQ(WriteFileAtomically(dir.File("locked/out.x"), Bytes("x")), E_ACCESSDENIED);
    EXPECT_EQ(errno, EACCES);
    EXPECT_TRUE(fs::is_empty(dir.Path() / "locked"));
}

TEST(FollowSymlinks, PlainPathsAndMissingFilesAreTheirOwnTarget) {
    TempDir dir("tarvo-atomic");
    WriteText(dir.File("plain.x"), "x");
    std::string target;
    ASSERT_EQ(FollowSymlinks(dir.File("plain.x"), target), S_OK);
    EXPECT_EQ(target, dir.File("plain.x"));
    ASSERT_EQ(FollowSymlinks(dir.File("absent.x"), target), S_OK);
    EXPECT_EQ(target, dir.File("absent.x"));
    ASSERT_EQ(FollowSymlinks("relative.x", target), S_OK);
    EXPECT_EQ(target, "relative.x");
}

TEST(FollowSymlinks, FollowsAsManyLinksAsTheKernelDoesAndNoMore) {
    TempDir dir("tarvo-atomic");
    WriteText(dir.File("end.x"), "x");
    std::string previous = "end.x";
    for (int i = 1; i <= kMaxSymlinkHops + 1; ++i) {
        const std::string name = "link" + std::to_string(i);
        fs::create_symlink(previous, dir.Path() / name);
        previous = name;
    }
    std::string target;
    ASSERT_EQ(FollowSymlinks(dir.File("link" + std::to_string(kMaxSymlinkHops)), target), S_OK);
    EXPECT_EQ(target, dir.File("end.x"));
    EXPECT_EQ(FollowSymlinks(dir.File("link" + std::to_string(kMaxSymlinkHops + 1)), target),
              HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME));
    EXPECT_EQ(errno, ELOOP);
}

TEST(UnusedPathIn, IsShortFixedAndFree) {
    TempDir dir("tarvo-atomic");
    const std::string first = UnusedPathIn(dir.Path().string(), ".x");
    const std::string second = UnusedPathIn(dir.Path().string() + "/", ".x");
    const std::string name = fs::path(first).filename().string();
    EXPECT_EQ(fs::path(first).parent_path(), dir.Path());
    EXPECT_EQ(fs::path(second).parent_path(), dir.Path());
    EXPECT_EQ(name.rfind(".tarvo-", 0), 0u) << name;
    EXPECT_EQ(name.size(), std::string(".tarvo-XXXXXX.x").size()) << name;
    EXPECT_EQ(name.substr(name.size() - 2), ".x");
    EXPECT_NE(first, second);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(dir.Entries().empty());
}
