// Exporting a mesh of 1,000,000 faces: a 1000 x 500 quad grid with texture coordinates,
// vertex colours, two extra map channels and smoothing groups, with texture seams every
// ten rows and a duplicated vertex column every hundred columns (so "Normal" appends
// variants and "Optimized" finds equal variants of different host vertices to merge).
//
// Export/<optMesh>/<xFileType>: the whole DoExport, file written. MeshOnly/<optMesh>: just
// ExportMesh into an open save object (gathering, sharing, payloads, the file layer's copy).
// Counters: peak_MB is the process's peak resident memory during the run (the scene itself
// included; scene_MB is what was resident before), vertices the written vertex count.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mesh/Mesh.h"
#include "platform/d3dx/XTemplateSets.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"

namespace {

using tarvo::scene::MapChannel;
using tarvo::scene::MeshData;

constexpr std::uint32_t kColumns = 1000, kRows = 500;  // quads: 2 x 500,000 triangles
constexpr std::uint32_t kSeamRows = 10;                // texture seam every ten rows
constexpr std::uint32_t kSplitColumns = 100;           // duplicated vertex column every hundred

// Host vertices: the grid, then one duplicate of every split column.
struct GridLayout {
    std::uint32_t gridVertices = (kColumns + 1) * (kRows + 1);
    std::uint32_t Grid(std::uint32_t x, std::uint32_t y) const { return y * (kColumns + 1) + x; }
    // The vertex a quad at column `quadX` uses at grid column x.
    std::uint32_t For(std::uint32_t quadX, std::uint32_t x, std::uint32_t y) const {
        bool split = x % kSplitColumns == 0 && x > 0 && x < kColumns && quadX >= x;
        return split ? gridVertices + (x / kSplitColumns - 1) * (kRows + 1) + y : Grid(x, y);
    }
};

// Per band of rows its own texture vertices, so seam rows carry two.
std::uint32_t BandVertex(std::uint32_t x, std::uint32_t y, std::uint32_t band) {
    return band * (kColumns + 1) * (kSeamRows + 1) + (y - band * kSeamRows) * (kColumns + 1) + x;
}

MapChannel BandedChannel(float scale) {
    MapChannel channel;
    std::uint32_t bands = kRows / kSeamRows;
    for (std::uint32_t band = 0; band < bands; ++band)
        for (std::uint32_t y = band * kSeamRows; y <= band * kSeamRows + kSeamRows; ++y)
            for (std::uint32_t x = 0; x <= kColumns; ++x)
                channel.vertices.push_back(Point3(scale * float(x) / kColumns,
                                                  float(y - band * kSeamRows) / kSeamRows, 0));
    return channel;
}

void AddQuad(MeshData& mesh, const GridLayout& layout, std::uint32_t x, std::uint32_t y) {
    std::uint32_t a = layout.For(x, x, y), b = layout.For(x, x + 1, y);
    std::uint32_t c = layout.For(x, x, y + 1), d = layout.For(x, x + 1, y + 1);
    std::uint32_t group = 1u << ((y / 50) % 4);
    mesh.faces.push_back({{a, b, d}, group, 0});
    mesh.faces.push_back({{a, d, c}, group, 0});
    std::uint32_t band = y / kSeamRows;
    std::array<std::uint32_t, 3> t1 = {BandVertex(x, y, band), BandVertex(x + 1, y, band),
                                       BandVertex(x + 1, y + 1, band)};
    std::array<std::uint32_t, 3> t2 = {BandVertex(x, y, band), BandVertex(x + 1, y + 1, band),
                                       BandVertex(x, y + 1, band)};
    for (int channel : {1, 2, 3}) {
        mesh.maps[channel].faces.push_back(t1);
        mesh.maps[channel].faces.push_back(t2);
    }
    // Colours follow the host vertices.
    mesh.maps[0].faces.push_back({a, b, d});
    mesh.maps[0].faces.push_back({a, d, c});
}

MeshData Grid() {
    GridLayout layout;
    MeshData mesh;
    for (std::uint32_t y = 0; y <= kRows; ++y)
        for (std::uint32_t x = 0; x <= kColumns; ++x)
            mesh.vertices.push_back(
                Point3(float(x) * 0.1f, float(y) * 0.1f, 0.01f * float((x * 7 + y * 13) % 101)));
    for (std::uint32_t split = kSplitColumns; split < kColumns; split += kSplitColumns)
        for (std::uint32_t y = 0; y <= kRows; ++y)
            mesh.vertices.push_back(mesh.vertices[layout.Grid(split, y)]);
    mesh.maps[1] = BandedChannel(1.0f);
    mesh.maps[2] = BandedChannel(2.0f);
    mesh.maps[3] = BandedChannel(4.0f);
    for (const Point3& p : mesh.vertices)
        mesh.maps[0].vertices.push_back(Point3(p.x / 100, p.y / 50, p.z));
    for (std::uint32_t y = 0; y < kRows; ++y)
        for (std::uint32_t x = 0; x < kColumns; ++x) AddQuad(mesh, layout, x, y);
    return mesh;
}

tarvo::scene::SceneData GridScene() {
    tarvo::scene::SceneData scene;
    tarvo::scene::NodeData node;
    node.name = "Grid";
    node.object = tarvo::scene::ObjectKind::Mesh;
    node.mesh = Grid();
    scene.nodes.push_back(std::move(node));
    return scene;
}

HostScene& Scene() {
    static HostScene scene(GridScene());
    return scene;
}

// Resident memory in MB, the peak (VmHWM) or the current (VmRSS).
double StatusMB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    return 0.0;
}

