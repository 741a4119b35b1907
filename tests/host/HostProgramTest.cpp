// tarvo-x-export run as a user runs it, with fake exporter plug-ins loaded through dlopen.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/ProgressBar.h"
#include "host/scene/SceneFile.h"
#include "tests/host/HostProgramFixture.h"
#include "tests/host/ProgramRunner.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using namespace tarvo;
using namespace tarvo::hosttest;
using subprocess::ProgramResult;
using testsupport::ReadText;

TEST_F(HostProgram, ExportsThroughThePluginWithPromptsSuppressed) {
    ProgramResult r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");  // not a terminal: no progress, and nothing went wrong
    const std::string report = ReadText(output);
    EXPECT_TRUE(Contains(report, "suppressPrompts 1\n")) << report;
    EXPECT_TRUE(Contains(report, "options 0\n")) << report;
    EXPECT_TRUE(Contains(report, "plugcfg " + plugcfg + "\n")) << report;
    EXPECT_TRUE(Contains(report, "node Box01 selected 0\nnode Sphere01 selected 0\n")) << report;
    EXPECT_TRUE(fs::is_directory(plugcfg));
}

TEST_F(HostProgram, ExporterWritesAFreshFileBesideTheOutputNamedInFull) {
    // The child starts in the output's directory; the program's own path is absolute.
    const fs::path previous = fs::current_path();
    fs::current_path(outDir);
    ProgramResult r =
        subprocess::RunProgram(Command({"--debug", scene, "out.x"}), Environment("write"));
    fs::current_path(previous);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The fake's debug line names the file it was given: a short name of its own in the
    // output's directory, which becomes out.x once the export has completed.
    const std::string handedOver = (outDir / ".tarvo-").string();
    const std::size_t at = r.err.find("fake: writing " + handedOver);
    ASSERT_NE(at, std::string::npos) << r.err;
    const std::string line = r.err.substr(at, r.err.find('\n', at) - at);
    EXPECT_EQ(line.size(), ("fake: writing " + handedOver + "XXXXXX.x").size()) << line;
    EXPECT_TRUE(Contains(ReadText(output), "suppressPrompts 1\n"));
    EXPECT_EQ(SortedEntries(outDir), std::vector<std::string>{"out.x"});
}

TEST_F(HostProgram, SelectedNodesAreSelectedAndTheOptionIsPassed) {
    ProgramResult r = Run({"--selected", "Sphere01", "--selected", "Twin", scene, output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string report = ReadText(output);
    EXPECT_TRUE(Contains(report, "options 1\n")) << report;
    EXPECT_TRUE(Contains(report, "node Sphere01 selected 1\n")) << report;
    EXPECT_TRUE(Contains(report, "node Box01 selected 0\n")) << report;
    // The selection stored in the scene gives way to the command line's.
    EXPECT_TRUE(Contains(report, "node Light01 selected 0\n")) << report;
    // Both nodes of the name.
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 8) << report;
    std::size_t first = report.find("node Twin selected 1\n");
    ASSERT_NE(first, std::string::npos) << report;
    EXPECT_NE(report.find("node Twin selected 1\n", first + 1), std::string::npos) << report;
}

TEST_F(HostProgram, UnknownSelectedNodeIsAUsageErrorNamingIt) {
    ProgramResult r = Run({"--selected", "Box01", "--selected", "Cone07", scene, output});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "\"Cone07\"")) << r.err;
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(HostProgram, FailedExportRepeatsTheSaveErrorInOneLine) {
    ProgramResult r = Run({scene, output}, "fail-with-error");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: export to " + output +
                         " failed: fake save error: AddDataObject failed (E_FAIL)\n");
}

TEST_F(HostProgram, FailedExportWithoutAMessagePointsToDebug) {
    ProgramResult r = Run({scene, output}, "fail-silently");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: export to " + output + " failed; --debug shows more\n");
}

