// Write and read throughput of the .X library for a Mesh of 1,000,000 faces with normals and
// texture coordinates, each measured against the plain work a program must do at least to
// produce or consume the same bytes. Every ratio counter is the library's best time divided
// by the best time of its floor, the two run by turns in every iteration (the machine is
// shared, so the minimum of a few rounds stands for each):
//   vs_copy        whole save (adding the objects, writing, fsync) / memcpy + write + fsync
//                  of the file's bytes
//   vs_copy_nosync writing the image of an already built save tree to a file without fsync
//                  / memcpy + write of the same bytes without fsync
//   vs_to_chars    the text form, each as above, / formatting every number of the mesh with
//                  std::to_chars in the text form's spelling and writing the characters,
//                  with fsync for the whole save and without it for the image
//   vs_read_copy   d3dx::ReadXFile / read of the whole file + memcpy of its bytes
// Each ratio comes twice: by the wall clock under its name, and by the processor time of the
// process with "_cpu" after the name, which other programs on a shared machine disturb less.
// The file's own size is in file_MB.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3dx/D3DXFile.h"
#include "platform/d3dx/XImageOutput.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XReader.h"
#include "platform/d3dx/XSaveTree.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "platform/win/ComRef.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kGridSide = 709;  // 708 x 708 quads hold the 1,000,000 triangles
constexpr std::uint32_t kFaces = 1000000;

struct MeshPayloads {
    d3dx::XPayloadWriter mesh, normals, uvs;
};

// A height-field grid: positions, one normal per vertex, texture coordinates.
const MeshPayloads& Grid() {
    static const MeshPayloads grid = [] {
        MeshPayloads p;
        std::uint32_t vertices = kGridSide * kGridSide;
        p.mesh.Dword(vertices);
        p.normals.Dword(vertices);
        p.uvs.Dword(vertices);
        for (std::uint32_t y = 0; y < kGridSide; ++y) {
            for (std::uint32_t x = 0; x < kGridSide; ++x) {
                float h = 0.01f * float((x * 7 + y * 13) % 101);
                p.mesh.Floats({float(x) * 0.1f, h, float(y) * -0.1f});
                p.normals.Floats({0.0f, 1.0f, 0.0f});
                p.uvs.Floats({float(x) / kGridSide, 1.0f - float(y) / kGridSide});
            }
        }
        p.mesh.Dword(kFaces);
        p.normals.Dword(kFaces);
        for (std::uint32_t face = 0; face < kFaces; ++face) {
            std::uint32_t quad = face / 2, row = quad / (kGridSide - 1),
                          column = quad % (kGridSide - 1);
            std::uint32_t a = row * kGridSide + column, b = a + 1, c = a + kGridSide, d = c + 1;
            if (face % 2 == 0) {
                p.mesh.Dwords({3, a, c, b});
                p.normals.Dwords({3, a, c, b});
            } else {
                p.mesh.Dwords({3, b, c, d});
                p.normals.Dwords({3, b, c, d});
            }
        }
        return p;
    }();
    return grid;
}

std::string OutputPath(const std::string& what) {
    return (std::filesystem::temp_directory_path() / ("tarvo-bench-" + what + ".x")).string();
}

std::string FormPath(D3DXF_FILEFORMAT format) {
    return OutputPath("form" + std::to_string(format));
}

// The time a piece of work took by the wall clock and in processor time (every thread of
// the process, user and system). Other programs on a shared machine stretch the first but
// hardly the second, so each ratio is reported both ways.
struct Seconds {
    double wall = 1e9;
    double cpu = 1e9;
};

double ProcessCpuSeconds() {
    timespec now{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0) return 0;
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template <typename Work>
Seconds TimeOnce(Work&& work) {
    auto start = Clock::now();
    double cpuStart = ProcessCpuSeconds();
    work();
    return {std::chrono::duration<double>(Clock::now() - start).count(),
            ProcessCpuSeconds() - cpuStart};
}

Seconds Fastest(const Seconds& a, const Seconds& b) {
    return {std::min(a.wall, b.wall), std::min(a.cpu, b.cpu)};
}

template <typename Work>
Seconds BestSeconds(int rounds, Work&& work) {
    Seconds best;
    for (int round = 0; round < rounds; ++round) best = Fastest(best, TimeOnce(work));
    return best;
}

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// A file opened for writing, truncated; fsynced on request, closed when its holder goes.
class PlainFile {
  public:
    explicit PlainFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
        if (m_fd < 0) Fail("cannot open the benchmark's output file");
    }
    ~PlainFile() { ::close(m_fd); }
    PlainFile(const PlainFile&) = delete;
    PlainFile& operator=(const PlainFile&) = delete;

    void Write(const void* data, std::size_t bytes) {
        const char* at = static_cast<const char*>(data);
        while (bytes > 0) {
            ssize_t n = ::write(m_fd, at, bytes);
            if (n <= 0) Fail("write failed");
            at += n;
            bytes -= static_cast<std::size_t>(n);
        }
    }
    void Sync() {
        if (::fsync(m_fd) != 0) Fail("fsync failed");
    }
    int Descriptor() const { return m_fd; }

  private:
    int m_fd;
};

