// The compressed form's writer against zlib's fastest level on one thread (how it was
// written before), on the same 32 KiB blocks of the same body:
//   ZlibFastest       zlib level 1, on 1 and on 2 threads
//   Libdeflate        libdeflate at levels 1 and 2, on 1 and on 2 threads
//   MsZipCompress     the library itself (d3dx::MsZipCompress), on 1 and on 2 threads
//   MsZipWriter       the same body handed over in 256 KiB pieces (d3dx::MsZipWriter), as a
//                     save gives it, on 1 and on 2 threads
// Counters: MB_per_s of body compressed, vs_zlib = the best time of zlib level 1 on one
// thread / this case's best time, both taken in the same benchmark (the machine is shared,
// so the minimum of several rounds stands for each), size_vs_zlib = this case's container
// bytes / zlib's. cpu_MB_per_s and cpu_vs_zlib are the same with the processor time of all
// threads: on a busy machine more threads do not mean more processor time, and these say
// what each core does. The body is the binary or text form of a flat grid of 709 x 707
// quads with one normal, texture coordinates and one material, as the exporter writes a
// plane; TARVO_MSZIP_BODY=FILE.x measures the body of an uncompressed .X file instead (in
// the rows of both forms).
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/d3dx/D3DXFile.h"
#include "platform/d3dx/MsZip.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "platform/win/ComRef.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kColumns = 709;  // quads
constexpr std::uint32_t kRows = 707;
constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kFramingBytes = 6;  // plain size, packed size, "CK"
constexpr std::size_t kSizeFieldBytes = 4;
constexpr int kRounds = 5;
constexpr double kBytesPerMB = 1e6;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void AddChild(ID3DXFileSaveData* parent, const GUID& tmpl, const d3dx::XPayloadWriter& payload,
              ID3DXFileSaveData** child = nullptr) {
    if (FAILED(
            parent->AddDataObject(tmpl, nullptr, nullptr, payload.Size(), payload.Data(), child))) {
        Fail("the grid's children could not be added");
    }
}

void AddGridChildren(ID3DXFileSaveData* mesh, std::uint32_t vertices, std::uint32_t faces) {
    d3dx::XPayloadWriter normals;
    normals.Dword(1).Floats({0, 0, 1}).Dword(faces);
    for (std::uint32_t face = 0; face < faces; ++face) normals.Dwords({3, 0, 0, 0});
    AddChild(mesh, TID_D3DRMMeshNormals, normals);
    d3dx::XPayloadWriter uvs;
    uvs.Dword(vertices);
    for (std::uint32_t i = 0; i < vertices; ++i) {
        uvs.Floats({float(i % (kColumns + 1)) / kColumns, float(i / (kColumns + 1)) / kRows});
    }
    AddChild(mesh, TID_D3DRMMeshTextureCoords, uvs);
    d3dx::XPayloadWriter list;
    list.Dword(1).Dword(faces);
    for (std::uint32_t face = 0; face < faces; ++face) list.Dword(0);
    ComRef<ID3DXFileSaveData> materials;
    AddChild(mesh, TID_D3DRMMeshMaterialList, list, materials.Put());
    d3dx::XPayloadWriter material;
    material.Floats({0.5f, 0.5f, 0.5f, 1, 8, 1, 1, 1, 0, 0, 0});
    AddChild(materials.Get(), TID_D3DRMMaterial, material);
}

// Saves the grid uncompressed in `format` and returns the file's body.
Bytes GridBody(D3DXF_FILEFORMAT format) {
    constexpr std::uint32_t kVertices = (kColumns + 1) * (kRows + 1);
    constexpr std::uint32_t kFaces = 2 * kColumns * kRows;
    d3dx::XPayloadWriter mesh;
    mesh.Dword(kVertices);
    for (std::uint32_t i = 0; i < kVertices; ++i) {
        mesh.Floats({float(i % (kColumns + 1)) * 0.5f, float(i / (kColumns + 1)) * 0.5f, 0});
    }
    mesh.Dword(kFaces);
    for (std::uint32_t quad = 0; quad < kColumns * kRows; ++quad) {
        std::uint32_t a = quad / kColumns * (kColumns + 1) + quad % kColumns, c = a + kColumns + 1;
        mesh.Dwords({3, a, a + 1, c + 1, 3, a, c + 1, c});
    }
    ComRef<ID3DXFile> file;
    if (FAILED(D3DXFileCreate(file.Put())) || FAILED(RegisterStandardTemplateSets(file.Get())))
        Fail("the standard template sets did not register");
    std::string path = (std::filesystem::temp_directory_path() / "tarvo-bench-mszip.x").string();
    ComRef<ID3DXFileSaveObject> save;
    ComRef<ID3DXFileSaveData> grid;
    if (FAILED(file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, save.Put())) ||
        FAILED(save->AddDataObject(TID_D3DRMMesh, "Grid", nullptr, mesh.Size(), mesh.Data(),
                                   grid.Put()))) {
        Fail("the grid could not be added");
    }
    AddGridChildren(grid.Get(), kVertices, kFaces);
    if (FAILED(save->Save())) Fail("the grid could not be saved");
    Bytes image = ReadFileBytes(path);
    std::filesystem::remove(path);
    return Bytes(image.begin() + kHeaderBytes, image.end());
}