// Starts a new peak: writing 5 to clear_refs resets the process's peak resident size.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string ScratchDir() {
    static std::string dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-mesh-bench-XXXXXX").string();
        return std::string(mkdtemp(pattern.data()));
    }();
    return dir;
}

ExportOptions BenchOptions(int optMesh, int xFileType) {
    ExportOptions options;
    options.exportAnimation = 0;
    options.optMesh = optMesh;
    options.xFileType = xFileType;
    return options;
}

// The output vertex count of the last "Opt Node Name is :%s Verts: %d, ..." line.
std::uint32_t LastVertexCount(const std::string& lines) {
    std::size_t line = lines.rfind("Opt Node Name is :");
    std::size_t at = line == std::string::npos ? line : lines.find("Verts: ", line);
    return at == std::string::npos ? 0
                                   : static_cast<std::uint32_t>(std::stoul(lines.substr(at + 7)));
}

void BM_Export(benchmark::State& state) {
    HostScene& scene = Scene();
    Interface host(&scene);
    host.SetPlugCfgDir(ScratchDir());
    SaveSettings(BenchOptions(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))),
                 host);
    std::string path = ScratchDir() + "/grid.x", lines;
    SetDebugPrintSink([&lines](const std::string& text) {
        if (text.rfind("Opt Node", 0) == 0) lines += text;
    });
    double sceneMB = StatusMB("VmRSS");
    ResetPeak();
    for (auto _ : state) {
        TarvoDirectXMaxExporter exporter;
        if (exporter.DoExport(path.c_str(), nullptr, &host, TRUE, 0) != 1)
            state.SkipWithError("export failed");
    }
    state.counters["peak_MB"] = StatusMB("VmHWM");
    state.counters["scene_MB"] = sceneMB;
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
    state.counters["vertices"] = LastVertexCount(lines);
    SetDebugPrintSink(nullptr);
}

// ExportMesh alone on the scene's first node, into save objects that are never saved.
class MeshOnlyRun {
  public:
    MeshOnlyRun(HostScene& scene, int optMesh, std::string path)
        : m_scene(scene), m_host(&scene), m_path(std::move(path)) {
        m_scene.IGame()->InitialiseIGame(false);
        m_node = m_scene.IGame()->GetTopLevelNode(0);
        m_exporter.options = BenchOptions(optMesh, 1);
        m_exporter.hostInterface = &m_host;
        m_ready = SUCCEEDED(D3DXFileCreate(m_file.Put())) &&
                  SUCCEEDED(RegisterStandardTemplateSets(m_file.Get()));
    }
    ~MeshOnlyRun() { m_scene.IGame()->ReleaseIGame(); }
    MeshOnlyRun(const MeshOnlyRun&) = delete;
    MeshOnlyRun& operator=(const MeshOnlyRun&) = delete;

    bool Ready() const { return m_ready; }
    IGameNode* Node() const { return m_node; }

    // One ExportMesh into a fresh save object; false when no save object could be had.
    bool ExportOnce() {
        ComRef<ID3DXFileSaveObject> save;
        if (FAILED(m_file->CreateSaveObject(m_path.c_str(), D3DXF_FILESAVE_TOFILE,
                                            D3DXF_FILEFORMAT_BINARY, save.Put())))
            return false;
        ExportMesh(m_exporter, m_node, 0, XParent(save.Get()));
        return true;
    }

  private:
    HostScene& m_scene;
    Interface m_host;
    std::string m_path;
    IGameNode* m_node = nullptr;
    TarvoDirectXMaxExporter m_exporter;
    ComRef<ID3DXFile> m_file;
    bool m_ready = false;
};

