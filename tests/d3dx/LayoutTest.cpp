// The bytes of each form: the text layout, the binary token stream and the compressed
// container, checked against hand-made expectations.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "XTestSupport.h"
#include "platform/d3dx/MsZip.h"
#include "platform/d3dx/XBinaryTokens.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

using d3dx::XPayloadWriter;
using xtest::AddTo;

// The classic two-material quad: a top-level material, a frame with a mesh whose material
// list refers to it by name and holds a second, textured material inline.
std::vector<std::uint8_t> WriteQuad(const std::string& path, D3DXF_FILEFORMAT format) {
    xtest::StandardFile standard;
    ID3DXFileSaveObject* save = nullptr;
    EXPECT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save),
              S_OK);
    XPayloadWriter red;
    red.Floats({1, 0, 0, 1, 10, 1, 1, 1, 0, 0, 0});
    EXPECT_EQ(AddTo(save, TID_D3DRMMaterial, "RedMat", red), S_OK);
    ID3DXFileSaveData* root = nullptr;
    EXPECT_EQ(AddTo(save, TID_D3DRMFrame, "Root", {}, &root), S_OK);
    XPayloadWriter matrix;
    matrix.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    EXPECT_EQ(AddTo(root, TID_D3DRMFrameTransformMatrix, nullptr, matrix), S_OK);
    XPayloadWriter mesh;
    mesh.Dword(4)
        .Floats({-1, 0, -1, -1, 0, 1, 1, 0, 1, 1, 0, -1})
        .Dword(2)
        .Dwords({3, 0, 1, 2, 3, 0, 2, 3});
    ID3DXFileSaveData* quad = nullptr;
    EXPECT_EQ(AddTo(root, TID_D3DRMMesh, "Quad", mesh, &quad), S_OK);
    XPayloadWriter normals;
    normals.Dword(1).Floats({0, 1, 0}).Dword(2).Dwords({3, 0, 0, 0, 3, 0, 0, 0});
    EXPECT_EQ(AddTo(quad, TID_D3DRMMeshNormals, nullptr, normals), S_OK);
    XPayloadWriter list;
    list.Dword(2).Dword(2).Dwords({0, 1});
    ID3DXFileSaveData* materials = nullptr;
    EXPECT_EQ(AddTo(quad, TID_D3DRMMeshMaterialList, nullptr, list, &materials), S_OK);
    EXPECT_EQ(materials->AddDataReference("RedMat", nullptr), S_OK);
    XPayloadWriter blue;
    blue.Floats({0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0});
    ID3DXFileSaveData* blueMaterial = nullptr;
    EXPECT_EQ(AddTo(materials, TID_D3DRMMaterial, nullptr, blue, &blueMaterial), S_OK);
    XPayloadWriter texture;
    texture.String("blue.png");
    EXPECT_EQ(AddTo(blueMaterial, TID_D3DRMTextureFilename, nullptr, texture), S_OK);
    blueMaterial->Release();
    materials->Release();
    quad->Release();
    root->Release();
    EXPECT_EQ(save->Save(), S_OK);
    save->Release();
    return xtest::ReadBytes(path);
}

