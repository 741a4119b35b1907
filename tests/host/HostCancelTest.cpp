// SIGINT, SIGTERM and SIGHUP cancel a run of tarvo-x-export: the fake exporter waits for the
// cancel and then saves what it has, as the exporter does inside a modelling host, and the
// program keeps that away from the user's files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/CancelSignals.h"
#include "host/scene/SceneFile.h"
#include "platform/max/Interface.h"
#include "tests/host/HostProgramFixture.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using namespace tarvo;
using namespace tarvo::hosttest;
using subprocess::ProgramResult;
using testsupport::ReadText;

namespace {

struct CancelSignal {
    int number;
    int exitCode;  // 128 + the number, as a shell reports it
    const char* name;
};

class HostCancel : public HostProgram, public ::testing::WithParamInterface<CancelSignal> {};

INSTANTIATE_TEST_SUITE_P(EachSignal, HostCancel,
                         ::testing::Values(CancelSignal{SIGINT, 130, "SIGINT"},
                                           CancelSignal{SIGTERM, 143, "SIGTERM"},
                                           CancelSignal{SIGHUP, 129, "SIGHUP"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

TEST_P(HostCancel, LeavesThePreviousOutputAndTheSceneAsTheyWere) {
    std::ofstream(output) << "previous export\n";
    const std::string sceneBefore = ReadText(scene);
    subprocess::ChildProgram child(Command({"--save-scene", scene, output}),
                                   Environment("wait-for-cancel"));
    ASSERT_TRUE(WaitForFile(markers / "waiting"));
    ASSERT_EQ(kill(child.Pid(), GetParam().number), 0);
    ProgramResult r = child.Wait();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
    EXPECT_EQ(r.err, "tarvo-x-export: cancelled; " + output +
                         " was not changed; the scene was not saved\n");
    EXPECT_EQ(ReadText(output), "previous export\n");
    EXPECT_EQ(SortedEntries(outDir), std::vector<std::string>{"out.x"});
    EXPECT_EQ(ReadText(scene), sceneBefore);
}

TEST_P(HostCancel, SecondSignalOfTheSameKindEndsAnExportThatDoesNotStop) {
    subprocess::ChildProgram child(Command({scene, output}), Environment("ignore-cancel"));
    ASSERT_TRUE(WaitForFile(markers / "waiting"));
    ASSERT_EQ(kill(child.Pid(), GetParam().number), 0);
    ASSERT_TRUE(WaitForFile(markers / "cancel-seen"));
    ASSERT_EQ(kill(child.Pid(), GetParam().number), 0);
    ProgramResult r = child.Wait();
    EXPECT_EQ(r.signal, GetParam().number);
    EXPECT_TRUE(fs::is_empty(outDir));
}

TEST_F(HostProgram, CancelWithoutSaveSceneNamesOnlyTheOutput) {
    subprocess::ChildProgram child(Command({scene, output}), Environment("wait-for-cancel"));
    ASSERT_TRUE(WaitForFile(markers / "waiting"));
    ASSERT_EQ(kill(child.Pid(), SIGINT), 0);
    ProgramResult r = child.Wait();
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(r.err, "tarvo-x-export: cancelled; " + output + " was not changed\n");
    // There was no output before, and there is none now.
    EXPECT_TRUE(fs::is_empty(outDir));
}

TEST_F(HostProgram, SignalWhileTheSceneLoadsCancelsBeforeTheExport) {
    // A scene that arrives through a FIFO holds the program in its loading until the test
    // has signalled it.
    const std::string text = ReadText(scene);
    fs::remove(scene);
    ASSERT_EQ(::mkfifo(scene.c_str(), 0644), 0);
    subprocess::ChildProgram child(Command({scene, output}), Environment("write"));
    // Opening returns once the program has opened the FIFO to read the scene.
    const int fifo = ::open(scene.c_str(), O_WRONLY);
    ASSERT_GE(fifo, 0);
    ASSERT_EQ(kill(child.Pid(), SIGTERM), 0);
    ASSERT_EQ(::write(fifo, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fifo);
    ProgramResult r = child.Wait();
    EXPECT_EQ(r.exitCode, 143) << r.err;
    EXPECT_EQ(r.err, "tarvo-x-export: cancelled; " + output + " was not changed\n");
    EXPECT_TRUE(fs::is_empty(outDir));
    EXPECT_FALSE(fs::exists(plugcfg)) << "work began after the cancel";
    EXPECT_TRUE(fs::is_empty(markers)) << "the exporter ran";
}

namespace {

void (*HandlerOf(int signal))(int) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    return current.sa_handler;
}

}  // namespace

TEST(CancelSignals, FirstSignalIsKeptAndReachesAnInterfaceAttachedLater) {
    Interface ip;
    void (*termBefore)(int) = HandlerOf(SIGTERM);
    void (*hangupBefore)(int) = HandlerOf(SIGHUP);
    {
        hostapp::CancelSignals signals;
        EXPECT_EQ(signals.Received(), 0);
        ASSERT_EQ(raise(SIGTERM), 0);
        EXPECT_EQ(signals.Received(), SIGTERM);
        // The handler gave way to the default action for the next SIGTERM.
        EXPECT_EQ(HandlerOf(SIGTERM), SIG_DFL);
        ASSERT_EQ(raise(SIGHUP), 0);
        EXPECT_EQ(signals.Received(), SIGTERM) << "the first signal names the cancel";
        EXPECT_FALSE(ip.GetCancel());
        signals.Attach(ip);
        EXPECT_TRUE(ip.GetCancel());
        signals.Detach();
    }
    EXPECT_EQ(HandlerOf(SIGTERM), termBefore);
    EXPECT_EQ(HandlerOf(SIGHUP), hangupBefore);
}

TEST(CancelSignals, AttachedInterfaceIsCancelledByTheSignal) {
    Interface ip;
    hostapp::CancelSignals signals;
    signals.Attach(ip);
    EXPECT_FALSE(ip.GetCancel());
    ASSERT_EQ(raise(SIGINT), 0);
    EXPECT_TRUE(ip.GetCancel());
    EXPECT_EQ(signals.Received(), SIGINT);
}

TEST(CancelSignals, DeferredSignalArrivesWhenTheDeferralEnds) {
    hostapp::CancelSignals signals;
    {
        const hostapp::CancelSignals::Deferral deferral;
        ASSERT_EQ(raise(SIGHUP), 0);
        EXPECT_EQ(signals.Received(), 0);
    }
    EXPECT_EQ(signals.Received(), SIGHUP);
}
