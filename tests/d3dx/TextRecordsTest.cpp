// Arrays of flat records (every value of one primitive, arrays sized by earlier members) in
// the text form, which the writer spells without walking each record's members: the same
// characters as for any other record, at the top of an object and nested, and the layout
// that decides which records are flat and how many bytes they take.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "XTestSupport.h"
#include "platform/d3dx/XPayloadWalk.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

using d3dx::XFlatRecordLayout;
using d3dx::XPayloadWriter;

constexpr GUID kStripSetGuid =
    MakeGuid(0x6A1F2C31, 0x1B7D, 0x4E52, 0x8A, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75);
constexpr GUID kAlbumGuid =
    MakeGuid(0x6A1F2C32, 0x1B7D, 0x4E52, 0x8A, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75);
constexpr GUID kWeightListGuid =
    MakeGuid(0x6A1F2C34, 0x1B7D, 0x4E52, 0x8A, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75);

// Strip is flat: a counted list and a counted two-dimensional list. StripSet holds Strip
// records, so it is uniform but not flat; Album holds StripSets, so its strips are nested.
// Weights is flat with a fixed first array of floats.
constexpr const char* kTemplates =
    "xof 0303txt 0032\n"
    "template Strip {\n"
    " <6A1F2C30-1B7D-4E52-8A11-203142536475>\n"
    " DWORD n;\n"
    " array DWORD corners[n];\n"
    " DWORD m;\n"
    " array DWORD pairs[m][2];\n"
    "}\n"
    "template StripSet {\n"
    " <6A1F2C31-1B7D-4E52-8A11-203142536475>\n"
    " DWORD count;\n"
    " array Strip strips[count];\n"
    "}\n"
    "template Album {\n"
    " <6A1F2C32-1B7D-4E52-8A11-203142536475>\n"
    " DWORD count;\n"
    " array StripSet sets[count];\n"
    "}\n"
    "template Weights {\n"
    " <6A1F2C33-1B7D-4E52-8A11-203142536475>\n"
    " array FLOAT pair[2];\n"
    " FLOAT scale;\n"
    "}\n"
    "template WeightList {\n"
    " <6A1F2C34-1B7D-4E52-8A11-203142536475>\n"
    " DWORD count;\n"
    " array Weights weights[count];\n"
    "}\n";

// Three strips: full, empty (both lists), and one value with two pairs.
void AppendStrips(XPayloadWriter& payload) {
    payload.Dword(3);
    payload.Dwords({2, 7, 8, 1, 1, 2});
    payload.Dwords({0, 0});
    payload.Dwords({1, 9, 2, 3, 4, 5, 6});
}

// The data part of a text file holding one object of `tmpl` with `payload`: what follows
// the template definitions.
std::string SavedObjectText(const GUID& tmpl, const XPayloadWriter& payload) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    std::string block = kTemplates;
    EXPECT_EQ(standard.file->RegisterTemplates(block.data(), block.size()), S_OK);
    std::string path = dir.File("records.x");
    ID3DXFileSaveObject* save = nullptr;
    EXPECT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                              D3DXF_FILEFORMAT_TEXT, &save),
              S_OK);
    if (save == nullptr) return {};
    EXPECT_EQ(save->AddDataObject(tmpl, "It", nullptr, payload.Size(), payload.Data(), nullptr),
              S_OK);
    EXPECT_EQ(save->Save(), S_OK);
    save->Release();
    auto bytes = xtest::ReadBytes(path);
    std::string text(bytes.begin(), bytes.end());
    std::size_t object = text.find("\n\n", text.rfind("template "));
    return object == std::string::npos ? text : text.substr(object + 2);
}

// The standard templates and those of kTemplates.
d3dx::XTemplateRegistry Registered() {
    d3dx::XTemplateRegistry registry = d3dx::StandardTemplates();
    const auto* block = reinterpret_cast<const std::uint8_t*>(kTemplates);
    EXPECT_EQ(d3dx::RegisterTemplateBlock({block, std::strlen(kTemplates)}, registry, nullptr),
              S_OK);
    return registry;
}