// The templates the quad uses, members before their users, otherwise in order of first
// use: the material's colours, the frame, the matrix, the mesh's vector and face, then the
// mesh children. The reference to RedMat adds none.
constexpr const char* kQuadTemplates =
    "\n"
    "template ColorRGBA {\n"
    " <35FF44E0-6C7C-11CF-8F52-0040333594A3>\n"
    " FLOAT red;\n"
    " FLOAT green;\n"
    " FLOAT blue;\n"
    " FLOAT alpha;\n"
    "}\n"
    "\n"
    "template ColorRGB {\n"
    " <D3E16E81-7835-11CF-8F52-0040333594A3>\n"
    " FLOAT red;\n"
    " FLOAT green;\n"
    " FLOAT blue;\n"
    "}\n"
    "\n"
    "template Material {\n"
    " <3D82AB4D-62DA-11CF-AB39-0020AF71E433>\n"
    " ColorRGBA faceColor;\n"
    " FLOAT power;\n"
    " ColorRGB specularColor;\n"
    " ColorRGB emissiveColor;\n"
    " [...]\n"
    "}\n"
    "\n"
    "template Frame {\n"
    " <3D82AB46-62DA-11CF-AB39-0020AF71E433>\n"
    " [...]\n"
    "}\n"
    "\n"
    "template Matrix4x4 {\n"
    " <F6F23F45-7686-11CF-8F52-0040333594A3>\n"
    " array FLOAT matrix[16];\n"
    "}\n"
    "\n"
    "template FrameTransformMatrix {\n"
    " <F6F23F41-7686-11CF-8F52-0040333594A3>\n"
    " Matrix4x4 frameMatrix;\n"
    "}\n"
    "\n"
    "template Vector {\n"
    " <3D82AB5E-62DA-11CF-AB39-0020AF71E433>\n"
    " FLOAT x;\n"
    " FLOAT y;\n"
    " FLOAT z;\n"
    "}\n"
    "\n"
    "template MeshFace {\n"
    " <3D82AB5F-62DA-11CF-AB39-0020AF71E433>\n"
    " DWORD nFaceVertexIndices;\n"
    " array DWORD faceVertexIndices[nFaceVertexIndices];\n"
    "}\n"
    "\n"
    "template Mesh {\n"
    " <3D82AB44-62DA-11CF-AB39-0020AF71E433>\n"
    " DWORD nVertices;\n"
    " array Vector vertices[nVertices];\n"
    " DWORD nFaces;\n"
    " array MeshFace faces[nFaces];\n"
    " [...]\n"
    "}\n"
    "\n"
    "template MeshNormals {\n"
    " <F6F23F43-7686-11CF-8F52-0040333594A3>\n"
    " DWORD nNormals;\n"
    " array Vector normals[nNormals];\n"
    " DWORD nFaceNormals;\n"
    " array MeshFace faceNormals[nFaceNormals];\n"
    "}\n"
    "\n"
    "template MeshMaterialList {\n"
    " <F6F23F42-7686-11CF-8F52-0040333594A3>\n"
    " DWORD nMaterials;\n"
    " DWORD nFaceIndexes;\n"
    " array DWORD faceIndexes[nFaceIndexes];\n"
    " [Material]\n"
    "}\n"
    "\n"
    "template TextureFilename {\n"
    " <A42790E1-7810-11CF-8F52-0040333594A3>\n"
    " STRING filename;\n"
    "}\n";

// The binary tokens of a text template block, without the header: what the binary form
// must carry for the same definitions.
std::vector<std::uint8_t> TemplateTokens(const std::string& definitions) {
    d3dx::XBytes block = d3dx::TokeniseTemplateText("xof 0303txt 0032\n" + definitions);
    return {block.begin() + 16, block.end()};
}

TEST(Layout, TextFormUsesTheCanonicalSeparators) {
    tarvo::testsupport::TempDir dir;
    auto bytes = WriteQuad(dir.File("quad.x"), D3DXF_FILEFORMAT_TEXT);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text, std::string("xof 0303txt 0032\n") + kQuadTemplates +
                        "\n"
                        "Material RedMat {\n"
                        " 1.0;0.0;0.0;1.0;;\n"
                        " 10.0;\n"
                        " 1.0;1.0;1.0;;\n"
                        " 0.0;0.0;0.0;;\n"
                        "}\n"
                        "\n"
                        "Frame Root {\n"
                        " FrameTransformMatrix {\n"
                        "  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;\n"
                        " }\n"
                        " Mesh Quad {\n"
                        "  4;\n"
                        "  -1.0;0.0;-1.0;,\n"
                        "  -1.0;0.0;1.0;,\n"
                        "  1.0;0.0;1.0;,\n"
                        "  1.0;0.0;-1.0;;\n"
                        "  2;\n"
                        "  3;0,1,2;,\n"
                        "  3;0,2,3;;\n"
                        "  MeshNormals {\n"
                        "   1;\n"
                        "   0.0;1.0;0.0;;\n"
                        "   2;\n"
                        "   3;0,0,0;,\n"
                        "   3;0,0,0;;\n"
                        "  }\n"
                        "  MeshMaterialList {\n"
                        "   2;\n"
                        "   2;\n"
                        "   0,\n"
                        "   1;\n"
                        "   { RedMat }\n"
                        "   Material {\n"
                        "    0.0;0.0;1.0;1.0;;\n"
                        "    0.0;\n"
                        "    0.0;0.0;0.0;;\n"
                        "    0.0;0.0;0.0;;\n"
                        "    TextureFilename {\n"
                        "     \"blue.png\";\n"
                        "    }\n"
                        "   }\n"
                        "  }\n"
                        " }\n"
                        "}\n");
}

