// Helpers of the animation tests: the AnimationKeys of a written file decoded, and a small
// scene whose key writers run straight into a file that is read back with our reader.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "../d3dx/XTestSupport.h"
#include "anim/Animation.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"

namespace animtest {

// One AnimationKey as the file holds it.
struct DecodedKeys {
    std::uint32_t type = 0;
    std::vector<std::uint32_t> times;
    std::vector<std::vector<float>> values;
    std::size_t payloadBytes = 0;
};
// Decodes an AnimationKey payload; fails the test when the payload is malformed.
DecodedKeys DecodeKeys(const d3dx::XDataObject& key);

// Every object of the template anywhere in the file, in file order.
using xtest::FindAll;
// The by-name references among an object's children.
using xtest::ReferencesOf;

// A scene with the host running on it and an exporter whose options a test sets.
class KeyWriterRun {
  public:
    using Writer = std::function<std::uint32_t(const TarvoDirectXMaxExporter&, const AnimatedNode&,
                                               const XParent&, TimeValue, TimeValue)>;

    explicit KeyWriterRun(tarvo::scene::SceneData scene);
    ~KeyWriterRun();

    ExportOptions& Options() { return m_exporter.options; }
    INode* Node(const std::string& name) { return m_scene.FindNode(name); }
    // Runs each writer in order on the node under one Animation, saves the file and reads
    // its AnimationKeys back; `counts` receives what each writer returned.
    std::vector<DecodedKeys> Write(const std::vector<Writer>& writers, const AnimatedNode& node,
                                   TimeValue start, TimeValue end,
                                   std::vector<std::uint32_t>* counts = nullptr);

  private:
    tarvo::testsupport::TempDir m_dir;
    HostScene m_scene;
    Interface m_host;
    TarvoDirectXMaxExporter m_exporter;
    int m_files = 0;
};

}  // namespace animtest
