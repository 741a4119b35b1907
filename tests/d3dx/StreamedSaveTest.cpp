// Images made in pieces: the chunked output and its mending of bytes already given, files
// written while they are made, large saves that cross many chunks, and the reader taking
// arrays straight from binary lists, also where a list ends inside an array.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <stdexcept>

#include "platform/d3dx/XBinaryTokens.h"
#include "platform/d3dx/XImageFile.h"
#include "platform/d3dx/XImageOutput.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "tests/d3dx/XTestSupport.h"

namespace {

using d3dx::XBytes;
using d3dx::XImageOutput;
using d3dx::XPayloadWriter;
using d3dx::XTokenKind;

constexpr std::size_t kChunk = XImageOutput::kChunkBytes;

TEST(ImageOutput, MendsBytesAlreadyGivenAndBytesStillBuffered) {
    XBytes image;
    d3dx::XBytesSink sink(image);
    XImageOutput out(sink);
    out.AppendFill('a', kChunk - 1);
    out.Push('b');  // the buffer is full
    out.Push('c');  // gives the full buffer to the sink first
    ASSERT_EQ(image.size(), kChunk);
    const char mended[] = "XY";
    out.Overwrite(kChunk - 1, mended, 2);  // one byte given, one still buffered
    out.Finish();
    ASSERT_EQ(image.size(), kChunk + 1);
    EXPECT_EQ(image[kChunk - 2], 'a');
    EXPECT_EQ(image[kChunk - 1], 'X');
    EXPECT_EQ(image[kChunk], 'Y');
}

TEST(ImageOutput, LargeAppendsKeepTheirPlaceBetweenSmallOnes) {
    XBytes image;
    d3dx::XBytesSink sink(image);
    XImageOutput out(sink);
    out.Append("head");
    XBytes large(kChunk, 'L');
    out.Append(large.data(), large.size());
    out.Push('z');
    EXPECT_EQ(out.Position(), 4 + kChunk + 1);
    out.Finish();
    ASSERT_EQ(image.size(), 4 + kChunk + 1);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "head");
    EXPECT_EQ(image[4], 'L');
    EXPECT_EQ(image[4 + kChunk - 1], 'L');
    EXPECT_EQ(image.back(), 'z');
}

TEST(ImageFile, BytesMendedAfterTheyReachedTheFileAreMendedInIt) {
    tarvo::testsupport::TempDir dir;
    std::string path = dir.File("mended.bin");
    ASSERT_EQ(d3dx::WriteImageFile(path,
                                   [](d3dx::XImageSink& sink) {
                                       XImageOutput out(sink);
                                       out.AppendFill('-', 3 * kChunk);
                                       out.Overwrite(1, "MEND", 4);
                                       out.Finish();
                                   }),
              S_OK);
    auto bytes = xtest::ReadBytes(path);
    ASSERT_EQ(bytes.size(), 3 * kChunk);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "-MEND-");
}

TEST(ImageFile, AWriterThatFailsLeavesThePreviousFileAndNothingElse) {
    tarvo::testsupport::TempDir dir;
    std::string path = dir.File("kept.x");
    xtest::WriteBytes(path, {'o', 'l', 'd'});
    auto fails = [](d3dx::XImageSink& sink) {
        XImageOutput out(sink);
        out.AppendFill('n', 4 * kChunk);  // well past the first chunks given to the file
        throw std::runtime_error("the writer gave up");
    };
    EXPECT_THROW((void)d3dx::WriteImageFile(path, fails), std::runtime_error);
    EXPECT_EQ(xtest::ReadBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

// A grid mesh large enough that its lists span many output chunks, so that their lengths
// are mended in the file after their bytes were written.
struct LargeMesh {
    static constexpr std::uint32_t kSide = 120;
    XPayloadWriter mesh, normals, materials;

    LargeMesh() {
        const std::uint32_t vertices = kSide * kSide;
        const std::uint32_t faces = 2 * (kSide - 1) * (kSide - 1);
        mesh.Dword(vertices);
        normals.Dword(1).Floats({0, 1, 0});
        for (std::uint32_t y = 0; y < kSide; ++y) {
            for (std::uint32_t x = 0; x < kSide; ++x)
                mesh.Floats({float(x) * 0.25f, float((x * y) % 7) / 3.0f, -float(y) * 0.5f});
        }
        mesh.Dword(faces);
        normals.Dword(faces);
        materials.Dword(2).Dword(faces);
        for (std::uint32_t face = 0; face < faces; ++face) {
            std::uint32_t quad = face / 2, a = (quad / (kSide - 1)) * kSide + quad % (kSide - 1);
            if (face % 2 == 0)
                mesh.Dwords({3, a, a + kSide, a + 1});
            else
                mesh.Dwords({3, a + 1, a + kSide, a + kSide + 1});
            normals.Dwords({3, 0, 0, 0});
            materials.Dword(face % 2);
        }
    }
};

std::vector<std::uint8_t> BytesOf(const XPayloadWriter& payload) {
    return {payload.Bytes(), payload.Bytes() + payload.Size()};
}

class StreamedSave : public testing::TestWithParam<xtest::FormatCase> {};

TEST_P(StreamedSave, AMeshOverManyChunksReadsBackAsItWasAdded) {
    LargeMesh grid;
    ASSERT_GT(grid.mesh.Size(), 2 * kChunk);
    tarvo::testsupport::TempDir dir;
    std::string path = dir.File("large.x");
    xtest::StandardFile standard;
    ID3DXFileSaveObject* save = nullptr;
    ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                              GetParam().format, &save),
              S_OK);
    ID3DXFileSaveData* mesh = nullptr;
    ID3DXFileSaveData* list = nullptr;
    ASSERT_EQ(xtest::AddTo(save, TID_D3DRMMesh, "Grid", grid.mesh, &mesh), S_OK);
    ASSERT_EQ(xtest::AddTo(mesh, TID_D3DRMMeshNormals, nullptr, grid.normals), S_OK);
    ASSERT_EQ(xtest::AddTo(mesh, TID_D3DRMMeshMaterialList, nullptr, grid.materials, &list), S_OK);
    ASSERT_EQ(list->AddDataReference("Red", nullptr), S_OK);
    ASSERT_EQ(list->AddDataReference("Blue", nullptr), S_OK);
    ASSERT_EQ(save->Save(), S_OK);
    list->Release();
    mesh->Release();
    save->Release();

    d3dx::XFileContents contents = xtest::ReadBack(path);
    ASSERT_EQ(contents.objects.size(), 1u);
    const d3dx::XDataObject& read = contents.objects[0];
    EXPECT_EQ(read.name, "Grid");
    EXPECT_EQ(read.payload, BytesOf(grid.mesh));
    ASSERT_EQ(read.children.size(), 2u);
    EXPECT_EQ(read.children[0].object->payload, BytesOf(grid.normals));
    const d3dx::XDataObject& materials = *read.children[1].object;
    EXPECT_EQ(materials.payload, BytesOf(grid.materials));
    EXPECT_EQ(xtest::ReferencesOf(materials), (std::vector<std::string>{"Red", "Blue"}));
}