TEST(Layout, TextFormNestedArraysAndEmptyArrays) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    std::string path = dir.File("keys.x");
    ID3DXFileSaveObject* save = nullptr;
    ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                              D3DXF_FILEFORMAT_TEXT, &save),
              S_OK);
    XPayloadWriter key;
    key.Dword(0)
        .Dword(2)
        .Dword(0)
        .Dword(4)
        .Floats({1, 0, 0, 0})
        .Dword(4800)
        .Dword(4)
        .Floats({0.5f, 0.5f, 0, 0});
    ASSERT_EQ(AddTo(save, TID_D3DRMAnimationKey, nullptr, key), S_OK);
    XPayloadWriter colors;
    colors.Dword(2).Dword(0).Floats({1, 1, 1, 1}).Dword(3).Floats({0.25f, 0, 0, 1});
    ASSERT_EQ(AddTo(save, TID_D3DRMMeshVertexColors, nullptr, colors), S_OK);
    XPayloadWriter empty;
    empty.Dword(0).Dword(0);  // no vertices, no faces
    ASSERT_EQ(AddTo(save, TID_D3DRMMesh, "Empty", empty), S_OK);
    ASSERT_EQ(save->Save(), S_OK);
    save->Release();
    auto bytes = xtest::ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "xof 0303txt 0032\n"
              "\n"
              "template FloatKeys {\n"
              " <10DD46A9-775B-11CF-8F52-0040333594A3>\n"
              " DWORD nValues;\n"
              " array FLOAT values[nValues];\n"
              "}\n"
              "\n"
              "template TimedFloatKeys {\n"
              " <F406B180-7B3B-11CF-8F52-0040333594A3>\n"
              " DWORD time;\n"
              " FloatKeys tfkeys;\n"
              "}\n"
              "\n"
              "template AnimationKey {\n"
              " <10DD46A8-775B-11CF-8F52-0040333594A3>\n"
              " DWORD keyType;\n"
              " DWORD nKeys;\n"
              " array TimedFloatKeys keys[nKeys];\n"
              "}\n"
              "\n"
              "template ColorRGBA {\n"
              " <35FF44E0-6C7C-11CF-8F52-0040333594A3>\n"
              " FLOAT red;\n"
              " FLOAT green;\n"
              " FLOAT blue;\n"
              " FLOAT alpha;\n"
              "}\n"
              "\n"
              "template IndexedColor {\n"
              " <1630B820-7842-11CF-8F52-0040333594A3>\n"
              " DWORD index;\n"
              " ColorRGBA indexColor;\n"
              "}\n"
              "\n"
              "template MeshVertexColors {\n"
              " <1630B821-7842-11CF-8F52-0040333594A3>\n"
              " DWORD nVertexColors;\n"
              " array IndexedColor vertexColors[nVertexColors];\n"
              "}\n"
              "\n"
              "template Vector {\n"
              " <3D82AB5E-62DA-11CF-AB39-0020AF71E433>\n"
              " FLOAT x;\n"
              " FLOAT y;\n"
              " FLOAT z;\n"
              "}\n"
              "\n"
              "template MeshFace {\n"
              " <3D82AB5F-62DA-11CF-AB39-0020AF71E433>\n"
              " DWORD nFaceVertexIndices;\n"
              " array DWORD faceVertexIndices[nFaceVertexIndices];\n"
              "}\n"
              "\n"
              "template Mesh {\n"
              " <3D82AB44-62DA-11CF-AB39-0020AF71E433>\n"
              " DWORD nVertices;\n"
              " array Vector vertices[nVertices];\n"
              " DWORD nFaces;\n"
              " array MeshFace faces[nFaces];\n"
              " [...]\n"
              "}\n"
              "\n"
              "AnimationKey {\n"
              " 0;\n"
              " 2;\n"
              " 0;4;1.0,0.0,0.0,0.0;;,\n"
              " 4800;4;0.5,0.5,0.0,0.0;;;\n"
              "}\n"
              "\n"
              "MeshVertexColors {\n"
              " 2;\n"
              " 0;1.0;1.0;1.0;1.0;;,\n"
              " 3;0.25;0.0;0.0;1.0;;;\n"
              "}\n"
              "\n"
              "Mesh Empty {\n"
              " 0;\n"
              " 0;\n"
              "}\n");
}

