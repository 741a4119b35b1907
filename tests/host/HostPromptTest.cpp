// tarvo-x-export --prompt as a user runs it, with the exporter plug-in and its dialog
// library as the build lays them out: without a display, with a display that does not
// answer, and on a real X server (Xvfb) where xdotool presses OK or Cancel, when both are
// installed. Also that a run without --prompt never maps Qt.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/d3dx/XReader.h"
#include "tests/host/ProgramRunner.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using namespace tarvo;
using subprocess::EnvironmentChanges;
using subprocess::ProgramResult;
using testsupport::ReadText;

namespace {

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";
constexpr const char* kSheetTitle = "Velmarks DirectX Exporter";
constexpr const char* kPreviousOutput = "the previous export\n";
constexpr auto kWindowTimeout = std::chrono::seconds(20);
constexpr auto kExitTimeout = std::chrono::seconds(30);

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// No display of any kind, so only what the command line names decides.
EnvironmentChanges NoDisplay() {
    return {{"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"QT_QPA_PLATFORM", std::nullopt}};
}

EnvironmentChanges OnXDisplay(const std::string& display) {
    EnvironmentChanges changes = NoDisplay();
    changes["DISPLAY"] = display;
    return changes;
}

// An X display number that no server on this machine listens on.
std::string SilentXDisplay() {
    for (int number = 99; number < 200; ++number)
        if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(number)))
            return ":" + std::to_string(number);
    return {};
}

std::optional<std::string> FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const fs::path candidate = fs::path(folder) / name;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return std::nullopt;
}

// Kills a child that has not ended by the deadline, so that a sheet nobody closes fails the
// test instead of hanging it.
class Deadline {
  public:
    Deadline(pid_t pid, std::chrono::seconds after)
        : m_thread([this, pid, after] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, after, [this] { return m_finished; })) {
                  m_expired = true;
                  kill(pid, SIGKILL);
              }
          }) {}
    ~Deadline() { Finish(); }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    // Stops watching; true when the deadline had already passed.
    bool Finish() {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        if (m_thread.joinable()) m_thread.join();
        return m_expired;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_expired = false;
    std::thread m_thread;
};

class HostPrompt : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(outDir); }

    std::vector<std::string> Command(const std::vector<std::string>& args) const {
        std::vector<std::string> command{TARVO_X_EXPORT, "--plugcfg", plugcfg.string()};
        command.insert(command.end(), args.begin(), args.end());
        return command;
    }
    std::vector<std::string> PromptCommand() const {
        return Command({"--prompt", kExample, output.string()});
    }
    void WritePreviousOutput() const { std::ofstream(output) << kPreviousOutput; }

    // Nothing but the previous output, if there was one, is left in the output's folder.
    void ExpectNothingWritten(bool hadPreviousOutput) const {
        if (hadPreviousOutput)
            EXPECT_EQ(ReadText(output), kPreviousOutput);
        else
            EXPECT_FALSE(fs::exists(output));
        std::string left;
        int count = 0;
        for (const auto& entry : fs::directory_iterator(outDir)) {
            left += entry.path().filename().string() + " ";
            ++count;
        }
        EXPECT_EQ(count, hadPreviousOutput ? 1 : 0) << left;
        EXPECT_FALSE(fs::exists(plugcfg / "TarvoDXExport.xml"));
    }

    testsupport::TempDir m_temp{"tarvo-prompt"};
    const fs::path outDir = m_temp.Path() / "out";
    const fs::path output = outDir / "sample.x";
    const fs::path plugcfg = m_temp.Path() / "config";
};

TEST(HostPromptCommandLine, HelpListsThePromptOption) {
    ProgramResult r = subprocess::RunProgram({TARVO_X_EXPORT, "--help"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Contains(r.out, "--prompt "));
    EXPECT_TRUE(Contains(r.out, "Show the exporter's options before the export")) << r.out;
}

TEST_F(HostPrompt, WithoutAnyDisplayNamedItSaysSoBeforeAnyWork) {
    // A scene that does not exist: the display is checked before the scene is read.
    ProgramResult r = subprocess::RunProgram(
        Command({"--prompt", (m_temp.Path() / "missing.tscene.json").string(), output.string()}),
        NoDisplay());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("tarvo-x-export: --prompt needs a display", 0), 0u) << r.err;
    EXPECT_TRUE(Contains(r.err, "neither DISPLAY nor WAYLAND_DISPLAY")) << r.err;
    ExpectNothingWritten(false);
    EXPECT_FALSE(fs::exists(plugcfg));
}

