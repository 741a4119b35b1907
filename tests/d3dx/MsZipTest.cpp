// The compressed container as the writer makes it: the framing every reader needs, the
// same bytes on any number of threads, no larger than zlib's fastest level made it, and a
// failure on any thread failing the whole compression and the save without a file.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <sys/mman.h>
#include <zlib.h>

#include <assimp/scene.h>
#include <algorithm>
#include <array>
#include <assimp/Importer.hpp>
#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>

#include "XTestSupport.h"
#include "platform/d3dx/MsZip.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

using d3dx::kMsZipBlockBytes;
using d3dx::MsZipCompress;
using d3dx::XPayloadWriter;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kFramingBytes = 6;  // plain size, packed size, "CK"
// Assimp refuses a block whose packed size (the WORD, "CK" included) reaches this.
constexpr std::size_t kAssimpPackedLimit = 32786;
// Deflate's own way to keep data it cannot shrink: five bytes of block header.
constexpr std::size_t kStoredBlockOverhead = 5;

std::size_t Word(const Bytes& bytes, std::size_t at) {
    return bytes[at] | (std::size_t(bytes[at + 1]) << 8);
}

// A flat grid mesh of side x side vertices, two triangles per quad.
XPayloadWriter GridMesh(std::uint32_t side) {
    XPayloadWriter mesh;
    mesh.Dword(side * side);
    for (std::uint32_t y = 0; y < side; ++y) {
        for (std::uint32_t x = 0; x < side; ++x) mesh.Floats({float(x) * 0.5f, float(y) * 0.5f, 0});
    }
    std::uint32_t quads = (side - 1) * (side - 1);
    mesh.Dword(2 * quads);
    for (std::uint32_t quad = 0; quad < quads; ++quad) {
        std::uint32_t a = quad / (side - 1) * side + quad % (side - 1), b = a + 1, c = a + side;
        mesh.Dwords({3, a, b, c + 1, 3, a, c + 1, c});
    }
    return mesh;
}

// The grid with one shared normal, texture coordinates and one material, as the exporter
// writes a plane.
void SaveGrid(const std::string& path, D3DXF_FILEFORMAT format, std::uint32_t side) {
    xtest::StandardFile standard;
    ID3DXFileSaveObject* save = nullptr;
    ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save),
              S_OK);
    ID3DXFileSaveData* mesh = nullptr;
    ASSERT_EQ(xtest::AddTo(save, TID_D3DRMMesh, "Grid", GridMesh(side), &mesh), S_OK);
    XPayloadWriter normals;
    std::uint32_t faces = 2 * (side - 1) * (side - 1);
    normals.Dword(1).Floats({0, 0, 1}).Dword(faces);
    for (std::uint32_t face = 0; face < faces; ++face) normals.Dwords({3, 0, 0, 0});
    ASSERT_EQ(xtest::AddTo(mesh, TID_D3DRMMeshNormals, nullptr, normals), S_OK);
    XPayloadWriter uvs;
    uvs.Dword(side * side);
    for (std::uint32_t i = 0; i < side * side; ++i) {
        uvs.Floats({float(i % side) / float(side - 1), float(i / side) / float(side - 1)});
    }
    ASSERT_EQ(xtest::AddTo(mesh, TID_D3DRMMeshTextureCoords, nullptr, uvs), S_OK);
    XPayloadWriter materials;
    materials.Dword(1).Dword(faces);
    for (std::uint32_t face = 0; face < faces; ++face) materials.Dword(0);
    ID3DXFileSaveData* list = nullptr;
    ASSERT_EQ(xtest::AddTo(mesh, TID_D3DRMMeshMaterialList, nullptr, materials, &list), S_OK);
    XPayloadWriter material;
    material.Floats({0.5f, 0.5f, 0.5f, 1, 8, 1, 1, 1, 0, 0, 0});
    ASSERT_EQ(xtest::AddTo(list, TID_D3DRMMaterial, "Grey", material), S_OK);
    list->Release();
    mesh->Release();
    ASSERT_EQ(save->Save(), S_OK);
    save->Release();
}

