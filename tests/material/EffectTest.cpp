// Effect instances of shader materials: the effect file's name, every parameter type's
// child and payload, the order of the blocks, the switches, and the one fatal add.
#include <gtest/gtest.h>

#include <cstring>

#include "MaterialTestSupport.h"
#include "material/Materials.h"
#include "tests/support/TestFiles.h"

namespace {

using namespace mattest;
using tarvo::scene::MaterialData;
using tarvo::scene::ParamData;
using tarvo::scene::SceneData;

ParamData Param(const std::string& name, int type) {
    ParamData param;
    param.name = name;
    param.type = type;
    return param;
}
ParamData Number(const std::string& name, int type, double value) {
    ParamData param = Param(name, type);
    param.number = value;
    return param;
}
ParamData Vector(const std::string& name, int type, Point4 value) {
    ParamData param = Param(name, type);
    param.vector = value;
    return param;
}
ParamData Text(const std::string& name, int type, const std::string& value) {
    ParamData param = Param(name, type);
    param.text = value;
    return param;
}

constexpr int kUnknownType = 99;

MaterialData Shader(const std::string& effectFile) {
    MaterialData shader;
    shader.kind = tarvo::scene::MaterialKind::Shader;
    shader.name = "Water";
    shader.effectFile = effectFile;
    shader.paramBlocks[3] = {Vector("Deep", TYPE_RGBA, Point4(0.0f, 0.1f, 0.3f, 1.0f)),
                             Vector("Wind", TYPE_POINT3, Point4(1.0f, 0.5f, 0.0f, 0.0f)),
                             Vector("Spot", TYPE_POINT4, Point4(1, 2, 3, 4)),
                             Text("Technique", TYPE_STRING, "Calm"),
                             Text("Include", TYPE_FILENAME, "fx\\common.fxh"),
                             Text("Ripples", TYPE_BITMAP, "/maps/ripples.png"),
                             Text("Unused", TYPE_BITMAP, ""),
                             Param("Odd", kUnknownType)};
    shader.paramBlocks[0] = {Number("Speed", TYPE_FLOAT, 1.5), Number("Waves", TYPE_INT, -3),
                             Number("Foam", TYPE_BOOL, 1),
                             Vector("Tint", TYPE_FRGBA, Point4(0.1f, 0.4f, 0.8f, 0.9f))};
    return shader;
}

ExportOptions EffectOptions(std::int32_t fileType = kXFileText) {
    ExportOptions options = MaterialOptions();
    options.texMapConv = kTexMapNone;
    options.xFileType = fileType;
    return options;
}

std::vector<std::uint8_t> Bytes(const std::string& name) {
    return std::vector<std::uint8_t>(name.c_str(), name.c_str() + name.size() + 1);
}
void Append(std::vector<std::uint8_t>& bytes, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
}
std::vector<std::uint8_t> FloatsPayload(const std::string& name, std::vector<float> values) {
    auto bytes = Bytes(name);
    const auto count = static_cast<std::uint32_t>(values.size());
    Append(bytes, &count, sizeof count);
    Append(bytes, values.data(), values.size() * sizeof(float));
    return bytes;
}
std::vector<std::uint8_t> DwordPayload(const std::string& name, std::uint32_t value) {
    auto bytes = Bytes(name);
    Append(bytes, &value, sizeof value);
    return bytes;
}
std::vector<std::uint8_t> StringPayload(const std::string& name, const std::string& value) {
    auto bytes = Bytes(name);
    auto text = Bytes(value);
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

class Effects : public ::testing::Test {
  protected:
    ExportResult Export(const MaterialData& material, const ExportOptions& options) {
        SceneData scene;
        scene.materials = {material};
        scene.nodes.push_back(MeshNode("Pool", 0, {0}));
        return RunExport(std::move(scene), options, m_dir.File("fx.x"));
    }
    static const d3dx::XDataObject* EffectOf(const ExportResult& run) {
        auto effects = AllOf(run.contents, "EffectInstance");
        EXPECT_EQ(effects.size(), 1u);
        return effects.empty() ? nullptr : effects[0];
    }
    tarvo::testsupport::TempDir m_dir{"tarvo-effects"};
};

TEST_F(Effects, EveryParameterTypeGivesItsChildAndPayload) {
    for (std::int32_t fileType : {kXFileText, kXFileBinary, kXFileCompressed}) {
        SCOPED_TRACE(fileType);
        ExportResult run = Export(Shader("C:\\fx\\water.fx"), EffectOptions(fileType));
        const auto* effect = EffectOf(run);
        ASSERT_NE(effect, nullptr);
        EXPECT_EQ(ReadString(*effect), "water.fx");
        struct Expected {
            const char* templateName;
            std::vector<std::uint8_t> payload;
        };
        const Expected expected[] = {
            {"EffectParamFloats", FloatsPayload("Speed", {1.5f})},
            {"EffectParamDWord", DwordPayload("Waves", static_cast<std::uint32_t>(-3))},
            {"EffectParamDWord", DwordPayload("Foam", 1)},
            {"EffectParamFloats", FloatsPayload("Tint", {0.1f, 0.4f, 0.8f, 0.9f})},
            {"EffectParamFloats", FloatsPayload("Deep", {0.0f, 0.1f, 0.3f, 1.0f})},
            {"EffectParamFloats", FloatsPayload("Wind", {1.0f, 0.5f, 0.0f})},
            {"EffectParamFloats", FloatsPayload("Spot", {1, 2, 3, 4})},
            {"EffectParamString", StringPayload("Technique", "Calm")},
            {"EffectParamString", StringPayload("Include", "fx\\common.fxh")},
            {"EffectParamString", StringPayload("Ripples", "/maps/ripples.png")},
        };
        ASSERT_EQ(effect->children.size(), std::size(expected));
        for (std::size_t i = 0; i < std::size(expected); ++i) {
            const auto& child = *effect->children[i].object;
            EXPECT_EQ(child.templateName, expected[i].templateName) << i;
            EXPECT_EQ(child.payload, expected[i].payload) << i;
            EXPECT_TRUE(child.name.empty());
        }
        // Speed = 1.5: "Speed" and its zero, count 1, then 1.5.
        EXPECT_EQ(
            effect->children[0].object->payload,
            (std::vector<std::uint8_t>{'S', 'p', 'e', 'e', 'd', 0, 1, 0, 0, 0, 0, 0, 0xC0, 0x3F}));
        EXPECT_EQ(LinesStarting(run.debugLines, "Don't Know this one").size(), 1u);
        EXPECT_EQ(LinesStarting(run.debugLines, "DX9 Effect Filename = C:\\fx\\water.fx").size(),
                  1u);
    }
}

TEST_F(Effects, BlockZeroComesBeforeBlockThreeAndEachInIndexOrder) {
    ExportResult run = Export(Shader("water.fx"), EffectOptions());
    // Index lines of both blocks: "index:id:name:type", block 0 first.
    std::vector<std::string> names;
    for (const auto& line : run.debugLines) {
        std::size_t first = line.find(':');
        std::size_t second = line.find(':', first + 1);
        std::size_t third = line.find(':', second + 1);
        if (first == std::string::npos || third == std::string::npos) continue;
        if (line.find_first_not_of("0123456789") != first) continue;
        names.push_back(line.substr(second + 1, third - second - 1));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"Speed", "Waves", "Foam", "Tint", "Deep", "Wind", "Spot",
                                        "Technique", "Include", "Ripples", "Unused", "Odd"}));
}

