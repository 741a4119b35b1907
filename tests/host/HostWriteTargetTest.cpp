// The files tarvo-x-export replaces: what it refuses before any work (with --debug, so that
// one line and nothing else shows that no plug-in was loaded and no scene read), and how it
// writes through symlinks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/WriteTarget.h"
#include "host/scene/SceneFile.h"
#include "tests/host/HostProgramFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using namespace tarvo;
using namespace tarvo::hosttest;
using subprocess::ProgramResult;
using testsupport::ReadText;

namespace {

// The longest file name the file systems in use allow.
constexpr std::size_t kLongestName = 255;

mode_t ModeOf(const fs::path& file) {
    struct stat status {};
    EXPECT_EQ(::stat(file.c_str(), &status), 0) << file;
    return status.st_mode & 07777;
}

class HostWriteTarget : public HostProgram {
  protected:
    // Runs with --debug and expects the one line `problem` and nothing else: no plug-in
    // loaded, no scene read, nothing written.
    void ExpectRefused(const std::vector<std::string>& args, const std::string& problem) {
        std::vector<std::string> withDebug{"--debug"};
        withDebug.insert(withDebug.end(), args.begin(), args.end());
        ProgramResult r = Run(withDebug);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "tarvo-x-export: " + problem + "\n");
        EXPECT_FALSE(fs::exists(plugcfg)) << "the run went past the checks";
    }
};

}  // namespace

TEST_F(HostWriteTarget, FifoIsNotReplaced) {
    ASSERT_EQ(::mkfifo(output.c_str(), 0644), 0);
    ExpectRefused({scene, output}, output + " is not a regular file");
    EXPECT_TRUE(fs::is_fifo(output));
}

TEST_F(HostWriteTarget, DeviceIsNotReplaced) {
    ExpectRefused({scene, "/dev/null"}, "/dev/null is not a regular file");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    // Nor through a symlink.
    fs::create_symlink("/dev/null", output);
    ExpectRefused({scene, output}, output + " is not a regular file");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(output));
}

TEST_F(HostWriteTarget, DirectoryIsRefusedHoweverItIsNamed) {
    ExpectRefused({scene, outDir.string()}, outDir.string() + " is a directory");
    ExpectRefused({scene, outDir.string() + "/"}, outDir.string() + "/ is a directory");
    ExpectRefused({scene, outDir.string() + "/."}, outDir.string() + "/. is a directory");
    const fs::path previous = fs::current_path();
    fs::current_path(outDir);
    ProgramResult r = Run({"--debug", scene, "."});
    fs::current_path(previous);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: . is a directory\n");
    EXPECT_TRUE(fs::is_empty(outDir));
}

TEST_F(HostWriteTarget, ReadOnlyFileIsKeptAlsoForTheSuperuser) {
    std::ofstream(output) << "previous\n";
    fs::permissions(output, fs::perms::owner_read | fs::perms::group_read);
    ExpectRefused({scene, output}, output + " is read-only");
    EXPECT_EQ(ReadText(output), "previous\n");
}

TEST_F(HostWriteTarget, FileWithOtherHardLinksIsNotSplitFromThem) {
    std::ofstream(output) << "previous\n";
    fs::create_hard_link(output, outDir / "other.x");
    ExpectRefused({scene, output},
                  output +
                      " shares its contents with 1 other hard link; replacing it would "
                      "split them");
    EXPECT_EQ(ReadText(output), "previous\n");
    EXPECT_EQ(fs::hard_link_count(output), 2u);
}

TEST_F(HostWriteTarget, SceneIsNotOverwrittenUnderAnyName) {
    const std::string before = ReadText(scene);
    ExpectRefused({scene, scene}, scene + " is the scene being exported (" + scene + ")");
    const std::string link = (outDir / "link.x").string();
    fs::create_symlink(scene, link);
    ExpectRefused({scene, link}, link + " is the scene being exported (" + scene + ")");
    const std::string hardLink = (outDir / "hard.x").string();
    fs::create_hard_link(scene, hardLink);
    ExpectRefused({scene, hardLink}, hardLink + " is the scene being exported (" + scene + ")");
    EXPECT_EQ(ReadText(scene), before);
    EXPECT_TRUE(fs::is_symlink(link));
}

TEST_F(HostWriteTarget, UnwritableDirectoryIsRefusedAlsoForTheSuperuser) {
    fs::permissions(outDir, fs::perms::owner_read | fs::perms::owner_exec);
    ExpectRefused({scene, output}, "cannot write " + output + ": the directory " + outDir.string() +
                                       " is not writable");
    EXPECT_TRUE(fs::is_empty(outDir));
}

TEST_F(HostWriteTarget, MissingDirectoryIsRefused) {
    const std::string nowhere = (dir / "no-such-dir" / "out.x").string();
    ExpectRefused({scene, nowhere}, "cannot write " + nowhere + ": the directory " +
                                        (dir / "no-such-dir").string() + " does not exist");
}