// The body (everything after the header) of the grid saved uncompressed in `format`.
Bytes GridBody(D3DXF_FILEFORMAT format, std::uint32_t side) {
    tarvo::testsupport::TempDir dir;
    std::string path = dir.File("grid.x");
    SaveGrid(path, format, side);
    Bytes image = xtest::ReadBytes(path);
    if (image.size() < kHeaderBytes) return {};
    return Bytes(image.begin() + kHeaderBytes, image.end());
}

Bytes RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// Inflates raw deflate data with no history, as a reader that treats blocks alone does.
bool InflateAlone(const std::uint8_t* data, std::size_t size, Bytes& out) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int result = inflate(&stream, Z_FINISH);
    bool whole = result == Z_STREAM_END && stream.avail_out == 0 && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole;
}

// Checks every rule of the container for `body`: the announced size, each block's sizes,
// signature and limit, each block inflating alone to its slice, nothing after the last.
void ExpectContainerOf(const Bytes& container, const Bytes& body) {
    ASSERT_GE(container.size(), 4u);
    EXPECT_EQ(Word(container, 0) | (Word(container, 2) << 16), kHeaderBytes + body.size());
    std::size_t at = 4, offset = 0;
    while (at < container.size() && offset < body.size()) {
        ASSERT_LE(at + kFramingBytes, container.size());
        std::size_t plain = Word(container, at), packed = Word(container, at + 2);
        ASSERT_EQ(plain, std::min(kMsZipBlockBytes, body.size() - offset)) << "block at " << at;
        ASSERT_EQ(container[at + 4], 'C');
        ASSERT_EQ(container[at + 5], 'K');
        EXPECT_LT(packed, kAssimpPackedLimit);
        EXPECT_LE(packed, 2 + plain + kStoredBlockOverhead);
        ASSERT_LE(at + 4 + packed, container.size());
        Bytes out(plain);
        ASSERT_TRUE(InflateAlone(&container[at + 6], packed - 2, out)) << "block at " << at;
        ASSERT_TRUE(std::equal(out.begin(), out.end(), body.begin() + std::ptrdiff_t(offset)))
            << "block at " << at;
        at += 4 + packed;
        offset += plain;
    }
    EXPECT_EQ(offset, body.size());
    EXPECT_EQ(at, container.size());
}

// The container zlib's fastest level made of the same blocks, which files may not outgrow.
std::size_t ZlibFastestContainerBytes(const Bytes& body) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&stream, kMsZipBlockBytes));
    std::size_t total = 4;
    for (std::size_t at = 0; at < body.size(); at += kMsZipBlockBytes) {
        deflateReset(&stream);
        stream.next_in = const_cast<Bytef*>(&body[at]);
        stream.avail_in = static_cast<uInt>(std::min(kMsZipBlockBytes, body.size() - at));
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
        total += kFramingBytes + out.size() - stream.avail_out;
    }
    deflateEnd(&stream);
    return total;
}

TEST(MsZipCompress, BodiesOfEverySizeAroundABlockKeepTheContainerRules) {
    Bytes grid = GridBody(D3DXF_FILEFORMAT_BINARY, 60);
    for (std::size_t size : {std::size_t(1), kMsZipBlockBytes - 1, kMsZipBlockBytes,
                             kMsZipBlockBytes + 1, 3 * kMsZipBlockBytes}) {
        ASSERT_GE(grid.size(), size);
        Bytes body(grid.begin(), grid.begin() + std::ptrdiff_t(size));
        SCOPED_TRACE(size);
        ExpectContainerOf(MsZipCompress(body), body);
    }
}

TEST(MsZipCompress, DataDeflateCannotShrinkStaysWithinEveryReadersBlockLimit) {
    Bytes body = RandomBytes(5 * kMsZipBlockBytes + 1000, 7);
    Bytes container = MsZipCompress(body);
    ExpectContainerOf(container, body);
    // Every full block of noise costs its bytes plus the framing and one stored block.
    EXPECT_LE(container.size(), 4 + body.size() + 6 * (kFramingBytes + kStoredBlockOverhead));
}