TEST_F(HostProgram, DebugShowsThePluginsDebugLines) {
    ProgramResult quiet = Run({scene, output});
    EXPECT_FALSE(Contains(quiet.err, "fake: writing")) << quiet.err;
    ProgramResult r = Run({"--debug", scene, output}, "fail-with-error");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "loaded plug-in " + (dir / "plugins" / "fake.so").string() +
                                    ": Fake exporter plug-in\n"))
        << r.err;
    EXPECT_TRUE(Contains(r.err, "GameInterface Node: 0, Name: Box01\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "fake save error: AddDataObject failed (E_FAIL)\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "after the error\n")) << r.err;
    // The reason is still the last line.
    const std::string last = "tarvo-x-export: export to " + output +
                             " failed: fake save error: AddDataObject failed (E_FAIL)\n";
    ASSERT_GE(r.err.size(), last.size());
    EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last) << r.err;
}

TEST_F(HostProgram, PluginWarningsAreAlwaysShownOneLineEach) {
    ProgramResult r = Run({scene, output}, "warn");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err,
              "tarvo-x-export: warning: texture brick.png cannot be written\n"
              "tarvo-x-export: warning: texture image gone.png cannot be read\n"
              "tarvo-x-export: warning: second line\n");
    EXPECT_TRUE(fs::exists(output));

    // With --debug the other lines come too, and the warnings are not printed twice.
    r = Run({"--debug", scene, output}, "warn");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(Contains(r.err, "Warning: ")) << r.err;
    EXPECT_TRUE(Contains(r.err,
                         "tarvo-x-export: warning: texture brick.png cannot be written\n"
                         "Current Node: 1  Name: Box01 Children: 0\n"
                         "tarvo-x-export: warning: texture image gone.png cannot be read\n"
                         "tarvo-x-export: warning: second line\n"))
        << r.err;
}

TEST_F(HostProgram, FileTheExporterCannotWriteIsReportedWithTheSystemsReason) {
    subprocess::ChildProgram child(Command({scene, output}), Environment("write-when-told"));
    ASSERT_TRUE(WaitForFile(markers / "waiting"));
    // The directory goes away after the checks at the start, before the exporter writes.
    fs::remove(outDir);
    std::ofstream(markers / "go") << "go\n";
    ProgramResult r = child.Wait();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: export to " + output + " failed: cannot write a file in " +
                         outDir.string() + ": No such file or directory\n");
}

TEST_F(HostProgram, ExportThatWritesNoFileFailsAndKeepsThePreviousOutput) {
    std::ofstream(output) << "previous\n";
    ProgramResult r = Run({scene, output}, "no-file");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: export to " + output +
                         " failed: the exporter wrote no file; " + output + " was not changed\n");
    EXPECT_EQ(ReadText(output), "previous\n");
}

TEST_F(HostProgram, MessageBoxesArePrintedInOneLine) {
    ProgramResult r = Run({scene, output}, "message-box");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err,
                         "TarvoExporter: Exporter has encountered a major problem. Can't "
                         "continue.\n"))
        << r.err;
    EXPECT_EQ(LineCount(r.err), 2) << r.err;  // the box and the failure
}

