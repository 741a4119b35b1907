// A scene file cut short by another program while its pages are mapped: the loader's bus
// error becomes a message naming the file and the status of a scene that cannot be read,
// and every other bus error keeps its usual ending.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/CommandLine.h"
#include "host/scene/MappedFileGuard.h"
#include "host/scene/SceneFileBytes.h"
#include "tests/support/TempDir.h"

namespace tarvo {
namespace {

using scenefile::SceneFileBytes;
using testsupport::TempDir;

static_assert(scenefile::kExitSceneUnreadable == hostapp::kExitFailure,
              "a scene cut short while it is read ends the program as any unreadable scene does");

// Several pages and a part of one, so that the file is mapped and its first pages stay the
// file's own (only the last one is copied, for the zero after the end).
std::string SceneText() {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return "{\"nodes\": []}" + std::string(3 * page + 100, ' ');
}

std::string WriteScene(const TempDir& dir, const std::string& name) {
    const std::string file = dir.File(name);
    std::ofstream(file, std::ios::binary) << SceneText();
    return file;
}

void CutShort(const std::string& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) std::abort();
    ::close(fd);
}

// Read through a volatile pointer, which the compiler may neither drop nor move.
char FirstByte(const SceneFileBytes& bytes) {
    return *static_cast<const volatile char*>(bytes.View().data());
}

void MapOrAbort(SceneFileBytes& bytes, const std::string& file) {
    if (!bytes.Read(file) || !bytes.Mapped()) std::abort();
}

// The default ending of a bus error, whatever a sanitizer put in its place, so that the
// tests see what the program sees outside them.
void DefaultBusErrorEnding() {
    ::signal(SIGBUS, SIG_DFL);
}

// What the program would write, with the file's name taken as it is.
std::string CutShortPattern(const std::string& file) {
    std::string pattern;
    for (const char c : file) {
        if (std::string_view(".[]()*+?{}|^$\\").find(c) != std::string_view::npos) pattern += '\\';
        pattern += c;
    }
    return pattern + ": cannot be read: it changed while it was being read";
}

TEST(SceneFileBytes, AFileCutShortWhileMappedEndsWithAMessageNamingIt) {
    TempDir dir("tarvo-bytes");
    const std::string file = WriteScene(dir, "cut.tscene.json");
    EXPECT_EXIT(
        {
            DefaultBusErrorEnding();
            SceneFileBytes bytes;
            MapOrAbort(bytes, file);
            CutShort(file);
            (void)FirstByte(bytes);
            std::abort();  // not reached when the read faults
        },
        ::testing::ExitedWithCode(scenefile::kExitSceneUnreadable), CutShortPattern(file));
}

TEST(SceneFileBytes, OfTwoMappedFilesTheOneCutShortIsNamed) {
    TempDir dir("tarvo-bytes");
    for (const bool cutFirst : {true, false}) {
        SCOPED_TRACE(cutFirst ? "the first cut short" : "the second cut short");
        // Written afresh each time: the file cut short stays so after the dead child.
        const std::string first = WriteScene(dir, "first.tscene.json");
        const std::string second = WriteScene(dir, "second.tscene.json");
        const std::string& cut = cutFirst ? first : second;
        EXPECT_EXIT(
            {
                DefaultBusErrorEnding();
                SceneFileBytes firstBytes;
                MapOrAbort(firstBytes, first);
                SceneFileBytes secondBytes;
                MapOrAbort(secondBytes, second);
                CutShort(cut);
                (void)FirstByte(cutFirst ? firstBytes : secondBytes);
                std::abort();
            },
            ::testing::ExitedWithCode(scenefile::kExitSceneUnreadable), CutShortPattern(cut));
    }
}

TEST(SceneFileBytes, ABusErrorSentByAProgramKeepsItsUsualEnding) {
    TempDir dir("tarvo-bytes");
    const std::string file = WriteScene(dir, "held.tscene.json");
    EXPECT_EXIT(
        {
            DefaultBusErrorEnding();
            SceneFileBytes bytes;
            MapOrAbort(bytes, file);
            ::raise(SIGBUS);
            std::abort();  // not reached when the signal ends the process
        },
        ::testing::KilledBySignal(SIGBUS), "");
}

TEST(SceneFileBytes, AFaultOutsideTheSceneKeepsItsUsualEnding) {
    TempDir dir("tarvo-bytes");
    const std::string scene = WriteScene(dir, "held.tscene.json");
    const std::string other = WriteScene(dir, "other.bin");
    EXPECT_EXIT(
        {
            DefaultBusErrorEnding();
            SceneFileBytes bytes;
            MapOrAbort(bytes, scene);
            // Another mapping of a file, not the scene's: its fault is none of the loader's.
            const int fd = ::open(other.c_str(), O_RDONLY | O_CLOEXEC);
            void* mapping = ::mmap(nullptr, SceneText().size(), PROT_READ, MAP_PRIVATE, fd, 0);
            if (fd < 0 || mapping == MAP_FAILED) std::abort();
            CutShort(other);
            (void)*static_cast<const volatile char*>(mapping);
            std::abort();
        },
        ::testing::KilledBySignal(SIGBUS), "");
}

// A handler of this test's own, to see that the loader's goes and this one comes back.
void TestBusHandler(int /*signal*/) {}

void (*CurrentBusHandler())(int) {
    struct sigaction current {};
    ::sigaction(SIGBUS, nullptr, &current);
    return current.sa_handler;
}

TEST(SceneFileBytes, ThePreviousBusHandlerReturnsWithTheLastMapping) {
    TempDir dir("tarvo-bytes");
    const std::string first = WriteScene(dir, "first.tscene.json");
    const std::string second = WriteScene(dir, "second.tscene.json");
    struct sigaction mine {};
    mine.sa_handler = TestBusHandler;
    sigemptyset(&mine.sa_mask);
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGBUS, &mine, &before), 0);
    {
        auto firstBytes = std::make_unique<SceneFileBytes>();
        ASSERT_TRUE(firstBytes->Read(first));
        ASSERT_TRUE(firstBytes->Mapped());
        EXPECT_NE(CurrentBusHandler(), TestBusHandler);
        SceneFileBytes secondBytes;
        ASSERT_TRUE(secondBytes.Read(second));
        ASSERT_TRUE(secondBytes.Mapped());
        firstBytes.reset();
        EXPECT_NE(CurrentBusHandler(), TestBusHandler) << "the second file is still mapped";
    }
    EXPECT_EQ(CurrentBusHandler(), TestBusHandler);
    // And once more, from no mapping at all.
    {
        SceneFileBytes bytes;
        ASSERT_TRUE(bytes.Read(first));
        EXPECT_NE(CurrentBusHandler(), TestBusHandler);
    }
    EXPECT_EQ(CurrentBusHandler(), TestBusHandler);
    ASSERT_EQ(::sigaction(SIGBUS, &before, nullptr), 0);
}

TEST(SceneFileBytes, FilesBeyondTheGuardedMappingsAreRead) {
    TempDir dir("tarvo-bytes");
    std::vector<std::unique_ptr<SceneFileBytes>> held;
    for (std::size_t index = 0; index <= scenefile::kMaxGuardedMappings; ++index) {
        SCOPED_TRACE(index);
        const std::string file = WriteScene(dir, "scene" + std::to_string(index) + ".tscene.json");
        held.push_back(std::make_unique<SceneFileBytes>());
        ASSERT_TRUE(held.back()->Read(file));
        EXPECT_EQ(held.back()->Mapped(), index < scenefile::kMaxGuardedMappings);
        EXPECT_EQ(held.back()->View(), SceneText());
        EXPECT_EQ(held.back()->View().data()[SceneText().size()], '\0');
    }
    // A guard given back is free for the next file.
    held.front().reset();
    SceneFileBytes again;
    ASSERT_TRUE(again.Read(dir.File("scene0.tscene.json")));
    EXPECT_TRUE(again.Mapped());
}

}  // namespace
}  // namespace tarvo
