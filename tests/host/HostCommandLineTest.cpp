#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/CommandLine.h"

using namespace tarvo::hostapp;

namespace {

const CommandLineDefaults kDefaults{"/config/tarvo-dx", "/opt/tarvo/plugins"};

struct Parse {
    explicit Parse(std::vector<std::string> args) {
        args.insert(args.begin(), "tarvo-x-export");
        std::vector<const char*> argv;
        for (const std::string& arg : args) argv.push_back(arg.c_str());
        result = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), kDefaults, out, err);
    }
    std::ostringstream out;
    std::ostringstream err;
    ParsedCommandLine result;
};

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(HostCommandLine, SceneAndOutputWithDefaults) {
    Parse p({"scene.tscene.json", "out.x"});
    ASSERT_TRUE(p.result.run);
    EXPECT_EQ(p.result.line.scene, "scene.tscene.json");
    EXPECT_EQ(p.result.line.output, "out.x");
    EXPECT_TRUE(p.result.line.selected.empty());
    EXPECT_EQ(p.result.line.plugCfgDir, "/config/tarvo-dx");
    EXPECT_EQ(p.result.line.pluginDir, "/opt/tarvo/plugins");
    EXPECT_FALSE(p.result.line.saveScene);
    EXPECT_FALSE(p.result.line.debug);
    EXPECT_EQ(p.err.str(), "");
}

TEST(HostCommandLine, EveryOption) {
    Parse p({"--selected", "Box01", "s.tscene.json", "--selected", "Sphere 02", "o.x", "--plugcfg",
             "/c", "--plugin-dir", "/p", "--save-scene", "--debug", "--write-scene",
             "w.tscene.json", "--one-segment"});
    ASSERT_TRUE(p.result.run) << p.err.str();
    EXPECT_EQ(p.result.line.scene, "s.tscene.json");
    EXPECT_EQ(p.result.line.output, "o.x");
    EXPECT_EQ(p.result.line.selected, (std::vector<std::string>{"Box01", "Sphere 02"}));
    EXPECT_EQ(p.result.line.plugCfgDir, "/c");
    EXPECT_EQ(p.result.line.pluginDir, "/p");
    EXPECT_TRUE(p.result.line.saveScene);
    EXPECT_TRUE(p.result.line.debug);
    EXPECT_EQ(p.result.line.writeScene, "w.tscene.json");
    EXPECT_TRUE(p.result.line.oneSegment);
}

TEST(HostCommandLine, SelectedTakesOneNameEachTime) {
    // A second word after --selected is the scene, not another node.
    Parse p({"--selected", "Box01", "scene", "out.x"});
    ASSERT_TRUE(p.result.run) << p.err.str();
    EXPECT_EQ(p.result.line.selected, std::vector<std::string>{"Box01"});
    EXPECT_EQ(p.result.line.scene, "scene");
    EXPECT_EQ(p.result.line.output, "out.x");
}

TEST(HostCommandLine, MissingOutputIsAUsageErrorInOneLine) {
    Parse p({"scene"});
    EXPECT_FALSE(p.result.run);
    EXPECT_EQ(p.result.exitCode, kExitUsage);
    EXPECT_EQ(LineCount(p.err.str()), 1);
    EXPECT_NE(p.err.str().find("OUTPUT"), std::string::npos) << p.err.str();
    EXPECT_EQ(p.err.str().rfind("tarvo-x-export: ", 0), 0u);
}

// An empty path is refused before any work instead of escaping as an exception later.
TEST(HostCommandLine, EmptyPathsAreUsageErrorsNamingTheArgument) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"scene", ""}, "OUTPUT"},
        {{"", "out.x"}, "SCENE"},
        {{"--plugcfg", "", "scene", "out.x"}, "--plugcfg"},
        {{"--plugin-dir", "", "scene", "out.x"}, "--plugin-dir"}};
    for (const auto& [args, argument] : cases) {
        Parse p(args);
        EXPECT_FALSE(p.result.run) << argument;
        EXPECT_EQ(p.result.exitCode, kExitUsage) << argument;
        EXPECT_EQ(LineCount(p.err.str()), 1) << p.err.str();
        EXPECT_NE(p.err.str().find(argument), std::string::npos) << p.err.str();
        EXPECT_NE(p.err.str().find("empty"), std::string::npos) << p.err.str();
    }
}

TEST(HostCommandLine, UnknownOptionIsAUsageError) {
    Parse p({"--fast", "scene", "out.x"});
    EXPECT_FALSE(p.result.run);
    EXPECT_EQ(p.result.exitCode, kExitUsage);
    EXPECT_NE(p.err.str().find("--fast"), std::string::npos) << p.err.str();
    EXPECT_EQ(LineCount(p.err.str()), 1);
}

TEST(HostCommandLine, ExtraPositionalIsAUsageError) {
    Parse p({"scene", "out.x", "more"});
    EXPECT_FALSE(p.result.run);
    EXPECT_EQ(p.result.exitCode, kExitUsage);
}

TEST(HostCommandLine, HelpListsEveryOptionAndSucceeds) {
    Parse p({"--help"});
    EXPECT_FALSE(p.result.run);
    EXPECT_EQ(p.result.exitCode, kExitSuccess);
    for (const char* option : {"SCENE", "OUTPUT", "--selected", "--plugcfg", "--plugin-dir",
                               "--save-scene", "--debug", "--version"})
        EXPECT_NE(p.out.str().find(option), std::string::npos) << option;
    EXPECT_EQ(p.err.str(), "");
}

TEST(HostCommandLine, VersionNamesTheProgram) {
    Parse p({"--version"});
    EXPECT_FALSE(p.result.run);
    EXPECT_EQ(p.result.exitCode, kExitSuccess);
    EXPECT_EQ(p.out.str().rfind("tarvo-x-export ", 0), 0u) << p.out.str();
    EXPECT_EQ(LineCount(p.out.str()), 1);
}

TEST(HostCommandLine, PlugCfgDirFollowsXdgConfigHome) {
    EXPECT_EQ(DefaultPlugCfgDir("/x/config", "/home/u"), "/x/config/tarvo-dx");
    EXPECT_EQ(DefaultPlugCfgDir(nullptr, "/home/u"), "/home/u/.config/tarvo-dx");
    EXPECT_EQ(DefaultPlugCfgDir("", "/home/u"), "/home/u/.config/tarvo-dx");
    // The XDG rules ignore a relative value.
    EXPECT_EQ(DefaultPlugCfgDir("relative/config", "/home/u"), "/home/u/.config/tarvo-dx");
}

TEST(HostCommandLine, PluginDirIsBesideTheProgram) {
    EXPECT_EQ(DefaultPluginDir("/opt/tarvo/bin"), "/opt/tarvo/bin/plugins");
}