INSTANTIATE_TEST_SUITE_P(AllForms, StreamedSave, testing::ValuesIn(xtest::kAllFormats),
                         [](const auto& info) { return std::string(info.param.name); });

// A binary Mesh "Split" of three vertices and one triangle whose vertices and face lie in
// two lists each, broken inside an element: the reader must not take a list for the whole
// array.
XBytes SplitListMesh() {
    XBytes image;
    std::string_view header = "xof 0303bin 0032";
    image.assign(header.begin(), header.end());
    d3dx::AppendCountedToken(image, XTokenKind::Name, "Mesh");
    d3dx::AppendCountedToken(image, XTokenKind::Name, "Split");
    d3dx::AppendToken(image, XTokenKind::OBrace);
    auto list = [&](XTokenKind kind, std::initializer_list<std::uint32_t> values) {
        d3dx::AppendToken(image, kind);
        d3dx::AppendDword(image, static_cast<std::uint32_t>(values.size()));
        for (std::uint32_t value : values) d3dx::AppendDword(image, value);
    };
    auto bits = [](float value) { return std::bit_cast<std::uint32_t>(value); };
    list(XTokenKind::IntegerList, {3});
    list(XTokenKind::FloatList, {bits(1), bits(2), bits(3), bits(4)});
    list(XTokenKind::FloatList, {bits(5), bits(6), bits(7), bits(8), bits(9)});
    list(XTokenKind::IntegerList, {1, 3, 0});
    list(XTokenKind::IntegerList, {1, 2});
    d3dx::AppendToken(image, XTokenKind::CBrace);
    return image;
}

TEST(ListReading, ArraysBrokenOverSeveralListsReadAsOne) {
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    ASSERT_EQ(d3dx::ReadXImage(SplitListMesh(), d3dx::StandardTemplates(), contents, &error), S_OK)
        << error.message;
    ASSERT_EQ(contents.objects.size(), 1u);
    XPayloadWriter expected;
    expected.Dword(3).Floats({1, 2, 3, 4, 5, 6, 7, 8, 9}).Dword(1).Dwords({3, 0, 1, 2});
    EXPECT_EQ(contents.objects[0].payload, BytesOf(expected));
}

TEST(ListReading, AListEndingInsideAFaceIsStillReadOnTheFaceAfterIt) {
    XBytes image = SplitListMesh();
    // Two faces now: the second list holds the rest of the first face and the whole second.
    image.resize(image.size() - 2 - (2 + 4 + 2 * 4));
    auto list = [&](std::initializer_list<std::uint32_t> values) {
        d3dx::AppendToken(image, XTokenKind::IntegerList);
        d3dx::AppendDword(image, static_cast<std::uint32_t>(values.size()));
        for (std::uint32_t value : values) d3dx::AppendDword(image, value);
    };
    list({1, 2, 3, 2, 1, 0});
    d3dx::AppendToken(image, XTokenKind::CBrace);
    // The face count in the list before says 1; make it 2.
    std::size_t faceCount = image.size() - 2 - (2 + 4 + 6 * 4) - (2 + 4 + 3 * 4) + 6;
    ASSERT_EQ(image[faceCount], 1);
    image[faceCount] = 2;
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    ASSERT_EQ(d3dx::ReadXImage(image, d3dx::StandardTemplates(), contents, &error), S_OK)
        << error.message;
    XPayloadWriter expected;
    expected.Dword(3).Floats({1, 2, 3, 4, 5, 6, 7, 8, 9}).Dword(2).Dwords({3, 0, 1, 2, 3, 2, 1, 0});
    ASSERT_EQ(contents.objects.size(), 1u);
    EXPECT_EQ(contents.objects[0].payload, BytesOf(expected));
}

}  // namespace