// False when the run could not be set up or failed (the benchmark is then marked as failed).
bool RunMeshOnly(benchmark::State& state, HostScene& scene, const std::string& path) {
    MeshOnlyRun run(scene, static_cast<int>(state.range(0)), path);
    if (!run.Ready()) {
        state.SkipWithError("the standard template sets did not register");
        return false;
    }
    for (auto _ : state) {
        if (!run.ExportOnce()) {
            state.SkipWithError("no save object");
            return false;
        }
    }
    return true;
}

void BM_MeshOnly(benchmark::State& state) {
    HostScene& scene = Scene();
    double sceneMB = StatusMB("VmRSS");
    ResetPeak();
    if (!RunMeshOnly(state, scene, ScratchDir() + "/unsaved.x")) return;
    state.counters["peak_MB"] = StatusMB("VmHWM");
    state.counters["scene_MB"] = sceneMB;
}

// A fan of 200,000 faces around one host vertex whose every corner carries a texture
// coordinate of its own: one host vertex with 200,000 variants, the case where walking the
// chain per corner would be quadratic.
HostScene& FanScene() {
    static HostScene scene([] {
        constexpr std::uint32_t kFanFaces = 200000;
        MeshData mesh;
        mesh.vertices.push_back(Point3(0, 0, 0));
        MapChannel uvs;
        for (std::uint32_t i = 0; i <= kFanFaces; ++i) {
            float angle = 6.2831853f * float(i) / kFanFaces;
            mesh.vertices.push_back(Point3(std::cos(angle), std::sin(angle), 0));
            uvs.vertices.push_back(Point3(float(i) / kFanFaces, 0, 0));
        }
        for (std::uint32_t i = 0; i < kFanFaces; ++i) {
            mesh.faces.push_back({{0, i + 1, i + 2}, 1, 0});
            uvs.faces.push_back({i, i, i + 1});
        }
        mesh.maps[1] = uvs;
        tarvo::scene::SceneData data;
        tarvo::scene::NodeData node;
        node.name = "Fan";
        node.object = tarvo::scene::ObjectKind::Mesh;
        node.mesh = std::move(mesh);
        data.nodes.push_back(std::move(node));
        return data;
    }());
    return scene;
}

void BM_FanMeshOnly(benchmark::State& state) {
    std::string lines;
    SetDebugPrintSink([&lines](const std::string& text) {
        if (text.rfind("Opt Node", 0) == 0) lines = text;
    });
    bool ran = RunMeshOnly(state, FanScene(), ScratchDir() + "/fan.x");
    SetDebugPrintSink(nullptr);
    if (ran) state.counters["vertices"] = LastVertexCount(lines);
}

// The grid of the whole-program timings: 709 x 707 quads of two triangles each (1,002,528
// faces), a texture coordinate per grid vertex, one smoothing group, one material, and one
// explicit normal (0, 0, 1) that every corner names.
constexpr std::uint32_t kFlatColumns = 709, kFlatRows = 707;

MeshData FlatGrid() {
    MeshData mesh;
    MapChannel& uvs = mesh.maps[1];
    for (std::uint32_t y = 0; y <= kFlatRows; ++y)
        for (std::uint32_t x = 0; x <= kFlatColumns; ++x) {
            mesh.vertices.push_back(Point3(float(x) * 0.1f, float(y) * 0.1f, 0));
            uvs.vertices.push_back(Point3(float(x) / kFlatColumns, float(y) / kFlatRows, 0));
        }
    tarvo::scene::ExplicitNormals& normals = mesh.normals.emplace();
    normals.normals.push_back(Point3(0, 0, 1));
    for (std::uint32_t y = 0; y < kFlatRows; ++y)
        for (std::uint32_t x = 0; x < kFlatColumns; ++x) {
            std::uint32_t a = y * (kFlatColumns + 1) + x, b = a + 1;
            std::uint32_t c = a + kFlatColumns + 1, d = c + 1;
            for (const std::array<std::uint32_t, 3>& t :
                 {std::array{a, b, d}, std::array{a, d, c}}) {
                mesh.faces.push_back({{t[0], t[1], t[2]}, 1, 0});
                uvs.faces.push_back(t);
                normals.faces.push_back({0, 0, 0});
            }
        }
    return mesh;
}

HostScene& FlatGridScene() {
    static HostScene scene([] {
        tarvo::scene::SceneData data;
        tarvo::scene::NodeData node;
        node.name = "Grid";
        node.object = tarvo::scene::ObjectKind::Mesh;
        node.mesh = FlatGrid();
        data.nodes.push_back(std::move(node));
        return data;
    }());
    return scene;
}

