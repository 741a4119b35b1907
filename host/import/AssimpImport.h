// Scenes of other programs (glTF, FBX, Collada, OBJ, 3DS, Blender and whatever else Assimp
// reads) turned into the host's scene records, as the modelling host would import them: z up,
// one host mesh per node, standard materials, embedded images as files beside the output.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/import/ImportContext.h"
#include "platform/max/SceneData.h"

namespace tarvo::assimpimport {

// A file the importer could not read; what() is one line naming the file and Assimp's
// reason.
class ImportError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ImportOptions {
    // The .X file the scene is exported to: images embedded in the source are named after it
    // and written beside it.
    std::string outputFile;
    // Keep the single default animation segment instead of one per source animation.
    bool oneSegment = false;
};

// An image held inside the source file, to be written as its own file so that the
// exporter's texture handling can read it.
struct EmbeddedImage {
    std::string path;  // absolute; the bitmap path the scene's materials name
    std::vector<std::uint8_t> bytes;
};

struct ImportReport {
    UnmappedCounts unmapped;
    std::vector<EmbeddedImage> images;  // not yet written: see WriteEmbeddedImage
};

// Whether the file is the host's own scene file (".tscene.json", any case), which has its
// own loader; any other file goes through the importer.
bool IsHostSceneFile(const std::string& file);

// Reads `file` with Assimp and builds the scene records. Throws ImportError when Assimp
// cannot read the file.
scene::SceneData ImportScene(const std::string& file, const ImportOptions& options,
                             ImportReport& report);

// Writes one embedded image atomically; leaves an existing file of the same bytes alone.
// Returns an empty string, or the one line that says why it could not be written.
std::string WriteEmbeddedImage(const EmbeddedImage& image);

// "2 cameras, 1 light, 3 morph targets": the tally in one line, empty when nothing is left
// out.
std::string DescribeUnmapped(const UnmappedCounts& unmapped);

}  // namespace tarvo::assimpimport