// ---- floors ---------------------------------------------------------------------------

// Copying `bytes` into a fresh buffer and writing them to a file: the floor for any writer
// that produces that many bytes.
Seconds CopyAndWriteSeconds(std::size_t bytes, bool sync) {
    static std::vector<char> source;
    source.resize(bytes, 'x');
    std::string path = OutputPath("copy");
    Seconds best = BestSeconds(1, [&] {
        std::unique_ptr<char[]> copy(new char[bytes]);
        std::memcpy(copy.get(), source.data(), bytes);
        PlainFile file(path);
        file.Write(copy.get(), bytes);
        if (sync) file.Sync();
    });
    std::filesystem::remove(path);
    return best;
}

// Reading a whole file into memory and copying it once: the floor for a reader that must
// look at every byte and keep what it read.
Seconds ReadAndCopySeconds(const std::string& path) {
    std::size_t bytes = std::filesystem::file_size(path);
    return BestSeconds(1, [&] {
        std::unique_ptr<char[]> read(new char[bytes]);
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        std::size_t done = 0;
        while (done < bytes) {
            ssize_t n = ::read(fd, read.get() + done, bytes - done);
            if (n <= 0) Fail("read failed");
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        std::unique_ptr<char[]> copy(new char[bytes]);
        std::memcpy(copy.get(), read.get(), bytes);
        benchmark::DoNotOptimize(copy.get());
    });
}

// Appends `value` as the text form spells a float: the shortest digits that read back as
// the same value, fixed notation, always with a '.'.
char* AppendFloatChars(char* at, char* end, float value) {
    char* start = at;
    at = std::to_chars(at, end, value, std::chars_format::fixed).ptr;
    if (std::find(start, at, '.') == at) *at++ = '.', *at++ = '0';
    return at;
}

// Every number of the grid's Mesh, MeshNormals and MeshTextureCoords formatted with
// std::to_chars, one separator after each, written to a file: the floor for the text form.
// The file holds the same numbers in the same spelling, but its elements also take an
// element ',', a line break and an indent each, which the floor leaves out: it is the
// stricter for it.
Seconds FormatAndWriteSeconds(bool sync) {
    const MeshPayloads& grid = Grid();
    std::string path = OutputPath("to-chars");
    // A float takes at most a sign, 39 whole digits, '.', 45 decimals, and a separator.
    constexpr std::size_t kMostCharsPerNumber = 96;
    constexpr std::size_t kChunkBytes = 1 << 20;
    Seconds best = BestSeconds(1, [&] {
        PlainFile file(path);
        std::unique_ptr<char[]> buffer(new char[kChunkBytes + kMostCharsPerNumber]);
        char* at = buffer.get();
        char* end = at + kChunkBytes + kMostCharsPerNumber;
        auto flushWhenFull = [&] {
            if (at - buffer.get() < std::ptrdiff_t(kChunkBytes)) return;
            file.Write(buffer.get(), std::size_t(at - buffer.get()));
            at = buffer.get();
        };
        for (const d3dx::XPayloadWriter* payload : {&grid.mesh, &grid.normals, &grid.uvs}) {
            const std::uint8_t* bytes = payload->Bytes();
            std::uint32_t vertices;
            std::memcpy(&vertices, bytes, 4);
            std::size_t floats = vertices * (payload == &grid.uvs ? 2u : 3u);
            std::size_t words = (payload->Size() - 4 - floats * 4) / 4;
            for (std::size_t i = 0; i < floats; ++i) {
                float value;
                std::memcpy(&value, bytes + 4 + 4 * i, 4);
                at = AppendFloatChars(at, end, value);
                *at++ = ';';
                flushWhenFull();
            }
            for (std::size_t i = 0; i < words; ++i) {
                std::uint32_t value;
                std::memcpy(&value, bytes + 4 + 4 * floats + 4 * i, 4);
                at = std::to_chars(at, end, value).ptr;
                *at++ = ',';
                flushWhenFull();
            }
        }
        file.Write(buffer.get(), std::size_t(at - buffer.get()));
        if (sync) file.Sync();
    });
    std::filesystem::remove(path);
    return best;
}

// ---- the library ------------------------------------------------------------------------

struct StandardFile {
    StandardFile() {
        // Without its templates no benchmark here measures anything.
        if (FAILED(D3DXFileCreate(file.Put())) ||
            FAILED(RegisterStandardTemplateSets(file.Get()))) {
            Fail("the standard template sets did not register");
        }
    }
    ComRef<ID3DXFile> file;
};

HRESULT SaveGrid(ID3DXFile* file, const std::string& path, D3DXF_FILEFORMAT format) {
    const MeshPayloads& grid = Grid();
    ComRef<ID3DXFileSaveObject> save;
    HRESULT hr = file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, save.Put());
    if (FAILED(hr)) return hr;
    ComRef<ID3DXFileSaveData> mesh;
    hr = save->AddDataObject(TID_D3DRMMesh, "Grid", nullptr, grid.mesh.Size(), grid.mesh.Data(),
                             mesh.Put());
    if (SUCCEEDED(hr))
        hr = mesh->AddDataObject(TID_D3DRMMeshNormals, nullptr, nullptr, grid.normals.Size(),
                                 grid.normals.Data(), nullptr);
    if (SUCCEEDED(hr))
        hr = mesh->AddDataObject(TID_D3DRMMeshTextureCoords, nullptr, nullptr, grid.uvs.Size(),
                                 grid.uvs.Data(), nullptr);
    return SUCCEEDED(hr) ? save->Save() : hr;
}