TEST_F(HostProgram, UnreadableSceneNamesTheFileAndTheProblem) {
    const std::string missing = (dir / "missing.tscene.json").string();
    ProgramResult r = Run({missing, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "tarvo-x-export: " + missing + ": cannot be read: No such file or directory\n");

    std::ofstream(scene) << "{\"format\": \"tarvo-scene\", \"version\": 1, \"nodes\": 3}";
    r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("tarvo-x-export: " + scene + ": ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(HostProgram, NoPluginForXSaysSoAndWhy) {
    fs::remove(dir / "plugins" / "fake.so");
    fs::create_symlink(FAKE_OTHER_EXTENSION_MODULE, dir / "plugins" / "other.so");
    ProgramResult r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: no plug-in in " + (dir / "plugins").string() +
                         " exports the extension \"X\"\n");

    fs::create_symlink(FAKE_NO_LIB_VERSION_MODULE, dir / "plugins" / "broken.so");
    r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_TRUE(Contains(r.err, (dir / "plugins" / "broken.so").string() +
                                    " was not loaded: not a plug-in: no entry point LibVersion"))
        << r.err;

    fs::create_symlink(FAKE_OLD_VERSION_MODULE, dir / "plugins" / "old.so");
    r = Run({scene, output});
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_TRUE(Contains(r.err, " (and 1 more; --debug lists them)\n")) << r.err;
    r = Run({"--debug", scene, output});
    EXPECT_TRUE(Contains(r.err, "skipped " + (dir / "plugins" / "old.so").string() +
                                    ": built for host version 0x2EE02300, this host is "
                                    "0x36B02600\n"))
        << r.err;
    EXPECT_TRUE(Contains(r.err, "loaded plug-in " + (dir / "plugins" / "other.so").string()))
        << r.err;
}

TEST_F(HostProgram, MissingPluginDirectoryIsReported) {
    fs::remove_all(dir / "plugins");
    ProgramResult r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: cannot read the plug-in directory " +
                         (dir / "plugins").string() + ": No such file or directory\n");
}

TEST_F(HostProgram, MissingOutputDirectoryIsReportedBeforeExporting) {
    const std::string nowhere = (dir / "no-such-dir" / "out.x").string();
    ProgramResult r = Run({scene, nowhere});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "does not exist")) << r.err;
}

