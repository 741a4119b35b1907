// Loading and saving speed of the scene file for the grid scene: a flat grid of 709 x 707
// quads, two triangles each, with texture coordinates on map channel 1 and one explicit
// normal (0, 0, 1) for every corner, under one material. Every rate counter is in MB of the
// file per second; the floor is reading the file into memory, which any loader must do.
//   load_MB_s      LoadSceneFile: read, parse and check into the scene records
//   read_MB_s      ReadWholeFile alone (the floor)
//   bytes_MB_s     SceneFileBytes::Read, the loader's own read (the file's pages mapped)
//   streaming_MB_s ParseSceneStreaming on text already in memory
//   one_thread_MB_s the same with every list read by one thread
//   document_MB_s  ParseSceneDocument on text already in memory (the whole-tree reader)
//   serialize_MB_s SerializeScene, records to text
//   save_MB_s      SaveSceneFile, records to a file on disk
// TARVO_BENCH_SCENE names a scene file to use instead of the grid made here.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/scene/SceneFile.h"
#include "host/scene/SceneFileBytes.h"
#include "host/scene/SceneFileReaders.h"
#include "platform/win/FileIO.h"

namespace {

using namespace tarvo;

constexpr std::uint32_t kQuadsAcross = 709;
constexpr std::uint32_t kQuadsDown = 707;
constexpr float kQuadSize = 0.25f;
constexpr double kBytesPerMB = 1e6;

scene::MeshData GridMesh() {
    scene::MeshData mesh;
    constexpr std::uint32_t across = kQuadsAcross + 1, down = kQuadsDown + 1;
    scene::MapChannel uvs;
    for (std::uint32_t y = 0; y < down; ++y) {
        for (std::uint32_t x = 0; x < across; ++x) {
            mesh.vertices.emplace_back(float(x) * kQuadSize, float(y) * kQuadSize, 0.0f);
            uvs.vertices.emplace_back(float(x) / kQuadsAcross, float(y) / kQuadsDown, 0.0f);
        }
    }
    scene::ExplicitNormals normals;
    normals.normals.emplace_back(0.0f, 0.0f, 1.0f);
    for (std::uint32_t y = 0; y < kQuadsDown; ++y) {
        for (std::uint32_t x = 0; x < kQuadsAcross; ++x) {
            std::uint32_t a = y * across + x, b = a + 1, c = a + across, d = c + 1;
            for (std::array<std::uint32_t, 3> corners :
                 {std::array{a, b, d}, std::array{a, d, c}}) {
                scene::FaceData face;
                std::copy(corners.begin(), corners.end(), face.v);
                face.smGroup = 1;
                mesh.faces.push_back(face);
                uvs.faces.push_back(corners);
                normals.faces.push_back({0, 0, 0});
            }
        }
    }
    mesh.maps[scene::MAP_TEXCOORD_CHANNEL] = std::move(uvs);
    mesh.normals = std::move(normals);
    return mesh;
}

scene::SceneData GridScene() {
    scene::SceneData grid;
    scene::MaterialData material;
    material.name = "Grid";
    grid.materials.push_back(material);
    scene::NodeData node;
    node.name = "Grid";
    node.object = scene::ObjectKind::Mesh;
    node.material = 0;
    node.mesh = GridMesh();
    grid.nodes.push_back(std::move(node));
    return grid;
}

// The grid file this run wrote, to be removed at the end; empty when none was written.
std::string g_madeFile;

// The scene file measured, written once per run unless TARVO_BENCH_SCENE names one.
const std::string& SceneFilePath() {
    static const std::string path = [] {
        if (const char* given = std::getenv("TARVO_BENCH_SCENE")) return std::string(given);
        auto made = std::filesystem::temp_directory_path() /
                    ("tarvo-bench-grid-" + std::to_string(::getpid()) + ".tscene.json");
        scenefile::SaveSceneFile(GridScene(), made.string());
        g_madeFile = made.string();
        return g_madeFile;
    }();
    return path;
}

const std::string& SceneText() {
    static const std::string text = [] {
        std::string bytes;
        if (FAILED(ReadWholeFile(SceneFilePath(), bytes))) std::abort();
        return bytes;
    }();
    return text;
}

void Rate(benchmark::State& state, const char* name) {
    state.counters[name] = benchmark::Counter(double(SceneText().size()) / kBytesPerMB,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadFile(benchmark::State& state) {
    for (auto _ : state) {
        std::string bytes;
        if (FAILED(ReadWholeFile(SceneFilePath(), bytes))) state.SkipWithError("cannot read");
        benchmark::DoNotOptimize(bytes.data());
    }
    Rate(state, "read_MB_s");
}

void BM_ReadSceneFileBytes(benchmark::State& state) {
    for (auto _ : state) {
        scenefile::SceneFileBytes bytes;
        if (!bytes.Read(SceneFilePath())) state.SkipWithError("cannot read");
        benchmark::DoNotOptimize(bytes.View().data());
    }
    Rate(state, "bytes_MB_s");
}

void BM_LoadSceneFile(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(scenefile::LoadSceneFile(SceneFilePath()));
    Rate(state, "load_MB_s");
}

void BM_ParseStreaming(benchmark::State& state) {
    for (auto _ : state) {
        auto scene = scenefile::ParseSceneStreaming(SceneText(), "grid");
        if (!scene) state.SkipWithError("the streaming reader gave up on the grid");
        benchmark::DoNotOptimize(scene);
    }
    Rate(state, "streaming_MB_s");
}

void BM_ParseStreamingOneThread(benchmark::State& state) {
    scenefile::ListSharing oneThread;
    oneThread.maxReaders = 1;
    for (auto _ : state) {
        auto scene = scenefile::ParseSceneStreaming(SceneText(), "grid", "", oneThread);
        if (!scene) state.SkipWithError("the streaming reader gave up on the grid");
        benchmark::DoNotOptimize(scene);
    }
    Rate(state, "one_thread_MB_s");
}

void BM_ParseDocument(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(scenefile::ParseSceneDocument(SceneText(), "grid"));
    Rate(state, "document_MB_s");
}

void BM_SerializeScene(benchmark::State& state) {
    const scene::SceneData scene = scenefile::ParseScene(SceneText(), "grid");
    for (auto _ : state) benchmark::DoNotOptimize(scenefile::SerializeScene(scene));
    Rate(state, "serialize_MB_s");
}

void BM_SaveSceneFile(benchmark::State& state) {
    const scene::SceneData scene = scenefile::ParseScene(SceneText(), "grid");
    auto target = std::filesystem::temp_directory_path() /
                  ("tarvo-bench-save-" + std::to_string(::getpid()) + ".tscene.json");
    for (auto _ : state) scenefile::SaveSceneFile(scene, target.string());
    std::filesystem::remove(target);
    Rate(state, "save_MB_s");
}

// A few rounds of each: one load of the grid takes a good part of a second. The loads that
// share lists out among threads are timed and rated by the clock on the wall, since the CPU
// time counted is the calling thread's alone.
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReadSceneFileBytes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadSceneFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ParseStreaming)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ParseStreamingOneThread)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ParseDocument)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SerializeScene)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SaveSceneFile)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!g_madeFile.empty()) std::filesystem::remove(g_madeFile);
    return 0;
}