TEST(MsZipCompress, ReaderGivesBackTheBodyOfEachForm) {
    for (D3DXF_FILEFORMAT format : {D3DXF_FILEFORMAT_BINARY, D3DXF_FILEFORMAT_TEXT}) {
        Bytes body = GridBody(format, 120);
        ASSERT_GT(body.size(), 8 * kMsZipBlockBytes);
        EXPECT_EQ(d3dx::MsZipDecompress(MsZipCompress(body), kHeaderBytes), body);
    }
}

TEST(MsZipCompress, SameBytesWhateverTheNumberOfThreads) {
    Bytes body = GridBody(D3DXF_FILEFORMAT_BINARY, 150);
    ASSERT_GT(body.size(), 30 * kMsZipBlockBytes);
    Bytes alone = MsZipCompress(body, 1);
    ExpectContainerOf(alone, body);
    for (unsigned threads : {0u, 2u, 3u, 4u, 7u, d3dx::kMsZipMaxThreads + 5}) {
        // Several runs: blocks are handed out in a different order each time.
        for (int run = 0; run < 3; ++run) EXPECT_EQ(MsZipCompress(body, threads), alone) << threads;
    }
}

TEST(MsZipCompress, DefaultThreadsAreTheCoresUpToTheCap) {
    unsigned threads = d3dx::MsZipDefaultThreads();
    EXPECT_GE(threads, 1u);
    EXPECT_LE(threads, d3dx::kMsZipMaxThreads);
    unsigned cores = std::thread::hardware_concurrency();
    if (cores != 0) {
        EXPECT_EQ(threads, std::min(cores, d3dx::kMsZipMaxThreads));
    }
}

TEST(MsZipCompress, FilesAreNoLargerThanZlibsFastestLevelMadeThem) {
    for (D3DXF_FILEFORMAT format : {D3DXF_FILEFORMAT_BINARY, D3DXF_FILEFORMAT_TEXT}) {
        for (std::uint32_t side : {8u, 40u, 200u, 400u}) {
            Bytes body = GridBody(format, side);
            EXPECT_LE(MsZipCompress(body).size(), ZlibFastestContainerBytes(body))
                << (format == D3DXF_FILEFORMAT_TEXT ? "text" : "binary") << " grid of side "
                << side;
        }
    }
}

