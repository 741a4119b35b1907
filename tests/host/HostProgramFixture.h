// tarvo-x-export run as a child process with the fake exporter plug-in: a test folder with
// the plug-in directory, a scene, a folder of its own for the output, and a folder for the
// marker files the fake leaves as it reaches the points the tests wait for.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/scene/SceneFile.h"
#include "tests/host/ProgramRunner.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace tarvo::hosttest {

namespace fs = std::filesystem;

inline int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline std::vector<std::string> SortedEntries(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Box01 with the child Sphere01, Light01 (selected in the file) and two nodes named Twin.
inline scene::SceneData TestScene() {
    scene::SceneData data;
    auto add = [&data](const char* name, int parent, bool selected = false) {
        scene::NodeData node;
        node.name = name;
        node.parent = parent;
        node.selected = selected;
        data.nodes.push_back(node);
    };
    add("Box01", -1);
    add("Sphere01", 0);
    add("Light01", -1, true);
    add("Twin", -1);
    add("Twin", 0);
    scene::FileProperty keep;
    keep.name = "Keep";
    keep.text = "me";
    data.fileProperties.push_back(keep);
    return data;
}

inline const scene::FileProperty* FindProperty(const scene::SceneData& data,
                                               const std::string& name) {
    for (const auto& property : data.fileProperties)
        if (property.named && property.name == name) return &property;
    return nullptr;
}

// Waits for a file a child makes; false after 15 seconds without it.
inline bool WaitForFile(const fs::path& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!fs::exists(file) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(file);
}

class HostProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "plugins");
        fs::create_directories(outDir);
        fs::create_directories(markers);
        fs::create_symlink(FAKE_EXPORTER_MODULE, dir / "plugins" / "fake.so");
        scenefile::SaveSceneFile(TestScene(), scene);
    }

    // The program with the test's plug-in and configuration directories, then `args`.
    std::vector<std::string> Command(const std::vector<std::string>& args) const {
        std::vector<std::string> command{TARVO_X_EXPORT, "--plugin-dir", (dir / "plugins").string(),
                                         "--plugcfg", plugcfg};
        command.insert(command.end(), args.begin(), args.end());
        return command;
    }

    subprocess::EnvironmentChanges Environment(const std::string& mode) const {
        return {{"TARVO_FAKE_EXPORTER", mode}, {"TARVO_FAKE_MARKERS", markers.string()}};
    }

    subprocess::ProgramResult Run(const std::vector<std::string>& args,
                                  const std::string& mode = "write") {
        return subprocess::RunProgram(Command(args), Environment(mode));
    }

    testsupport::TempDir m_temp{"tarvo-program"};
    const fs::path dir = m_temp.Path();
    const fs::path outDir = dir / "out";
    const fs::path markers = dir / "markers";
    std::string scene = (dir / "scene.tscene.json").string();
    std::string output = (outDir / "out.x").string();
    std::string plugcfg = (dir / "config").string();
};

}  // namespace tarvo::hosttest