TEST_F(HostProgram, SaveSceneKeepsTheExportersFilePropertiesAndNothingOfTheRun) {
    ProgramResult r = Run({"--save-scene", "--selected", "Sphere01", scene, output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const scene::SceneData saved = scenefile::LoadSceneFile(scene);
    const scene::FileProperty* mark = FindProperty(saved, "FakeExporterOutput");
    ASSERT_NE(mark, nullptr);
    // The name the exporter was given, the staging file beside the output.
    EXPECT_EQ(mark->text.rfind((outDir / ".tarvo-").string(), 0), 0u) << mark->text;
    const scene::FileProperty* keep = FindProperty(saved, "Keep");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->text, "me");
    // The run's selection is not written back.
    scene::SceneData expected = TestScene();
    expected.fileProperties = saved.fileProperties;
    EXPECT_EQ(scenefile::SerializeScene(saved), scenefile::SerializeScene(expected));
    EXPECT_EQ(SortedEntries(dir), (std::vector<std::string>{"config", "markers", "out", "plugins",
                                                            "scene.tscene.json"}));
}

TEST_F(HostProgram, WithoutSaveSceneTheSceneFileIsUntouched) {
    const std::string before = ReadText(scene);
    ProgramResult r = Run({scene, output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadText(scene), before);
}

TEST_F(HostProgram, FailedExportDoesNotSaveTheScene) {
    const std::string before = ReadText(scene);
    ProgramResult r = Run({"--save-scene", scene, output}, "fail-silently");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(ReadText(scene), before);
}

TEST_F(HostProgram, SceneThatCannotBeSavedFailsAfterTheExport) {
    const std::string before = ReadText(scene);
    subprocess::ChildProgram child(Command({"--save-scene", scene, output}),
                                   Environment("write-when-told"));
    ASSERT_TRUE(WaitForFile(markers / "waiting"));
    // Made read-only after the checks at the start, the scene cannot be saved at the end.
    fs::permissions(scene, fs::perms::owner_read | fs::perms::group_read);
    std::ofstream(markers / "go") << "go\n";
    ProgramResult r = child.Wait();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_EQ(
        r.err.rfind(
            "tarvo-x-export: the export succeeded but the scene was not saved: " + scene + ": ", 0),
        0u)
        << r.err;
    EXPECT_TRUE(Contains(r.err, ": cannot be written: Permission denied\n")) << r.err;
    EXPECT_EQ(ReadText(output), "written when told\n");
    EXPECT_EQ(ReadText(scene), before);
}

TEST_F(HostProgram, PlugCfgDirThatCannotBeMadeIsAWarningOnly) {
    std::ofstream(dir / "file") << "in the way";
    plugcfg = (dir / "file" / "config").string();
    ProgramResult r = Run({scene, output});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("tarvo-x-export: warning: cannot create " + plugcfg + ": ", 0), 0u)
        << r.err;
    EXPECT_TRUE(Contains(r.err, "the export settings will not be saved\n")) << r.err;
    EXPECT_TRUE(Contains(ReadText(output), "plugcfg " + plugcfg + "\n"));
}

TEST_F(HostProgram, PlugCfgDefaultsToTheXdgConfigDirectory) {
    const std::vector<std::string> command{TARVO_X_EXPORT, "--plugin-dir",
                                           (dir / "plugins").string(), scene, output};
    const fs::path xdg = dir / "xdg";
    ProgramResult r = subprocess::RunProgram(
        command, {{"XDG_CONFIG_HOME", xdg.string()}, {"TARVO_FAKE_EXPORTER", "write"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(ReadText(output), "plugcfg " + (xdg / "tarvo-dx").string() + "\n"));
    EXPECT_TRUE(fs::is_directory(xdg / "tarvo-dx"));

    const fs::path home = dir / "home";
    r = subprocess::RunProgram(command, {{"XDG_CONFIG_HOME", std::nullopt},
                                         {"HOME", home.string()},
                                         {"TARVO_FAKE_EXPORTER", "write"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(
        Contains(ReadText(output), "plugcfg " + (home / ".config" / "tarvo-dx").string() + "\n"));
}

TEST_F(HostProgram, DefaultPluginDirectoryIsBesideTheProgram) {
    const fs::path bin = dir / "bin";
    fs::create_directories(bin / "plugins");
    fs::copy_file(TARVO_X_EXPORT, bin / "tarvo-x-export");
    fs::create_symlink(FAKE_EXPORTER_MODULE, bin / "plugins" / "fake.so");
    ProgramResult r = subprocess::RunProgram(
        {(bin / "tarvo-x-export").string(), "--plugcfg", plugcfg, scene, output},
        {{"TARVO_FAKE_EXPORTER", "write"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(ReadText(output), "suppressPrompts 1\n"));
}

TEST_F(HostProgram, UsageErrorsExitWithTwo) {
    ProgramResult r = subprocess::RunProgram({TARVO_X_EXPORT, scene});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    r = subprocess::RunProgram({TARVO_X_EXPORT, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Contains(r.out, "--selected")) << r.out;
    EXPECT_TRUE(Contains(r.out, "130")) << r.out;  // the exit statuses are listed
    r = subprocess::RunProgram({TARVO_X_EXPORT, "--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("tarvo-x-export ", 0), 0u) << r.out;
}

TEST_F(HostProgram, TerminalShowsTheProgressBar) {
    int master = -1, slave = -1;
    winsize size{};
    size.ws_col = 60;
    size.ws_row = 24;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
    subprocess::ChildProgram child(Command({scene, output}), {{"TARVO_FAKE_EXPORTER", "write"}},
                                   slave);
    close(slave);
    std::string screen;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the child has closed the terminal
        screen.append(buffer, static_cast<std::size_t>(n));
    }
    close(master);
    ProgramResult r = child.Wait();
    EXPECT_EQ(r.exitCode, 0);
    auto drawn = [](const char* title, int percent) {
        return "\r" + hostapp::RenderProgressLine(title, percent, true, 60) + "\x1b[K";
    };
    EXPECT_TRUE(Contains(screen, drawn("Exporting data...", 0))) << screen;
    EXPECT_TRUE(Contains(screen, drawn("Box01 mesh.", 50))) << screen;
    EXPECT_TRUE(Contains(screen, drawn("Exporting data...", 100))) << screen;
    // The bar is cleared at the end and nothing else is written.
    EXPECT_EQ(screen.substr(screen.size() - 4), "\r\x1b[K") << screen;
    EXPECT_EQ(screen.find('\n'), std::string::npos) << screen;
}
