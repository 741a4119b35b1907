// Feeds arbitrary text to the scene-file parser. The streaming reader must read the same
// records as the document reader, to the bit, or give up; it must never take a text the
// document reader refuses. Whatever parses must also build a host scene or be refused with a
// message, and must serialise and parse back to the same records.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/PlantedFault.h"
#include "host/scene/SceneFile.h"
#include "host/scene/SceneFileReaders.h"
#include "platform/max/HostScene.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvo::fuzz::PlantedFault(data, size);
    std::string text(reinterpret_cast<const char*>(data), size);
    auto streamed = tarvo::scenefile::ParseSceneStreaming(text, "fuzz.tscene.json");
    tarvo::scene::SceneData scene;
    try {
        scene = tarvo::scenefile::ParseSceneDocument(text, "fuzz.tscene.json");
    } catch (const tarvo::scenefile::SceneFileError&) {
        if (streamed) std::abort();  // taken by one reader, refused by the other
        return 0;
    }
    if (streamed && !tarvo::scenefile::SameSceneBits(*streamed, scene)) std::abort();
    try {
        HostScene host(scene);
    } catch (const std::invalid_argument&) {
        // A refused scene names its problem; that is an answer.
    }
    auto again =
        tarvo::scenefile::ParseScene(tarvo::scenefile::SerializeScene(scene), "again.tscene.json");
    again.baseDirectory = scene.baseDirectory;
    if (!(again == scene)) std::abort();
    return 0;
}