std::optional<XFlatRecordLayout> LayoutOf(const d3dx::XTemplateRegistry& registry,
                                          std::string_view name) {
    const d3dx::XTemplate* tmpl = registry.FindByName(name);
    EXPECT_NE(tmpl, nullptr) << name;
    return tmpl ? XFlatRecordLayout::Of(*tmpl) : std::nullopt;
}

TEST(TextRecords, TopLevelRecordsTakeALineEachAndEmptyListsWriteNothing) {
    XPayloadWriter set;
    AppendStrips(set);
    EXPECT_EQ(SavedObjectText(kStripSetGuid, set),
              "StripSet It {\n"
              " 3;\n"
              " 2;7,8;1;1,2;,\n"
              " 0;0;,\n"
              " 1;9;2;3,4,5,6;;\n"
              "}\n");
}

TEST(TextRecords, NestedRecordsShareTheirParentsLine) {
    XPayloadWriter album;
    album.Dword(2);
    AppendStrips(album);
    album.Dword(1).Dwords({1, 4, 0});
    EXPECT_EQ(SavedObjectText(kAlbumGuid, album),
              "Album It {\n"
              " 2;\n"
              " 3;2;7,8;1;1,2;,0;0;,1;9;2;3,4,5,6;;,\n"
              " 1;1;4;0;;;\n"
              "}\n");
}

// MeshFace records, the commonest, including one with no indices.
TEST(TextRecords, FacesKeepTheirCountsAndAnEmptyFaceWritesOnlyItsCount) {
    XPayloadWriter mesh;
    mesh.Dword(1).Floats({0, 0, 0}).Dword(3).Dwords({3, 0, 1, 4294967295u}).Dword(0).Dwords({1, 7});
    EXPECT_EQ(SavedObjectText(TID_D3DRMMesh, mesh),
              "Mesh It {\n"
              " 1;\n"
              " 0.0;0.0;0.0;;\n"
              " 3;\n"
              " 3;0,1,4294967295;,\n"
              " 0;,\n"
              " 1;7;;\n"
              "}\n");
}

// The indices 0, 1, ... count - 1 of a face as the text form writes them: joined by ','.
std::string FaceIndexText(std::uint32_t count) {
    std::string text;
    for (std::uint32_t index = 0; index < count; ++index) {
        if (index > 0) text += ',';
        text += std::to_string(index);
    }
    return text;
}

// Short faces are spelt a whole face at a time; a face of thousands of indices is spelt a
// value at a time. Both give the same characters, and the faces around them are untouched.
TEST(TextRecords, FacesOfThousandsOfIndicesKeepEveryIndex) {
    constexpr std::uint32_t kLongFaces[] = {4095, 4096, 5000};
    XPayloadWriter mesh;
    mesh.Dword(1).Floats({0, 0, 0}).Dword(std::size(kLongFaces) + 2).Dwords({2, 5, 6});
    for (std::uint32_t count : kLongFaces) {
        mesh.Dword(count);
        for (std::uint32_t index = 0; index < count; ++index) mesh.Dword(index);
    }
    mesh.Dwords({1, 9});
    std::string expected = "Mesh It {\n 1;\n 0.0;0.0;0.0;;\n 5;\n 2;5,6;,\n";
    for (std::uint32_t count : kLongFaces) {
        expected += " " + std::to_string(count) + ";" + FaceIndexText(count) + ";,\n";
    }
    expected += " 1;9;;\n}\n";
    EXPECT_EQ(SavedObjectText(TID_D3DRMMesh, mesh), expected);
}

TEST(TextRecords, FloatRecordsUseTheFloatSpellings) {
    XPayloadWriter list;
    list.Dword(2).Floats({1.5f, -0.0f, 2.0f, 0.1f, 1e6f, -3.25f});
    EXPECT_EQ(SavedObjectText(kWeightListGuid, list),
              "WeightList It {\n"
              " 2;\n"
              " 1.5,-0.0;2.0;,\n"
              " 0.1,1000000.0;-3.25;;\n"
              "}\n");
}

