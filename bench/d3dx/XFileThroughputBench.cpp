// Write and read throughput of the .X file library for a Mesh of 1,000,000 faces with
// normals and texture coordinates, in each form, measured against copying the same number
// of bytes into memory and writing them to a file. The counter "vs_copy" is the time of
// the operation divided by the time of that copy: 1.0 would be as fast as plain I/O.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/d3dx/D3DXFile.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XReader.h"
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

std::string OutputPath(D3DXF_FILEFORMAT format) {
    return (std::filesystem::temp_directory_path() /
            ("tarvo-bench-" + std::to_string(format) + ".x"))
        .string();
}

HRESULT WriteGrid(ID3DXFile* file, const std::string& path, D3DXF_FILEFORMAT format) {
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

// Seconds to copy `bytes` into a fresh buffer and write them to a file: the floor for
// any writer that produces that many bytes.
double CopyToFileSeconds(std::size_t bytes) {
    static std::vector<char> source(bytes, 'x');
    source.resize(bytes, 'x');
    std::string path = OutputPath(99);
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        auto start = Clock::now();
        std::vector<char> copy(bytes);
        std::memcpy(copy.data(), source.data(), bytes);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::size_t done = 0;
        while (done < bytes) {
            ssize_t n = ::write(fd, copy.data() + done, bytes - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::fsync(fd);
        ::close(fd);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::filesystem::remove(path);
    return best;
}

struct StandardFile {
    StandardFile() {
        // Without its templates no benchmark here measures anything.
        if (FAILED(D3DXFileCreate(file.Put())) ||
            FAILED(RegisterStandardTemplateSets(file.Get()))) {
            std::fputs("the standard template sets did not register\n", stderr);
            std::abort();
        }
    }
    ComRef<ID3DXFile> file;
};

void ReportAgainstCopy(benchmark::State& state, double seconds, std::size_t bytes) {
    double perIteration = seconds / double(state.iterations());
    state.SetBytesProcessed(std::int64_t(bytes) * state.iterations());
    state.counters["file_MB"] = double(bytes) / 1e6;
    state.counters["vs_copy"] = perIteration / CopyToFileSeconds(bytes);
}

void BM_Write(benchmark::State& state) {
    auto format = static_cast<D3DXF_FILEFORMAT>(state.range(0));
    StandardFile standard;
    std::string path = OutputPath(format);
    Grid();  // built once, outside the timing
    double seconds = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        if (FAILED(WriteGrid(standard.file.Get(), path, format)))
            state.SkipWithError("write failed");
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    ReportAgainstCopy(state, seconds, std::filesystem::file_size(path));
}

void BM_Read(benchmark::State& state) {
    auto format = static_cast<D3DXF_FILEFORMAT>(state.range(0));
    StandardFile standard;
    std::string path = OutputPath(format);
    if (FAILED(WriteGrid(standard.file.Get(), path, format)))
        return state.SkipWithError("write failed");
    double seconds = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        d3dx::XFileContents contents;
        if (FAILED(d3dx::ReadXFile(path, d3dx::StandardTemplates(), contents, nullptr))) {
            state.SkipWithError("read failed");
        }
        benchmark::DoNotOptimize(contents.objects.data());
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    ReportAgainstCopy(state, seconds, std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

void Forms(benchmark::internal::Benchmark* b) {
    b->ArgName("form")
        ->Arg(D3DXF_FILEFORMAT_TEXT)
        ->Arg(D3DXF_FILEFORMAT_BINARY)
        ->Arg(D3DXF_FILEFORMAT_BINARY | D3DXF_FILEFORMAT_COMPRESSED)
        ->Arg(D3DXF_FILEFORMAT_TEXT | D3DXF_FILEFORMAT_COMPRESSED)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->UseRealTime();
}

BENCHMARK(BM_Write)->Apply(Forms);
BENCHMARK(BM_Read)->Apply(Forms);

}  // namespace

BENCHMARK_MAIN();