// The grid as the save tree that a save object builds from the same calls.
d3dx::XSaveNodes GridSaveTree() {
    const d3dx::XTemplateRegistry& registry = d3dx::StandardTemplates();
    auto node = [&](const GUID& tmpl, const char* name, const d3dx::XPayloadWriter& payload) {
        auto made = std::make_unique<d3dx::XSaveNode>();
        made->templateIndex = std::size_t(registry.FindByGuid(tmpl) - &registry.At(0));
        made->name = name;
        made->payload.assign(payload.Bytes(), payload.Bytes() + payload.Size());
        return made;
    };
    const MeshPayloads& grid = Grid();
    d3dx::XSaveNodes roots;
    roots.push_back(node(TID_D3DRMMesh, "Grid", grid.mesh));
    roots.back()->children.push_back(node(TID_D3DRMMeshNormals, "", grid.normals));
    roots.back()->children.push_back(node(TID_D3DRMMeshTextureCoords, "", grid.uvs));
    for (auto& child : roots.back()->children) child->parent = roots.back().get();
    return roots;
}

// The image of `roots` in one form written to `path` as it is made, without fsync.
void WriteImageWithoutSync(const d3dx::XSaveNodes& roots, bool text, const std::string& path) {
    class PlainFileSink final : public d3dx::XImageSink {
      public:
        explicit PlainFileSink(PlainFile& file) : m_file(file) {}
        void Append(std::span<const std::uint8_t> bytes) override {
            m_file.Write(bytes.data(), bytes.size());
        }
        void Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) override {
            if (::pwrite(m_file.Descriptor(), bytes.data(), bytes.size(), off_t(offset)) !=
                ssize_t(bytes.size()))
                Fail("pwrite failed");
        }

      private:
        PlainFile& m_file;
    };
    const d3dx::XTemplateRegistry& registry = d3dx::StandardTemplates();
    PlainFile file(path);
    PlainFileSink sink(file);
    if (text)
        d3dx::WriteTextImage(registry, roots, sink);
    else
        d3dx::WriteBinaryImage(registry, roots, sink);
}

struct BestTimes {
    Seconds operation;
    Seconds floor;
};

// The ratio by the wall clock under its own name, and by processor time with "_cpu" after it.
void Report(benchmark::State& state, const BestTimes& best, std::size_t bytes,
            const std::string& ratio) {
    state.SetBytesProcessed(std::int64_t(bytes) * state.iterations());
    state.counters["file_MB"] = double(bytes) / 1e6;
    state.counters["best_ms"] = best.operation.wall * 1e3;
    state.counters["floor_ms"] = best.floor.wall * 1e3;
    state.counters[ratio] = best.operation.wall / best.floor.wall;
    state.counters[ratio + "_cpu"] = best.operation.cpu / best.floor.cpu;
}