const Bytes& Body(bool text) {
    static std::map<bool, Bytes> bodies;
    auto found = bodies.find(text);
    if (found != bodies.end()) return found->second;
    Bytes body;
    if (const char* path = std::getenv("TARVO_MSZIP_BODY")) {
        Bytes image = ReadFileBytes(path);
        if (image.size() < kHeaderBytes) Fail(std::string(path) + " has no .X header");
        body.assign(image.begin() + kHeaderBytes, image.end());
    } else {
        body = GridBody(text ? D3DXF_FILEFORMAT_TEXT : D3DXF_FILEFORMAT_BINARY);
    }
    return bodies.emplace(text, std::move(body)).first->second;
}

// Compresses one block into `out` (resized to what it holds); a fresh one per thread.
using BlockCompressor = std::function<void(const std::uint8_t*, std::size_t, Bytes&)>;
using CompressorMaker = std::function<BlockCompressor()>;

struct ZlibDeflater {
    ZlibDeflater() {
        if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            Fail("zlib did not start");
    }
    ~ZlibDeflater() { deflateEnd(&stream); }
    ZlibDeflater(const ZlibDeflater&) = delete;
    ZlibDeflater& operator=(const ZlibDeflater&) = delete;
    z_stream stream{};
};

CompressorMaker ZlibFastest() {
    return [] {
        auto deflater = std::make_shared<ZlibDeflater>();
        return BlockCompressor([deflater](const std::uint8_t* in, std::size_t size, Bytes& out) {
            z_stream& stream = deflater->stream;
            deflateReset(&stream);
            out.resize(deflateBound(&stream, static_cast<uLong>(size)));
            stream.next_in = const_cast<Bytef*>(in);
            stream.avail_in = static_cast<uInt>(size);
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            if (deflate(&stream, Z_FINISH) != Z_STREAM_END) Fail("zlib failed");
            out.resize(out.size() - stream.avail_out);
        });
    };
}

CompressorMaker Libdeflate(int level) {
    return [level] {
        std::shared_ptr<libdeflate_compressor> compressor(libdeflate_alloc_compressor(level),
                                                          libdeflate_free_compressor);
        if (!compressor) Fail("libdeflate did not start");
        return BlockCompressor([compressor](const std::uint8_t* in, std::size_t size, Bytes& out) {
            out.resize(libdeflate_deflate_compress_bound(compressor.get(), size));
            std::size_t packed =
                libdeflate_deflate_compress(compressor.get(), in, size, out.data(), out.size());
            if (packed == 0) Fail("libdeflate failed");
            out.resize(packed);
        });
    };
}

