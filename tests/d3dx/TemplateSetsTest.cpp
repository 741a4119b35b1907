#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "XTestSupport.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

using d3dx::StandardTemplates;
using d3dx::XPayloadWriter;
using d3dx::XTemplateRegistry;

TEST(TemplateSets, StandardBlockIsTheBinaryTokenisationOfTheThirtyFiveTemplates) {
    EXPECT_EQ(D3DRM_XTEMPLATE_BYTES, 3278);
    const unsigned char start[] = {
        'x',  'o',  'f',  ' ',  '0',  '3',  '0',  '2',  'b',  'i',  'n', ' ',
        '0',  '0',  '6',  '4',  0x1f, 0x00,                                    // template
        0x01, 0x00, 0x06, 0x00, 0x00, 0x00, 'H',  'e',  'a',  'd',  'e', 'r',  // NAME Header
        0x0a, 0x00,                                                            // {
        0x05, 0x00, 0x43, 0xab, 0x82, 0x3d, 0xda, 0x62, 0xcf, 0x11,            // GUID
        0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33, 0x28, 0x00,            // WORD
        0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 'm',  'a',  'j',  'o',  'r',       // NAME major
        0x14, 0x00};                                                           // ;
    EXPECT_EQ(std::memcmp(D3DRM_XTEMPLATES, start, sizeof start), 0);
}

TEST(TemplateSets, TextSetsCarryTheirHeaders) {
    EXPECT_EQ(std::string(XSKINEXP_TEMPLATES, 16), "xof 0303txt 0032");
    EXPECT_EQ(std::string(XEXTENSIONS_TEMPLATES, 16), "xof 0303txt 0032");
}

TEST(TemplateSets, EveryTemplateIsRegisteredUnderItsGuid) {
    struct Expected {
        const char* name;
        GUID guid;
    };
    const Expected expected[] = {
        {"Header", TID_D3DRMHeader},
        {"Vector", TID_D3DRMVector},
        {"Coords2d", TID_D3DRMCoords2d},
        {"Matrix4x4", TID_D3DRMMatrix4x4},
        {"ColorRGBA", TID_D3DRMColorRGBA},
        {"ColorRGB", TID_D3DRMColorRGB},
        {"IndexedColor", TID_D3DRMIndexedColor},
        {"Boolean", TID_D3DRMBoolean},
        {"Boolean2d", TID_D3DRMBoolean2d},
        {"MaterialWrap", TID_D3DRMMaterialWrap},
        {"TextureFilename", TID_D3DRMTextureFilename},
        {"Material", TID_D3DRMMaterial},
        {"MeshFace", TID_D3DRMMeshFace},
        {"MeshFaceWraps", TID_D3DRMMeshFaceWraps},
        {"MeshTextureCoords", TID_D3DRMMeshTextureCoords},
        {"MeshMaterialList", TID_D3DRMMeshMaterialList},
        {"MeshNormals", TID_D3DRMMeshNormals},
        {"MeshVertexColors", TID_D3DRMMeshVertexColors},
        {"Mesh", TID_D3DRMMesh},
        {"FrameTransformMatrix", TID_D3DRMFrameTransformMatrix},
        {"Frame", TID_D3DRMFrame},
        {"FloatKeys", TID_D3DRMFloatKeys},
        {"TimedFloatKeys", TID_D3DRMTimedFloatKeys},
        {"AnimationKey", TID_D3DRMAnimationKey},
        {"AnimationOptions", TID_D3DRMAnimationOptions},
        {"Animation", TID_D3DRMAnimation},
        {"AnimationSet", TID_D3DRMAnimationSet},
        {"InlineData", TID_D3DRMInlineData},
        {"Url", TID_D3DRMUrl},
        {"ProgressiveMesh", TID_D3DRMProgressiveMesh},
        {"Guid", TID_D3DRMGuid},
        {"StringProperty", TID_D3DRMStringProperty},
        {"PropertyBag", TID_D3DRMPropertyBag},
        {"ExternalVisual", TID_D3DRMExternalVisual},
        {"RightHanded", TID_D3DRMRightHanded},
        {"XSkinMeshHeader", DXFILEOBJ_XSkinMeshHeader},
        {"VertexDuplicationIndices", DXFILEOBJ_VertexDuplicationIndices},
        {"FaceAdjacency", DXFILEOBJ_FaceAdjacency},
        {"SkinWeights", DXFILEOBJ_SkinWeights},
        {"Patch", DXFILEOBJ_Patch},
        {"PatchMesh", DXFILEOBJ_PatchMesh},
        {"PatchMesh9", DXFILEOBJ_PatchMesh9},
        {"EffectFloats", DXFILEOBJ_EffectFloats},
        {"EffectString", DXFILEOBJ_EffectString},
        {"EffectDWord", DXFILEOBJ_EffectDWord},
        {"EffectParamFloats", DXFILEOBJ_EffectParamFloats},
        {"EffectParamString", DXFILEOBJ_EffectParamString},
        {"EffectParamDWord", DXFILEOBJ_EffectParamDWord},
        {"EffectInstance", DXFILEOBJ_EffectInstance},
        {"AnimTicksPerSecond", DXFILEOBJ_AnimTicksPerSecond},
        {"CompressedAnimationSet", DXFILEOBJ_CompressedAnimationSet},
        {"FVFData", DXFILEOBJ_FVFData},
        {"VertexElement", DXFILEOBJ_VertexElement},
        {"DeclData", DXFILEOBJ_DeclData},
        {"PMAttributeRange", DXFILEOBJ_PMAttributeRange},
        {"PMVSplitRecord", DXFILEOBJ_PMVSplitRecord},
        {"PMInfo", DXFILEOBJ_PMInfo},
    };
    const XTemplateRegistry& registry = StandardTemplates();
    EXPECT_EQ(registry.Size(), std::size(expected));
    for (const Expected& entry : expected) {
        const d3dx::XTemplate* byGuid = registry.FindByGuid(entry.guid);
        ASSERT_NE(byGuid, nullptr) << entry.name << " " << FormatGuid(entry.guid);
        EXPECT_EQ(byGuid->name, entry.name);
        EXPECT_EQ(registry.FindByName(entry.name), byGuid);
    }
}

