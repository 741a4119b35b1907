// The host's scene file (docs/scene-format.md): a JSON document holding nodes, meshes,
// materials, skins, animation and the scene's file properties.
//
// Loading is all or nothing: a file either yields a whole scene or a SceneFileError that
// names the file, the place in the document (a JSON pointer such as /nodes/0/mesh/faces/3)
// and what is wrong there. Saving writes a temporary file beside the target and renames it
// into place.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/max/SceneCheck.h"
#include "platform/max/SceneData.h"

namespace tarvo::scenefile {

class SceneFileError : public std::runtime_error {
  public:
    SceneFileError(std::string file, std::string path, std::string problem);
    const std::string& File() const { return m_file; }
    // The JSON pointer of the offending value; empty for the document as a whole.
    const std::string& Path() const { return m_path; }
    const std::string& Problem() const { return m_problem; }

  private:
    std::string m_file;
    std::string m_path;
    std::string m_problem;
};

// Reads a scene file. Relative bitmap paths in it are found beside the file.
scene::SceneData LoadSceneFile(const std::string& file);
// The same, with the records' own rules already checked on the way (as a host scene built
// from them would check them again otherwise).
scene::CheckedScene LoadCheckedSceneFile(const std::string& file);

// Reads scene text; fileName only names the source in errors.
scene::SceneData ParseScene(const std::string& text, const std::string& fileName,
                            const std::string& baseDirectory = "");

// The scene as scene-file text. Nodes are written as a tree, children inside their parent.
// Throws std::invalid_argument for what a scene file cannot hold (a number that is not
// finite, text that is not UTF-8).
std::string SerializeScene(const scene::SceneData& scene);

// Writes the scene file atomically; throws SceneFileError when it cannot be written.
void SaveSceneFile(const scene::SceneData& scene, const std::string& file);

// The file name suffix of scene files.
inline constexpr const char* kSceneFileSuffix = ".tscene.json";

}  // namespace tarvo::scenefile