TEST_F(HostWriteTarget, SymlinkLoopIsRefused) {
    fs::create_symlink("b.x", outDir / "a.x");
    fs::create_symlink("a.x", outDir / "b.x");
    const std::string loop = (outDir / "a.x").string();
    ExpectRefused({scene, loop}, "cannot write " + loop + ": Too many levels of symbolic links");
}

TEST_F(HostWriteTarget, SettingsFileThatCannotBeReplacedIsRefused) {
    const fs::path settings = fs::path(plugcfg) / "TarvoDXExport.xml";
    fs::create_directories(settings);
    const std::string name = "the settings file " + settings.string();
    ProgramResult r = Run({"--debug", scene, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: " + name + " is a directory\n");

    fs::remove(settings);
    std::ofstream(settings) << "<kept/>";
    fs::permissions(settings, fs::perms::owner_read);
    r = Run({"--debug", scene, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: " + name + " is read-only\n");
    EXPECT_EQ(ReadText(settings), "<kept/>");

    fs::remove(settings);
    ASSERT_EQ(::mkfifo(settings.c_str(), 0644), 0);
    r = Run({"--debug", scene, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: " + name + " is not a regular file\n");
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(HostWriteTarget, ReadOnlySceneIsRefusedOnlyWhenItIsToBeSaved) {
    const std::string before = ReadText(scene);
    fs::permissions(scene, fs::perms::owner_read | fs::perms::group_read);
    ExpectRefused({"--save-scene", scene, output},
                  "--save-scene: the scene file " + scene + " is read-only");
    EXPECT_EQ(ReadText(scene), before);
    ProgramResult r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(HostWriteTarget, SymlinkedOutputIsWrittenThrough) {
    const fs::path real = dir / "real";
    fs::create_directories(real);
    std::ofstream(real / "target.x") << "previous\n";
    fs::permissions(real / "target.x",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real / "target.x", output);
    ProgramResult r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(output));
    EXPECT_EQ(fs::read_symlink(output), real / "target.x");
    EXPECT_TRUE(Contains(ReadText(real / "target.x"), "suppressPrompts 1\n"));
    EXPECT_EQ(ModeOf(real / "target.x"), 0640u);
    EXPECT_EQ(SortedEntries(real), std::vector<std::string>{"target.x"});
    EXPECT_EQ(SortedEntries(outDir), std::vector<std::string>{"out.x"});
}

TEST_F(HostWriteTarget, ReplacedOutputKeepsItsMode) {
    std::ofstream(output) << "previous\n";
    fs::permissions(output,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    ProgramResult r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(ReadText(output), "suppressPrompts 1\n"));
    EXPECT_EQ(ModeOf(output), 0604u);
}

TEST_F(HostWriteTarget, OutputNameOfTheLongestLegalLengthIsWritten) {
    const std::string name = std::string(kLongestName - 2, 'o') + ".x";
    const std::string longOutput = (outDir / name).string();
    std::ofstream(longOutput) << "previous\n";
    ProgramResult r = Run({scene, longOutput});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(ReadText(longOutput), "suppressPrompts 1\n"));
    EXPECT_EQ(SortedEntries(outDir), std::vector<std::string>{name});
}

TEST_F(HostWriteTarget, SaveSceneWritesThroughASymlinkedScene) {
    const fs::path scenes = dir / "scenes";
    fs::create_directories(scenes);
    const fs::path real = scenes / "real.tscene.json";
    fs::rename(scene, real);
    fs::create_symlink(real, scene);
    ProgramResult r = Run({"--save-scene", scene, output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(scene));
    const scene::SceneData saved = scenefile::LoadSceneFile(real.string());
    EXPECT_NE(FindProperty(saved, "FakeExporterOutput"), nullptr);
    EXPECT_EQ(SortedEntries(scenes), std::vector<std::string>{"real.tscene.json"});
}

TEST(StagedOutput, IsRemovedUnlessCommitted) {
    testsupport::TempDir dir("tarvo-staged");
    const hostapp::WriteTarget target{(dir.Path() / "out.x").string()};
    std::string staging;
    {
        hostapp::StagedOutput staged(target);
        staging = staged.Path();
        EXPECT_EQ(fs::path(staging).parent_path(), dir.Path());
        std::ofstream(staging) << "partial";
    }
    EXPECT_FALSE(fs::exists(staging));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(StagedOutput, CommitWithoutAFileChangesNothing) {
    testsupport::TempDir dir("tarvo-staged");
    std::ofstream(dir.Path() / "out.x") << "previous";
    hostapp::StagedOutput staged(hostapp::WriteTarget{(dir.Path() / "out.x").string()});
    EXPECT_FALSE(staged.Commit());
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(ReadText(dir.Path() / "out.x"), "previous");
}