TEST(TemplateSets, LayoutDetailsFixedByTheBlock) {
    const XTemplateRegistry& registry = StandardTemplates();
    const auto* list = registry.FindByName("MeshMaterialList");
    ASSERT_EQ(list->restriction, d3dx::XRestriction::Restricted);
    ASSERT_EQ(list->allowedChildren.size(), 1u);
    EXPECT_EQ(list->allowedChildren[0].name, "Material");
    EXPECT_FALSE(list->allowedChildren[0].guid.has_value());
    const auto* progressive = registry.FindByName("ProgressiveMesh");
    ASSERT_EQ(progressive->allowedChildren.size(), 2u);
    EXPECT_EQ(progressive->allowedChildren[1].name, "InlineData");
    EXPECT_EQ(registry.FindByName("Frame")->restriction, d3dx::XRestriction::Open);
    EXPECT_EQ(registry.FindByName("Vector")->restriction, d3dx::XRestriction::Closed);
    const auto* weights = registry.FindByName("SkinWeights");
    ASSERT_EQ(weights->members.size(), 5u);
    EXPECT_EQ(weights->members[3].dimensions[0].sizeMemberName, "nWeights");
    EXPECT_EQ(registry.FindByName("meshface"), registry.FindByName("MeshFace"));  // case-blind
}

class RegisterTemplatesTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(D3DXFileCreate(&m_file), S_OK); }
    void TearDown() override { m_file->Release(); }

    HRESULT Register(const std::string& text) {
        return m_file->RegisterTemplates(text.data(), text.size());
    }

    // Whether a template is known to the file: an add of an object of it succeeds.
    bool Knows(const GUID& guid, std::size_t payloadSize = 4) {
        ID3DXFileSaveObject* save = nullptr;
        EXPECT_EQ(m_file->CreateSaveObject("unused.x", D3DXF_FILESAVE_TOFILE, D3DXF_FILEFORMAT_TEXT,
                                           &save),
                  S_OK);
        std::uint8_t payload[64] = {};
        HRESULT hr = save->AddDataObject(guid, nullptr, nullptr, payloadSize, payload, nullptr);
        save->Release();
        return hr == S_OK;
    }

    // Whether an add of an object of the template `guid` with the first `size` bytes of
    // `payload` (all of them by default) succeeds.
    bool Knows(const GUID& guid, const XPayloadWriter& payload,
               std::size_t size = std::size_t(-1)) {
        ID3DXFileSaveObject* save = nullptr;
        EXPECT_EQ(m_file->CreateSaveObject("unused.x", D3DXF_FILESAVE_TOFILE, D3DXF_FILEFORMAT_TEXT,
                                           &save),
                  S_OK);
        HRESULT hr = save->AddDataObject(guid, nullptr, nullptr, std::min(size, payload.Size()),
                                         payload.Data(), nullptr);
        save->Release();
        return hr == S_OK;
    }

    ID3DXFile* m_file = nullptr;
};

const GUID kOneGuid = *ParseGuid("11111111-2222-3333-4444-555555555555");
const GUID kTwoGuid = *ParseGuid("11111111-2222-3333-4444-666666666666");

TEST_F(RegisterTemplatesTest, CallsAddUpAndLaterTemplatesUseEarlierOnes) {
    EXPECT_EQ(
        Register(
            "xof 0303txt 0032\ntemplate One { <11111111-2222-3333-4444-555555555555> DWORD a; }"),
        S_OK);
    EXPECT_EQ(
        Register(
            "xof 0303txt 0032\ntemplate Two { <11111111-2222-3333-4444-666666666666> One inner; }"),
        S_OK);
    EXPECT_TRUE(Knows(kOneGuid));
    EXPECT_TRUE(Knows(kTwoGuid));
}

// A registered template whose members are standard templates, single and in an array sized
// by an earlier member, is found by its GUID and takes a payload of those records.
TEST_F(RegisterTemplatesTest, TemplatesMadeOfStandardTemplatesAreFoundByTheirGuid) {
    ASSERT_EQ(RegisterStandardTemplateSets(m_file), S_OK);
    ASSERT_EQ(Register("xof 0303txt 0032\n"
                       "template Polygons { <11111111-2222-3333-4444-555555555555>\n"
                       " DWORD count; array MeshFace faces[count]; }\n"
                       "template Marker { <11111111-2222-3333-4444-666666666666>\n"
                       " Vector at; MeshFace face; }"),
              S_OK);
    XPayloadWriter polygons;
    polygons.Dword(2).Dwords({3, 0, 1, 2}).Dwords({2, 4, 5});
    XPayloadWriter marker;
    marker.Floats({1, 2, 3}).Dwords({1, 9});
    EXPECT_TRUE(Knows(kOneGuid, polygons));
    EXPECT_TRUE(Knows(kTwoGuid, marker));
    // One index short of the last face: the faces are measured, not taken on trust.
    EXPECT_FALSE(Knows(kOneGuid, polygons, polygons.Size() - 4));
}

TEST_F(RegisterTemplatesTest, MalformedBlockRegistersNothingOfThatCall) {
    // The first template is fine; the second names an unknown type.
    EXPECT_EQ(Register("xof 0303txt 0032\n"
                       "template One { <11111111-2222-3333-4444-555555555555> DWORD a; }\n"
                       "template Two { <11111111-2222-3333-4444-666666666666> Missing m; }"),
              D3DXFERR_PARSEERROR);
    EXPECT_FALSE(Knows(kOneGuid));
    EXPECT_EQ(
        Register("xof 0303txt 0032\ntemplate One { <11111111-2222-3333-4444-555555555555> DWORD a"),
        D3DXFERR_PARSEERROR);
    EXPECT_EQ(Register("xof 0303txt 0032\nFrame { }"), D3DXFERR_PARSEERROR);  // data, not templates
    EXPECT_EQ(Register("xof 0303txq 0032\n"), D3DXFERR_BADFILETYPE);
    EXPECT_EQ(Register("xof 0103txt 0032\n"), D3DXFERR_BADFILEVERSION);
    EXPECT_EQ(Register("xof 0303txt 0016\n"), D3DXFERR_BADFILEFLOATSIZE);
    EXPECT_FALSE(Knows(kOneGuid));
}