TEST_F(HostPrompt, AnEmptyDisplayNamesNone) {
    EnvironmentChanges changes = NoDisplay();
    changes["DISPLAY"] = "";
    ProgramResult r = subprocess::RunProgram(PromptCommand(), changes);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "--prompt needs a display")) << r.err;
    ExpectNothingWritten(false);
}

TEST_F(HostPrompt, ADisplayThatDoesNotAnswerFailsTheExportWithTheReason) {
    const std::string display = SilentXDisplay();
    ASSERT_FALSE(display.empty());
    WritePreviousOutput();
    ProgramResult r = subprocess::RunProgram(PromptCommand(), OnXDisplay(display));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_EQ(r.err, "tarvo-x-export: export to " + output.string() +
                         " failed: the export options could not be shown (no dialog library, "
                         "or no display that answers); nothing was exported\n");
    ExpectNothingWritten(true);
}

// ---- Which libraries a run maps, from the dynamic loader's own account ----

std::string LoaderLog(const fs::path& folder) {
    std::string log;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with("ld.")) log += ReadText(entry.path());
    return log;
}

EnvironmentChanges WithLoaderLog(EnvironmentChanges changes, const fs::path& folder) {
    changes["LD_DEBUG"] = "files";
    changes["LD_DEBUG_OUTPUT"] = (folder / "ld").string();
    return changes;
}

TEST_F(HostPrompt, ARunWithoutPromptMapsNoQtEvenWithADisplayNamed) {
    const fs::path logs = m_temp.Path() / "logs";
    fs::create_directories(logs);
    EnvironmentChanges changes = OnXDisplay(SilentXDisplay());
    changes["QT_QPA_PLATFORM"] = "offscreen";
    ProgramResult r =
        subprocess::RunProgram(Command({kExample, output.string()}), WithLoaderLog(changes, logs));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string log = LoaderLog(logs);
    ASSERT_TRUE(Contains(log, "TarvoDirectXMaxExporter")) << "the log does not show the plug-in";
    EXPECT_FALSE(Contains(log, "libQt6")) << log;
    EXPECT_FALSE(Contains(log, "TarvoDirectXDialogs")) << log;
}

TEST_F(HostPrompt, ARunWithPromptLoadsTheDialogLibrary) {
    // The same account shows Qt when it is loaded: the dialogs are loaded before they find
    // that the display does not answer.
    const fs::path logs = m_temp.Path() / "logs";
    fs::create_directories(logs);
    ProgramResult r =
        subprocess::RunProgram(PromptCommand(), WithLoaderLog(OnXDisplay(SilentXDisplay()), logs));
    EXPECT_EQ(r.exitCode, 1);
    const std::string log = LoaderLog(logs);
    EXPECT_TRUE(Contains(log, "TarvoDirectXDialogs"));
    EXPECT_TRUE(Contains(log, "libQt6Widgets"));
}

// ---- On a real X server ----

