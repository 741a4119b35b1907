// The import's driver: Assimp reads the file, then the steps fill the host's records in the
// order they need each other.
#include "host/import/AssimpImport.h"

#include <assimp/config.h>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/import/ImportAnimations.h"
#include "host/import/ImportSkins.h"
#include "host/import/ImportStages.h"
#include "platform/win/FileIO.h"

namespace tarvo::assimpimport {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHostSceneExtension = ".tscene.json";

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

const aiScene& ReadSource(Assimp::Importer& importer, const std::string& file) {
    // FBX pivots are folded into the node transforms instead of becoming extra nodes, as
    // the host keeps one node per source node.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    const aiScene* scene = importer.ReadFile(file, kPostProcessing);
    if (scene == nullptr)
        throw ImportError(file + ": cannot be imported: " + OneLine(importer.GetErrorString()));
    // Assimp calls a scene without meshes incomplete; its nodes, cameras and lights are
    // still a scene the host can hold.
    if (scene->mRootNode == nullptr)
        throw ImportError(file + ": cannot be imported: the file holds no node");
    return *scene;
}

ImageNaming NamingFor(const std::string& sourceFile, const std::string& outputFile) {
    const fs::path output = fs::absolute(outputFile);
    ImageNaming naming;
    naming.directory = output.parent_path().string();
    naming.stem = output.stem().string();
    naming.sourceDirectory = fs::absolute(sourceFile).parent_path().string();
    return naming;
}

// "morph target" -> "morph targets", "vertex colour set past the first" -> "vertex colour
// sets past the first": the noun before a qualifier takes the plural.
std::string Plural(const std::string& thing) {
    std::size_t end = thing.size();
    for (const char* qualifier : {" past ", " other than ", " with "})
        end = std::min(end, thing.find(qualifier));
    const std::string noun = thing.substr(0, end);
    const bool sibilant =
        noun.ends_with('s') || noun.ends_with('x') || noun.ends_with("ch") || noun.ends_with("sh");
    return noun + (sibilant ? "es" : "s") + thing.substr(end);
}

bool SameBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::vector<std::uint8_t> existing((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
    return existing == bytes;
}

}  // namespace

bool IsHostSceneFile(const std::string& file) {
    if (file.size() < kHostSceneExtension.size()) return false;
    return std::equal(kHostSceneExtension.begin(), kHostSceneExtension.end(),
                      file.end() - static_cast<std::ptrdiff_t>(kHostSceneExtension.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

scene::SceneData ImportScene(const std::string& file, const ImportOptions& options,
                             ImportReport& report) {
    Assimp::Importer importer;
    const aiScene& source = ReadSource(importer, file);
    scene::SceneData records;
    records.baseDirectory = fs::absolute(file).parent_path().string();
    ImportContext ctx{.source = source, .scene = records};
    // Materials first: the nodes refer to them by the source's material index.
    const MaterialMap materials = ImportMaterials(ctx, NamingFor(file, options.outputFile), report);
    ImportNodes(ctx, materials);
    // Skins need the host mesh vertices and the bone nodes; animations the nodes.
    ImportSkins(ctx);
    ImportAnimations(ctx, !options.oneSegment);
    report.unmapped = ctx.unmapped;
    return records;
}

std::string WriteEmbeddedImage(const EmbeddedImage& image) {
    if (SameBytes(image.path, image.bytes)) return {};
    if (FAILED(WriteFileAtomically(image.path, image.bytes)))
        return "cannot write the embedded image " + image.path + ": " + std::strerror(errno);
    return {};
}

std::string DescribeUnmapped(const UnmappedCounts& unmapped) {
    std::string line;
    for (const auto& [thing, count] : unmapped) {
        if (count == 0) continue;
        if (!line.empty()) line += ", ";
        line += std::to_string(count) + " " + (count == 1 ? thing : Plural(thing));
    }
    return line;
}

}  // namespace tarvo::assimpimport