TEST_F(RegisterTemplatesTest, RejectsArraysSizedByUnknownOrLaterMembers) {
    EXPECT_EQ(Register("xof 0303txt 0032\ntemplate One { <11111111-2222-3333-4444-555555555555> "
                       "array DWORD v[n]; DWORD n; }"),
              D3DXFERR_PARSEERROR);
    EXPECT_EQ(Register("xof 0303txt 0032\ntemplate One { <11111111-2222-3333-4444-555555555555> "
                       "FLOAT n; array DWORD v[n]; }"),
              D3DXFERR_PARSEERROR);
    // Arrays of a template without data could never end.
    EXPECT_EQ(
        Register(
            "xof 0303txt 0032\ntemplate Empty { <11111111-2222-3333-4444-555555555555> }\n"
            "template One { <11111111-2222-3333-4444-666666666666> DWORD n; array Empty e[n]; }"),
        D3DXFERR_PARSEERROR);
}

TEST_F(RegisterTemplatesTest, BinaryAndCompressedBlocksRegisterToo) {
    ASSERT_EQ(m_file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    EXPECT_TRUE(Knows(TID_D3DRMVector, 12));
    EXPECT_FALSE(Knows(DXFILEOBJ_XSkinMeshHeader, 6));
    // A truncated binary block fails whole.
    ID3DXFile* other = nullptr;
    ASSERT_EQ(D3DXFileCreate(&other), S_OK);
    EXPECT_EQ(other->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES - 3),
              D3DXFERR_PARSEERROR);
    other->Release();
}

TEST_F(RegisterTemplatesTest, StandardSetsMakeEverySetKnown) {
    ASSERT_EQ(RegisterStandardTemplateSets(m_file), S_OK);
    EXPECT_TRUE(Knows(TID_D3DRMVector, 12));
    EXPECT_TRUE(Knows(DXFILEOBJ_XSkinMeshHeader, 6));
    EXPECT_TRUE(Knows(DXFILEOBJ_FVFData, 8));
    EXPECT_EQ(RegisterStandardTemplateSets(nullptr), E_POINTER);
}

// A file that records what it is asked to register and fails the call it is told to.
class RecordingFile : public ID3DXFile {
  public:
    explicit RecordingFile(std::size_t failingCall) : m_failingCall(failingCall) {}

    HRESULT CreateSaveObject(LPCVOID, D3DXF_FILESAVEOPTIONS, D3DXF_FILEFORMAT,
                             ID3DXFileSaveObject**) override {
        return E_NOTIMPL;
    }
    HRESULT RegisterTemplates(LPCVOID pvData, SIZE_T cbSize) override {
        calls.emplace_back(pvData, cbSize);
        return calls.size() == m_failingCall ? D3DXFERR_PARSEERROR : S_OK;
    }

    std::vector<std::pair<LPCVOID, SIZE_T>> calls;

  private:
    std::size_t m_failingCall;
};

TEST(StandardTemplateSets, RegisteredInOrderUntilTheFirstFailure) {
    const std::pair<LPCVOID, SIZE_T> kSets[] = {
        {D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES},
        {XSKINEXP_TEMPLATES, std::strlen(XSKINEXP_TEMPLATES)},
        {XEXTENSIONS_TEMPLATES, std::strlen(XEXTENSIONS_TEMPLATES)}};
    constexpr std::size_t kNoFailure = 0;
    for (std::size_t failing : {kNoFailure, std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
        SCOPED_TRACE("failing call " + std::to_string(failing));
        auto* file = new RecordingFile(failing);
        HRESULT hr = RegisterStandardTemplateSets(file);
        EXPECT_EQ(hr, failing == kNoFailure ? S_OK : D3DXFERR_PARSEERROR);
        std::size_t expectedCalls = failing == kNoFailure ? std::size(kSets) : failing;
        ASSERT_EQ(file->calls.size(), expectedCalls);
        for (std::size_t i = 0; i < expectedCalls; ++i) EXPECT_EQ(file->calls[i], kSets[i]) << i;
        file->Release();
    }
}

}  // namespace