// An Xvfb server on a display it picks itself, for as long as the object lives.
class VirtualXServer {
  public:
    explicit VirtualXServer(const std::string& program) {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            // Its chatter would only fill the test's output.
            freopen("/dev/null", "w", stderr);
            // -noreset: a server that resets when its last client leaves would turn away
            // Qt, which connects just after the dialogs' own check has disconnected.
            execl(program.c_str(), program.c_str(), "-displayfd", fd.c_str(), "-nolisten", "tcp",
                  "-noreset", "-screen", "0", "1280x1024x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        m_display = ReadDisplay(fds[0]);
        close(fds[0]);
    }
    ~VirtualXServer() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    VirtualXServer(const VirtualXServer&) = delete;
    VirtualXServer& operator=(const VirtualXServer&) = delete;

    // ":N", or empty when the server did not start.
    const std::string& Display() const { return m_display; }

  private:
    static std::string ReadDisplay(int fd) {
        std::string number;
        pollfd ready{fd, POLLIN, 0};
        char c = 0;
        while (poll(&ready, 1, 10000) > 0 && read(fd, &c, 1) == 1 && c != '\n') number += c;
        return number.empty() ? std::string() : ":" + number;
    }

    pid_t m_pid = -1;
    std::string m_display;
};

class HostPromptOnX : public HostPrompt {
  protected:
    void SetUp() override {
        HostPrompt::SetUp();
        const std::optional<std::string> xvfb = FindProgram("Xvfb");
        m_xdotool = FindProgram("xdotool").value_or("");
        if (!xvfb || m_xdotool.empty()) GTEST_SKIP() << "needs Xvfb and xdotool";
        m_server.emplace(*xvfb);
        ASSERT_FALSE(m_server->Display().empty()) << "Xvfb did not start";
        std::ofstream(m_suppressions) << "leak:libdbus-1.so\nleak:libfontconfig.so\n";
    }

    // The program on the server. D-Bus and fontconfig, which Qt starts, keep what they
    // allocate for the life of the process; a leak checker built in is told so.
    EnvironmentChanges ProgramEnvironment() const {
        EnvironmentChanges changes = OnXDisplay(m_server->Display());
        const char* options = std::getenv("LSAN_OPTIONS");
        changes["LSAN_OPTIONS"] = std::string(options ? options : "") +
                                  (options && *options ? ":" : "") +
                                  "suppressions=" + m_suppressions.string();
        return changes;
    }

    ProgramResult Xdotool(const std::vector<std::string>& args) const {
        std::vector<std::string> command{m_xdotool};
        command.insert(command.end(), args.begin(), args.end());
        return subprocess::RunProgram(command, OnXDisplay(m_server->Display()));
    }

    // The sheet's window once it is on the screen, or empty after kWindowTimeout.
    std::string WaitForSheet() const {
        const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            ProgramResult r = Xdotool({"search", "--onlyvisible", "--name", kSheetTitle});
            if (r.exitCode == 0 && !r.out.empty()) return r.out.substr(0, r.out.find('\n'));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }

    // Runs the export with --prompt and answers the sheet with a key, as a user at the
    // keyboard would: Return presses OK, Escape Cancel.
    ProgramResult ExportAnsweringWith(const std::string& key) {
        subprocess::ChildProgram child(PromptCommand(), ProgramEnvironment());
        Deadline deadline(child.Pid(), kExitTimeout);
        const std::string window = WaitForSheet();
        EXPECT_FALSE(window.empty()) << "the options sheet did not come up";
        if (!window.empty()) {
            EXPECT_EQ(Xdotool({"windowfocus", "--sync", window}).exitCode, 0);
            EXPECT_EQ(Xdotool({"key", key}).exitCode, 0);
        }
        ProgramResult r = child.Wait();
        EXPECT_FALSE(deadline.Finish()) << "tarvo-x-export was still running; killed";
        return r;
    }

    std::string m_xdotool;
    std::optional<VirtualXServer> m_server;
    const fs::path m_suppressions = m_temp.Path() / "leaks-outside.supp";
};

TEST_F(HostPromptOnX, OkExportsWithTheOptionsAndStoresThem) {
    WritePreviousOutput();
    ProgramResult r = ExportAnsweringWith("Return");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    ASSERT_EQ(d3dx::ReadXFile(output.string(), d3dx::StandardTemplates(), contents, &error), S_OK)
        << error.message;
    EXPECT_FALSE(contents.objects.empty());
    EXPECT_TRUE(fs::exists(plugcfg / "TarvoDXExport.xml"));
}

TEST_F(HostPromptOnX, CancelLeavesTheOutputAndTheSettingsAlone) {
    WritePreviousOutput();
    ProgramResult r = ExportAnsweringWith("Escape");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(Contains(r.err, "Sanitizer")) << r.err;
    EXPECT_TRUE(Contains(r.err, "tarvo-x-export: cancelled in the export options; " +
                                    output.string() + " was not changed\n"))
        << r.err;
    ExpectNothingWritten(true);
}

}  // namespace