// What any exporter pays to read the mesh once through IGame: the object prepared, then per
// face its three positions, explicit normals and texture coordinates. Returns a sum of what
// was read so that the reads cannot be left out.
double ReadFacesOnce(IGameNode* node) {
    auto* mesh = static_cast<IGameMesh*>(node->GetIGameObject());
    mesh->InitializeData();
    double sum = 0.0;
    for (int f = 0, faces = mesh->GetNumberOfFaces(); f < faces; ++f) {
        const FaceEx& face = *mesh->GetFace(f);
        for (int k = 0; k < 3; ++k) {
            Point3 p = mesh->GetVertex(static_cast<int>(face.vert[k]), true);
            Point3 n = mesh->GetNormal(static_cast<int>(face.norm[k]), true);
            Point2 uv = mesh->GetTexVertex(static_cast<int>(face.texCoord[k]));
            sum += double(p.x) + p.y + p.z + n.x + n.y + n.z + uv.x + uv.y;
        }
    }
    node->ReleaseIGameObject();
    return sum;
}

// The processor time this thread spends on `work`, user and system, in milliseconds: with
// a handful of busy processes sharing two cores, wall-clock time mostly measures the others.
template <typename Work>
double CpuMillisecondsOf(Work&& work) {
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    };
    double start = now();
    work();
    return now() - start;
}

// How many exports, each followed by a read, the flat grid takes. On a shared machine any one
// run can lose its processor for a while, so the fastest of a few runs moves by a tenth or
// more from one bench run to the next; the fastest of this many settles within a few
// hundredths at a load of about one, and both sides still take well under a minute.
constexpr int kFlatGridRuns = 60;

double Median(std::vector<double> values) {
    std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                     values.end());
    return values[middle];
}

// ExportMesh on the flat grid, each iteration followed by one read of the faces, back to
// back so that both see the same machine. Both are processor times of this thread, in
// milliseconds. The iteration time is the export's. Counters:
//   mesh_ms    the fastest ExportMesh (gathering, sharing, payloads, handing them on);
//   read_ms    the fastest ReadFacesOnce, what any exporter pays to read the faces once;
//   ratio      mesh_ms / read_ms, the exporter's own cost in reads of the faces;
//   mesh_med_ms, read_med_ms  the medians of the same runs, to show how much the machine
//              disturbed them (a median far above its fastest: retake the figures);
//   ratio_med  the median over the iterations of that iteration's export over its read:
//              a busy neighbour slows both of a pair alike, so this moves less than ratio
//              when the machine is shared.
void BM_FlatGridMeshOnly(benchmark::State& state) {
    HostScene& scene = FlatGridScene();
    double sceneMB = StatusMB("VmRSS");
    ResetPeak();
    MeshOnlyRun run(scene, static_cast<int>(state.range(0)), ScratchDir() + "/flat.x");
    if (!run.Ready()) {
        state.SkipWithError("the standard template sets did not register");
        return;
    }
    std::vector<double> meshTimes, readTimes, ratios;
    for (auto _ : state) {
        bool exported = false;
        double mesh = CpuMillisecondsOf([&] { exported = run.ExportOnce(); });
        if (!exported) {
            state.SkipWithError("no save object");
            return;
        }
        state.SetIterationTime(mesh / 1000.0);
        double sum = 0.0;
        double read = CpuMillisecondsOf([&] { sum = ReadFacesOnce(run.Node()); });
        benchmark::DoNotOptimize(sum);
        meshTimes.push_back(mesh);
        readTimes.push_back(read);
        ratios.push_back(mesh / read);
    }
    if (meshTimes.empty()) return;
    double fastestMesh = *std::min_element(meshTimes.begin(), meshTimes.end());
    double fastestRead = *std::min_element(readTimes.begin(), readTimes.end());
    state.counters["mesh_ms"] = fastestMesh;
    state.counters["read_ms"] = fastestRead;
    state.counters["ratio"] = fastestMesh / fastestRead;
    state.counters["mesh_med_ms"] = Median(meshTimes);
    state.counters["read_med_ms"] = Median(readTimes);
    state.counters["ratio_med"] = Median(ratios);
    state.counters["peak_MB"] = StatusMB("VmHWM");
    state.counters["scene_MB"] = sceneMB;
}

BENCHMARK(BM_FlatGridMeshOnly)
    ->ArgNames({"optMesh"})
    ->DenseRange(1, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kFlatGridRuns);
BENCHMARK(BM_FanMeshOnly)
    ->ArgNames({"optMesh"})
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_MeshOnly)
    ->ArgNames({"optMesh"})
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_Export)
    ->ArgNames({"optMesh", "xFileType"})
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