TEST_F(Effects, FullPathIsDoubledInTextFilesOnlyAndFileParametersNever) {
    ExportOptions options = EffectOptions(kXFileText);
    options.texFullPath = 1;
    Export(Shader("C:\\fx\\water.fx"), options);
    const std::string text = tarvo::testsupport::ReadText(m_dir.File("fx.x"));
    EXPECT_NE(text.find("\"C:\\\\fx\\\\water.fx\""), std::string::npos);
    EXPECT_NE(text.find("\"fx\\common.fxh\""), std::string::npos);
    options.xFileType = kXFileBinary;
    ExportResult binary = Export(Shader("C:\\fx\\water.fx"), options);
    ASSERT_NE(EffectOf(binary), nullptr);
    EXPECT_EQ(ReadString(*EffectOf(binary)), "C:\\fx\\water.fx");
}

TEST_F(Effects, SwitchesLeaveOutParametersOrTheWholeEffect) {
    ExportOptions options = EffectOptions();
    options.getFxParams = 0;
    ExportResult run = Export(Shader("water.fx"), options);
    ASSERT_NE(EffectOf(run), nullptr);
    EXPECT_TRUE(EffectOf(run)->children.empty());
    options.fxFiles = 0;
    run = Export(Shader("water.fx"), options);
    EXPECT_TRUE(AllOf(run.contents, "EffectInstance").empty());
    EXPECT_EQ(AllOf(run.contents, "Material").size(), 1u);
}