TEST(MsZipCompress, RefusesABodyTheSizeFieldCannotAnnounce) {
    // Address space only: the body is refused before any of it is read.
    constexpr std::size_t kTooLarge = (std::size_t(1) << 32) - kHeaderBytes;
    void* pages =
        ::mmap(nullptr, kTooLarge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    std::span<const std::uint8_t> body(static_cast<const std::uint8_t*>(pages), kTooLarge);
    try {
        (void)MsZipCompress(body);
        ADD_FAILURE() << "a body of " << kTooLarge << " bytes was compressed";
    } catch (const d3dx::MsZipError& error) {
        EXPECT_STREQ(error.what(),
                     "the file would be 4294967296 bytes uncompressed, more than the compressed "
                     "form can announce (4294967295)");
    }
    ::munmap(pages, kTooLarge);
}

// libdeflate's allocations, failing once `allowed` have been made.
std::atomic<int> g_allocationsAllowed{0};

void* AllocateWhileAllowed(std::size_t bytes) {
    return g_allocationsAllowed.fetch_sub(1) > 0 ? std::malloc(bytes) : nullptr;
}

// Lets the next `allowed` compressors be made and refuses the rest while it is in scope.
class CompressorsRunOut {
  public:
    explicit CompressorsRunOut(int allowed) {
        g_allocationsAllowed = allowed;
        libdeflate_set_memory_allocator(AllocateWhileAllowed, std::free);
    }
    ~CompressorsRunOut() { libdeflate_set_memory_allocator(std::malloc, std::free); }
    CompressorsRunOut(const CompressorsRunOut&) = delete;
    CompressorsRunOut& operator=(const CompressorsRunOut&) = delete;
};

TEST(MsZipCompress, AFailureOnAnyThreadFailsTheWholeCompression) {
    Bytes body = GridBody(D3DXF_FILEFORMAT_BINARY, 150);
    Bytes expected = MsZipCompress(body, 1);
    for (int allowed : {0, 1, 2, 3}) {
        // Four threads need four compressors: whichever thread is refused, nothing is
        // returned, and every thread has stopped before the exception arrives.
        {
            CompressorsRunOut runOut(allowed);
            EXPECT_THROW((void)MsZipCompress(body, 4), std::bad_alloc) << allowed;
        }
        EXPECT_EQ(MsZipCompress(body, 4), expected) << "after " << allowed;
    }
}

TEST(MsZipCompress, AFailedCompressionFailsTheSaveWithoutAFile) {
    tarvo::testsupport::TempDir dir;
    std::string path = dir.File("grid.x");
    HRESULT saved = S_OK;
    {
        // The last of the save's compressors is refused, on a thread of its own where there
        // is more than one.
        CompressorsRunOut runOut(static_cast<int>(d3dx::MsZipDefaultThreads()) - 1);
        xtest::StandardFile standard;
        ID3DXFileSaveObject* save = nullptr;
        ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                                  D3DXF_FILEFORMAT_COMPRESSED, &save),
                  S_OK);
        ASSERT_EQ(xtest::AddTo(save, TID_D3DRMMesh, "Grid", GridMesh(150)), S_OK);
        saved = save->Save();
        save->Release();
    }
    EXPECT_EQ(saved, E_OUTOFMEMORY);
    EXPECT_EQ(d3dx::LastFailureDetail(saved), "out of memory while writing " + path);
    EXPECT_TRUE(dir.Entries().empty());
}

// Blocks of a grid large enough for many of them, read back by Assimp in both forms.
TEST(MsZipCompress, AssimpReadsEveryBlockOfAGrid) {
    constexpr std::uint32_t kSide = 120;
    for (D3DXF_FILEFORMAT format : {D3DXF_FILEFORMAT_BINARY | D3DXF_FILEFORMAT_COMPRESSED,
                                    D3DXF_FILEFORMAT_TEXT | D3DXF_FILEFORMAT_COMPRESSED}) {
        tarvo::testsupport::TempDir dir;
        std::string path = dir.File("grid.x");
        SaveGrid(path, format, kSide);
        ASSERT_GT(xtest::ReadBytes(path).size(), 4 * kFramingBytes);
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, 0);
        ASSERT_NE(scene, nullptr) << importer.GetErrorString();
        ASSERT_EQ(scene->mNumMeshes, 1u);
        const aiMesh* mesh = scene->mMeshes[0];
        ASSERT_EQ(mesh->mNumFaces, 2 * (kSide - 1) * (kSide - 1));
        // The last face comes from the last block: its corners are where the grid put them.
        const aiFace& last = mesh->mFaces[mesh->mNumFaces - 1];
        ASSERT_EQ(last.mNumIndices, 3u);
        std::array<float, 3> xs{}, ys{};
        for (unsigned corner = 0; corner < 3; ++corner) {
            xs[corner] = mesh->mVertices[last.mIndices[corner]].x;
            ys[corner] = mesh->mVertices[last.mIndices[corner]].y;
        }
        std::sort(xs.begin(), xs.end());
        std::sort(ys.begin(), ys.end());
        float far = float(kSide - 1);
        EXPECT_EQ(xs, (std::array<float, 3>{(far - 1) * 0.5f, (far - 1) * 0.5f, far * 0.5f}));
        EXPECT_EQ(ys, (std::array<float, 3>{(far - 1) * 0.5f, far * 0.5f, far * 0.5f}));
    }
}

}  // namespace