// Runs the operation and then its floor in every iteration, so that a busy moment of the
// shared machine falls on both alike, and keeps the best time of each.
template <typename Work, typename Floor>
BestTimes TimeByTurns(benchmark::State& state, Work&& work, Floor&& floor) {
    BestTimes best;
    for (auto _ : state) {
        best.operation = Fastest(best.operation, TimeOnce(work));
        state.PauseTiming();
        best.floor = Fastest(best.floor, floor());
        state.ResumeTiming();
    }
    return best;
}

bool IsText(D3DXF_FILEFORMAT format) {
    return (format & D3DXF_FILEFORMAT_TEXT) != 0;
}

bool IsCompressed(D3DXF_FILEFORMAT format) {
    return (format & D3DXF_FILEFORMAT_COMPRESSED) != 0;
}

// The whole save as an exporter makes it: adding the three objects, then Save, which writes
// the file beside its target, fsyncs it and renames it into place.
void BM_Save(benchmark::State& state) {
    auto format = static_cast<D3DXF_FILEFORMAT>(state.range(0));
    StandardFile standard;
    std::string path = FormPath(format);
    Grid();  // built once, outside the timing
    bool textFloor = IsText(format) && !IsCompressed(format);
    BestTimes best = TimeByTurns(
        state,
        [&] {
            if (FAILED(SaveGrid(standard.file.Get(), path, format)))
                state.SkipWithError("save failed");
        },
        [&] {
            return textFloor ? FormatAndWriteSeconds(true)
                             : CopyAndWriteSeconds(std::filesystem::file_size(path), true);
        });
    Report(state, best, std::filesystem::file_size(path), textFloor ? "vs_to_chars" : "vs_copy");
}

// Only the writer: the image of a save tree built beforehand, written without fsync.
void BM_WriteImageNoSync(benchmark::State& state) {
    bool text = state.range(0) == D3DXF_FILEFORMAT_TEXT;
    d3dx::XSaveNodes roots = GridSaveTree();
    std::string path = OutputPath(text ? "image-text" : "image-binary");
    BestTimes best = TimeByTurns(
        state, [&] { WriteImageWithoutSync(roots, text, path); },
        [&] {
            return text ? FormatAndWriteSeconds(false)
                        : CopyAndWriteSeconds(std::filesystem::file_size(path), false);
        });
    Report(state, best, std::filesystem::file_size(path), text ? "vs_to_chars" : "vs_copy_nosync");
    std::filesystem::remove(path);
}

void BM_Read(benchmark::State& state) {
    auto format = static_cast<D3DXF_FILEFORMAT>(state.range(0));
    StandardFile standard;
    std::string path = FormPath(format);
    if (FAILED(SaveGrid(standard.file.Get(), path, format)))
        return state.SkipWithError("save failed");
    BestTimes best = TimeByTurns(
        state,
        [&] {
            d3dx::XFileContents contents;
            if (FAILED(d3dx::ReadXFile(path, d3dx::StandardTemplates(), contents, nullptr))) {
                state.SkipWithError("read failed");
            }
            benchmark::DoNotOptimize(contents.objects.data());
        },
        [&] { return ReadAndCopySeconds(path); });
    Report(state, best, std::filesystem::file_size(path), "vs_read_copy");
    std::filesystem::remove(path);
}

void Measured(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
}

void Forms(benchmark::internal::Benchmark* b) {
    b->ArgName("form")
        ->Arg(D3DXF_FILEFORMAT_TEXT)
        ->Arg(D3DXF_FILEFORMAT_BINARY)
        ->Arg(D3DXF_FILEFORMAT_BINARY | D3DXF_FILEFORMAT_COMPRESSED)
        ->Arg(D3DXF_FILEFORMAT_TEXT | D3DXF_FILEFORMAT_COMPRESSED);
    Measured(b);
}

void PlainForms(benchmark::internal::Benchmark* b) {
    b->ArgName("form")->Arg(D3DXF_FILEFORMAT_TEXT)->Arg(D3DXF_FILEFORMAT_BINARY);
    Measured(b);
}

BENCHMARK(BM_Save)->Apply(Forms);
BENCHMARK(BM_WriteImageNoSync)->Apply(PlainForms);
BENCHMARK(BM_Read)->Apply(Forms);

}  // namespace

BENCHMARK_MAIN();