TEST_F(Effects, EmptyEffectFileGivesASingleZero) {
    MaterialData shader = Shader("");
    shader.paramBlocks.clear();
    ExportResult run = Export(shader, EffectOptions());
    ASSERT_NE(EffectOf(run), nullptr);
    EXPECT_EQ(EffectOf(run)->payload, std::vector<std::uint8_t>{0});
}

TEST_F(Effects, EffectComesBeforeTheTextureAndOnlyShaderMaterialsHaveOne) {
    MaterialData shader = Shader("water.fx");
    shader.maps.push_back(BitmapSlot(tarvo::scene::ID_DI, "maps/water.png"));
    SceneData scene;
    scene.materials = {shader, StandardMaterial("Plain", Color(0.5f, 0.5f, 0.5f))};
    scene.nodes.push_back(MeshNode("Pool", 0, {0}));
    scene.nodes.push_back(MeshNode("Side", 1, {0}));
    ExportResult run = RunExport(std::move(scene), EffectOptions(), m_dir.File("order.x"));
    auto materials = TopLevel(run.contents, "Material");
    ASSERT_EQ(materials.size(), 2u);
    ASSERT_EQ(materials[0]->children.size(), 2u);
    EXPECT_EQ(materials[0]->children[0].object->templateName, "EffectInstance");
    EXPECT_EQ(materials[0]->children[1].object->templateName, "TextureFilename");
    EXPECT_TRUE(materials[1]->children.empty());
}

// A Material object whose children cannot be added.
class RefusingData : public ID3DXFileSaveData {
  public:
    HRESULT AddDataObject(REFGUID, LPCSTR, const GUID*, SIZE_T, LPCVOID,
                          ID3DXFileSaveData**) override {
        return E_OUTOFMEMORY;
    }
    HRESULT AddDataReference(LPCSTR, const GUID*) override { return E_FAIL; }
    HRESULT GetSave(ID3DXFileSaveObject**) override { return E_NOTIMPL; }
    HRESULT GetName(LPSTR, SIZE_T*) override { return E_NOTIMPL; }
    HRESULT GetId(GUID*) override { return E_NOTIMPL; }
    HRESULT GetType(GUID*) override { return E_NOTIMPL; }
};

TEST(EffectInstance, FailedAddRaisesTheSaveErrorOfTheMaterialWriter) {
    SceneData data;
    data.materials = {Shader("water.fx")};
    HostScene scene(std::move(data));
    TarvoDirectXMaxExporter exporter;
    ComRef<RefusingData> parent(new RefusingData);
    std::string message;
    try {
        WriteEffectInstance(exporter, scene.Material(0), parent.Get());
    } catch (const char* text) {
        message = text;
    }
    EXPECT_NE(message.find("Materials:674: pxofobj->AddDataObject(DXFILEOBJ_EffectInstance, NULL, "
                           "NULL, strlen( szEName) + 1, szEName, &pxofobjEffectInst)"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("E_OUTOFMEMORY"), std::string::npos) << message;
    // Any other material is no effect material, so nothing is added and nothing raised.
    SceneData plain;
    plain.materials = {StandardMaterial("Plain", Color(1, 1, 1))};
    HostScene plainScene(std::move(plain));
    EXPECT_NO_THROW(WriteEffectInstance(exporter, plainScene.Material(0), parent.Get()));
}

}  // namespace