TEST(FlatRecordLayout, TakesRecordsOfOnePrimitiveWithArraysSizedByEarlierMembers) {
    d3dx::XTemplateRegistry registry = Registered();
    auto face = LayoutOf(registry, "MeshFace");
    ASSERT_TRUE(face.has_value());
    EXPECT_EQ(face->Type(), d3dx::XPrimitive::Dword);
    ASSERT_EQ(face->MemberCount(), 2u);
    EXPECT_FALSE(face->Members()[0].isArray);
    EXPECT_EQ(face->Members()[1].sizeMember, std::optional<std::size_t>(0));

    auto strip = LayoutOf(registry, "Strip");
    ASSERT_TRUE(strip.has_value());
    EXPECT_EQ(strip->Members()[3].sizeMember, std::optional<std::size_t>(2));
    EXPECT_EQ(strip->Members()[3].fixedCount, 2u);
    auto weights = LayoutOf(registry, "Weights");
    ASSERT_TRUE(weights.has_value());
    EXPECT_EQ(weights->Members()[0].fixedCount, 2u);

    // A member of a template type, and values of two primitives, are walked as before.
    EXPECT_FALSE(LayoutOf(registry, "StripSet").has_value());
    EXPECT_FALSE(LayoutOf(registry, "Mesh").has_value());
    EXPECT_FALSE(LayoutOf(registry, "FloatKeys").has_value());
}

TEST(FlatRecordLayout, MeasuresRecordsByTheirCountsAndRefusesWhatDoesNotFit) {
    d3dx::XTemplateRegistry registry = Registered();
    auto strip = LayoutOf(registry, "Strip");
    ASSERT_TRUE(strip.has_value());
    XPayloadWriter strips;
    AppendStrips(strips);
    std::span<const std::uint8_t> bytes(strips.Bytes() + 4, strips.Size() - 4);
    constexpr std::size_t kDword = 4;
    EXPECT_EQ(strip->Measure(bytes, 3), std::optional<std::size_t>(15 * kDword));
    EXPECT_EQ(strip->Measure(bytes, 2), std::optional<std::size_t>(8 * kDword));
    // The last pair loses its second value; then the count of a record's list is cut off.
    EXPECT_EQ(strip->Measure(bytes.first(bytes.size() - kDword), 3), std::nullopt);
    EXPECT_EQ(strip->Measure(bytes.first(6 * kDword + 2), 3), std::nullopt);
    EXPECT_EQ(strip->Measure(bytes.first(0), 1), std::nullopt);
}

// MeshFace, a count and that many values, is measured by a loop of its own.
TEST(FlatRecordLayout, MeasuresFacesByTheirCountsAndRefusesWhatDoesNotFit) {
    d3dx::XTemplateRegistry registry = Registered();
    auto face = LayoutOf(registry, "MeshFace");
    ASSERT_TRUE(face.has_value());
    EXPECT_TRUE(face->IsCountedList());
    EXPECT_FALSE(LayoutOf(registry, "Strip")->IsCountedList());
    EXPECT_FALSE(LayoutOf(registry, "Weights")->IsCountedList());

    XPayloadWriter faces;
    faces.Dwords({3, 0, 1, 2}).Dword(0).Dwords({2, 5, 6});
    std::span<const std::uint8_t> bytes(faces.Bytes(), faces.Size());
    constexpr std::size_t kDword = 4;
    EXPECT_EQ(face->Measure(bytes, 3), std::optional<std::size_t>(8 * kDword));
    EXPECT_EQ(face->Measure(bytes, 2), std::optional<std::size_t>(5 * kDword));
    EXPECT_EQ(face->Measure(bytes, 0), std::optional<std::size_t>(0));
    // The last face loses its last index; a count is cut in two; one face too many.
    EXPECT_EQ(face->Measure(bytes.first(7 * kDword), 3), std::nullopt);
    EXPECT_EQ(face->Measure(bytes.first(5 * kDword + 2), 3), std::nullopt);
    EXPECT_EQ(face->Measure(bytes, 4), std::nullopt);

    // A count far beyond the bytes is refused, not wrapped around.
    XPayloadWriter huge;
    huge.Dwords({4294967295u, 1, 2});
    EXPECT_EQ(face->Measure({huge.Bytes(), huge.Size()}, 1), std::nullopt);
}

}  // namespace