// Offsets of the binary form of the quad: the definitions as the tokens of their text,
// then every data token where a reader expects it.
TEST(Layout, BinaryFormTokenStream) {
    tarvo::testsupport::TempDir dir;
    auto bytes = WriteQuad(dir.File("quad.x"), D3DXF_FILEFORMAT_BINARY);
    // The twelve definitions take 1,301 bytes; the data objects take 599 after them.
    constexpr std::size_t kHeaderBytes = 16;
    constexpr std::size_t kTemplateBytes = 1301;
    constexpr std::size_t kDataBytes = 599;
    ASSERT_EQ(bytes.size(), kHeaderBytes + kTemplateBytes + kDataBytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 16), "xof 0303bin 0032");
    const std::vector<std::uint8_t> definitions(bytes.begin() + kHeaderBytes,
                                                bytes.begin() + kHeaderBytes + kTemplateBytes);
    EXPECT_EQ(definitions, TemplateTokens(kQuadTemplates));
    // Data offsets below are those of the file without definitions (615 bytes).
    auto word = [&](std::size_t at) {
        at += kTemplateBytes;
        return bytes[at] | (bytes[at + 1] << 8);
    };
    auto dword = [&](std::size_t at) { return word(at) | (word(at + 2) << 16); };
    EXPECT_EQ(word(16), 1);  // NAME "Material"
    EXPECT_EQ(dword(18), 8);
    EXPECT_EQ(word(30), 1);   // NAME "RedMat"
    EXPECT_EQ(word(42), 10);  // {
    EXPECT_EQ(word(44), 7);   // FLOAT_LIST of 11
    EXPECT_EQ(dword(46), 11);
    EXPECT_EQ(word(94), 11);  // }
    EXPECT_EQ(word(241), 6);  // INTEGER_LIST (4): nVertices
    EXPECT_EQ(dword(243), 1);
    EXPECT_EQ(word(251), 7);  // FLOAT_LIST of 12 vertex coordinates
    EXPECT_EQ(dword(253), 12);
    EXPECT_EQ(word(305), 6);  // nFaces and both faces in one list
    EXPECT_EQ(dword(307), 9);
    EXPECT_EQ(word(462), 6);  // material list values
    EXPECT_EQ(dword(464), 4);
    EXPECT_EQ(word(484), 10);  // reference: { NAME "RedMat" }
    EXPECT_EQ(word(486), 1);
    EXPECT_EQ(word(498), 11);
    EXPECT_EQ(word(589), 2);  // STRING "blue.png" and its ';'
    EXPECT_EQ(dword(591), 8);
    EXPECT_EQ(word(603), 20);
    for (std::size_t at = 605; at < 615; at += 2) EXPECT_EQ(word(at), 11);  // five closing braces
}

TEST(Layout, BinaryStringArraysSeparateElementsWithCommas) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    std::string path = dir.File("url.x");
    ID3DXFileSaveObject* save = nullptr;
    ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                              D3DXF_FILEFORMAT_BINARY, &save),
              S_OK);
    XPayloadWriter urls;
    urls.Dword(2).String("a").String("b");
    ASSERT_EQ(AddTo(save, TID_D3DRMUrl, nullptr, urls), S_OK);
    ASSERT_EQ(save->Save(), S_OK);
    save->Release();
    auto bytes = xtest::ReadBytes(path);
    const std::vector<std::uint8_t> body(bytes.begin() + 16, bytes.end());
    std::vector<std::uint8_t> expected = TemplateTokens(
        "template Url {\n"
        " <3A23EEA1-94B1-11D0-AB39-0020AF71E433>\n"
        " DWORD nUrls;\n"
        " array STRING urls[nUrls];\n"
        "}\n");
    ASSERT_EQ(expected.size(), 79u);  // TEMPLATE, NAME, {, GUID, members of 15 and 31 bytes, }
    expected.insert(expected.end(), {1,  0, 3, 0, 0, 0, 'U', 'r', 'l', 10, 0,  // Url {
                                     6,  0, 1, 0, 0, 0, 2,   0,   0,   0,      // INTEGER_LIST (2)
                                     2,  0, 1, 0, 0, 0, 'a', 19,  0,           // "a" ,
                                     2,  0, 1, 0, 0, 0, 'b', 20,  0,           // "b" ;
                                     11, 0});
    EXPECT_EQ(body, expected);
}