// Every block of `body` on `threads` threads, blocks handed out in turn; returns the size
// the container would have.
std::size_t CompressBlocks(const Bytes& body, unsigned threads, const CompressorMaker& make) {
    std::size_t blocks = (body.size() + d3dx::kMsZipBlockBytes - 1) / d3dx::kMsZipBlockBytes;
    std::atomic<std::size_t> next{0}, packed{kSizeFieldBytes};
    auto work = [&] {
        BlockCompressor compress = make();
        Bytes out;
        std::size_t mine = 0;
        for (std::size_t block = next++; block < blocks; block = next++) {
            std::size_t at = block * d3dx::kMsZipBlockBytes;
            compress(&body[at], std::min(d3dx::kMsZipBlockBytes, body.size() - at), out);
            mine += kFramingBytes + out.size();
        }
        packed += mine;
    };
    std::vector<std::jthread> helpers;
    for (unsigned helper = 1; helper < threads; ++helper) helpers.emplace_back(work);
    work();
    helpers.clear();  // joins
    return packed;
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The best wall time and the best processor time (all threads) of a few rounds of `work`,
// which returns the container's size.
struct Timing {
    double seconds = 1e9;
    double cpuSeconds = 1e9;
    std::size_t bytes = 0;

    template <typename Work>
    void Round(Work&& work) {
        auto start = Clock::now();
        double cpuStart = ProcessCpuSeconds();
        bytes = work();
        cpuSeconds = std::min(cpuSeconds, ProcessCpuSeconds() - cpuStart);
        seconds = std::min(seconds, std::chrono::duration<double>(Clock::now() - start).count());
    }
};

void Report(benchmark::State& state, const Bytes& body, const Timing& timing) {
    Timing zlib;
    for (int round = 0; round < kRounds; ++round) {
        zlib.Round([&] { return CompressBlocks(body, 1, ZlibFastest()); });
    }
    double megabytes = double(body.size()) / kBytesPerMB;
    state.counters["MB_per_s"] = megabytes / timing.seconds;
    state.counters["vs_zlib"] = zlib.seconds / timing.seconds;
    state.counters["cpu_MB_per_s"] = megabytes / timing.cpuSeconds;
    state.counters["cpu_vs_zlib"] = zlib.cpuSeconds / timing.cpuSeconds;
    state.counters["size_vs_zlib"] = double(timing.bytes) / double(zlib.bytes);
    state.counters["body_MB"] = megabytes;
    state.counters["packed_MB"] = double(timing.bytes) / kBytesPerMB;
}

template <typename Work>
void Measure(benchmark::State& state, const Bytes& body, Work&& work) {
    Timing timing;
    for (auto _ : state) timing.Round(work);
    Report(state, body, timing);
}

// Arguments: text (0 or 1), threads.
void BM_ZlibFastest(benchmark::State& state) {
    const Bytes& body = Body(state.range(0) != 0);
    auto threads = static_cast<unsigned>(state.range(1));
    Measure(state, body, [&] { return CompressBlocks(body, threads, ZlibFastest()); });
}

// Arguments: text (0 or 1), threads, level.
void BM_Libdeflate(benchmark::State& state) {
    const Bytes& body = Body(state.range(0) != 0);
    auto threads = static_cast<unsigned>(state.range(1));
    auto level = static_cast<int>(state.range(2));
    Measure(state, body, [&] { return CompressBlocks(body, threads, Libdeflate(level)); });
}

// Arguments: text (0 or 1), threads.
void BM_MsZipCompress(benchmark::State& state) {
    const Bytes& body = Body(state.range(0) != 0);
    auto threads = static_cast<unsigned>(state.range(1));
    Measure(state, body, [&] {
        Bytes container = d3dx::MsZipCompress(body, threads);
        benchmark::DoNotOptimize(container.data());
        return container.size();
    });
}

// The body as a save hands it over: in pieces of the image output's chunk size, compressed
// while it arrives, the container collected in memory.
// Arguments: text (0 or 1), threads.
void BM_MsZipWriter(benchmark::State& state) {
    const Bytes& body = Body(state.range(0) != 0);
    auto threads = static_cast<unsigned>(state.range(1));
    constexpr std::size_t kPiece = d3dx::XImageOutput::kChunkBytes;
    Measure(state, body, [&] {
        Bytes container;
        d3dx::XBytesSink sink(container);
        d3dx::MsZipWriter writer(sink, 0, threads);
        for (std::size_t at = 0; at < body.size(); at += kPiece) {
            writer.Append(std::span(body).subspan(at, std::min(kPiece, body.size() - at)));
        }
        writer.Finish();
        benchmark::DoNotOptimize(container.data());
        return container.size();
    });
}

void Measured(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseRealTime();
}

void TextAndThreads(benchmark::internal::Benchmark* b) {
    b->ArgNames({"text", "threads"})->ArgsProduct({{0, 1}, {1, 2}});
    Measured(b);
}

void TextThreadsAndLevel(benchmark::internal::Benchmark* b) {
    b->ArgNames({"text", "threads", "level"})->ArgsProduct({{0, 1}, {1, 2}, {1, 2}});
    Measured(b);
}

BENCHMARK(BM_ZlibFastest)->Apply(TextAndThreads);
BENCHMARK(BM_Libdeflate)->Apply(TextThreadsAndLevel);
BENCHMARK(BM_MsZipCompress)->Apply(TextAndThreads);
BENCHMARK(BM_MsZipWriter)->Apply(TextAndThreads);

}  // namespace

BENCHMARK_MAIN();