TEST(Layout, CompressedContainerHoldsIndependentBlocksOfTheBinaryImage) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    // A mesh large enough for several 32 KiB blocks.
    XPayloadWriter mesh;
    constexpr std::uint32_t kVertices = 20000;
    mesh.Dword(kVertices);
    for (std::uint32_t i = 0; i < kVertices; ++i)
        mesh.Floats({float(i), float(i % 7), -float(i) / 3});
    mesh.Dword(1).Dwords({3, 0, 1, 2});
    std::vector<std::uint8_t> images[2];
    for (int compressed = 0; compressed < 2; ++compressed) {
        std::string path = dir.File(compressed ? "big-bzip.x" : "big-bin.x");
        ID3DXFileSaveObject* save = nullptr;
        ASSERT_EQ(standard.file->CreateSaveObject(
                      path.c_str(), D3DXF_FILESAVE_TOFILE,
                      compressed ? D3DXF_FILEFORMAT_COMPRESSED : D3DXF_FILEFORMAT_BINARY, &save),
                  S_OK);
        ASSERT_EQ(AddTo(save, TID_D3DRMMesh, "Big", mesh), S_OK);
        ASSERT_EQ(save->Save(), S_OK);
        save->Release();
        images[compressed] = xtest::ReadBytes(path);
    }
    const auto& plain = images[0];
    const auto& packed = images[1];
    EXPECT_EQ(std::string(packed.begin(), packed.begin() + 16), "xof 0303bzip0032");
    auto word = [&](std::size_t at) -> std::size_t { return packed[at] | (packed[at + 1] << 8); };
    EXPECT_EQ(word(16) | (word(18) << 16), plain.size());
    // Walk the blocks: each inflates on its own to its slice of the binary body.
    std::size_t at = 20, bodyOffset = 16, blocks = 0;
    while (at < packed.size()) {
        std::size_t plainSize = word(at), packedSize = word(at + 2);
        ASSERT_EQ(packed[at + 4], 'C');
        ASSERT_EQ(packed[at + 5], 'K');
        EXPECT_EQ(plainSize, std::min<std::size_t>(32768, plain.size() - bodyOffset));
        std::vector<std::uint8_t> out(plainSize);
        z_stream stream{};
        ASSERT_EQ(inflateInit2(&stream, -15), Z_OK);
        stream.next_in = const_cast<Bytef*>(&packed[at + 6]);
        stream.avail_in = static_cast<uInt>(packedSize - 2);
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
        inflateEnd(&stream);
        EXPECT_TRUE(std::equal(out.begin(), out.end(),
                               plain.begin() + static_cast<std::ptrdiff_t>(bodyOffset)));
        bodyOffset += plainSize;
        at += 4 + packedSize;
        ++blocks;
    }
    EXPECT_EQ(at, packed.size());  // nothing after the last block
    EXPECT_EQ(bodyOffset, plain.size());
    EXPECT_GE(blocks, 7u);
}

// Other writers may let a block refer back into the previous block's output.
TEST(Layout, ReaderFollowsHistoryAcrossBlocks) {
    std::string body;
    while (body.size() < 40000) body += "Frame Repeated { }\n";
    // Block 1: the first 32768 bytes; block 2: the rest, compressed with block 1 as history.
    std::vector<std::uint8_t> container;
    auto put16 = [&](std::size_t v) {
        container.push_back(v & 0xFF);
        container.push_back((v >> 8) & 0xFF);
    };
    std::size_t total = 16 + body.size();
    put16(total & 0xFFFF);
    put16(total >> 16);
    const auto* bytes = reinterpret_cast<const Bytef*>(body.data());
    for (int block = 0; block < 2; ++block) {
        std::size_t start = block == 0 ? 0 : 32768;
        std::size_t size = block == 0 ? 32768 : body.size() - 32768;
        z_stream stream{};
        ASSERT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
        if (block == 1) {
            ASSERT_EQ(deflateSetDictionary(&stream, bytes, 32768), Z_OK);
        }
        std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(size)));
        stream.next_in = const_cast<Bytef*>(bytes + start);
        stream.avail_in = static_cast<uInt>(size);
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        ASSERT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
        const auto packedBytes = static_cast<std::ptrdiff_t>(stream.total_out);
        deflateEnd(&stream);
        put16(size);
        put16(static_cast<std::size_t>(packedBytes) + 2);
        container.push_back('C');
        container.push_back('K');
        container.insert(container.end(), out.begin(), out.begin() + packedBytes);
    }
    std::vector<std::uint8_t> file = {'x', 'o', 'f', ' ', '0', '3', '0', '3',
                                      't', 'z', 'i', 'p', '0', '0', '3', '2'};
    file.insert(file.end(), container.begin(), container.end());
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    ASSERT_EQ(d3dx::ReadXImage(file, d3dx::StandardTemplates(), contents, &error), S_OK)
        << error.message;
    EXPECT_EQ(contents.objects.size(), body.size() / std::string("Frame Repeated { }\n").size());
}

}  // namespace
