#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "platform/max/IGame.h"
#include "platform/max/Materials.h"
#include "platform/max/Node.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using namespace tarvo;
using tarvo::testsupport::ReadText;
using tarvo::testsupport::TempDir;

namespace {

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";

// Every feature of the format, with names that force references by index.
scene::SceneData EveryFeature() {
    using namespace scene;
    SceneData s;
    s.frameRate = 25;
    s.ticksPerFrame = 192;
    s.animStart = -1920;
    s.animEnd = 9600;
    s.currentTime = 384;

    MaterialData standard;
    standard.name = "1st coat";
    standard.maps = {
        MapSlot{1, true, TexmapData{TexmapKind::Bitmap, "Diffuse", "", "C:\\maps\\brick.jpg"}},
        MapSlot{4, false, TexmapData{TexmapKind::Other, "Noise 1", "Noise", ""}}};
    MaterialData unnamed;  // referred to by index
    unnamed.transparency = 0.125f;
    MaterialData multi;
    multi.kind = MaterialKind::Multi;
    multi.name = "Multi 1";
    multi.subMaterials = {0, -1, 1, 3};
    MaterialData shader;
    shader.kind = MaterialKind::Shader;
    shader.name = "Water";
    shader.effectFile = "C:\\fx\\water.fx";
    shader.paramBlocks[0] = {ParamData{"Speed", 0, 1.5, {}, {}}, ParamData{"On", 4, 1, {}, {}},
                             ParamData{"Count", 1, -7, {}, {}}};
    shader.paramBlocks[3] = {ParamData{"Tint", 23, 0, Point4(0.1f, 0.2f, 0.3f, 0.4f), {}},
                             ParamData{"Dir", 3, 0, Point4(1, 2, 3, 0), {}},
                             ParamData{"Map", 16, 0, {}, "noise.png"},
                             ParamData{"None", 16, 0, {}, {}},
                             ParamData{"File", 9, 0, {}, "C:\\fx\\inc.fxh"},
                             ParamData{"Odd", 12, 0, {}, {}}};
    MaterialData other;
    other.kind = MaterialKind::Other;
    other.name = "Ink";
    other.classId = Class_ID(0x12345678, 0x9ABCDEF0);
    other.className = "Ink 'n Paint";
    s.materials = {standard, unnamed, multi, shader, other};

    NodeData bone;
    bone.name = "Bone";
    bone.object = ObjectKind::Helper;
    bone.animation.position = {{0, Point3(0, 0, 0)}, {800, Point3(1, 2, 3)}};
    bone.animation.rotation = {{0, Quat()}, {1600, QuatFromAxisAngle(Point3(0, 1, 0), 0.5f)}};
    bone.animation.scale = {{400, Point3(1, 1, 1)}};
    NodeData twinA;
    twinA.name = "Twin";
    twinA.parent = 0;
    twinA.object = ObjectKind::Camera;
    twinA.selected = true;
    NodeData twinB = twinA;
    twinB.object = ObjectKind::Target;
    twinB.selected = false;
    twinB.hidden = true;
    twinB.renderable = false;

    NodeData mesh;
    mesh.name = "Skinned";
    mesh.object = ObjectKind::Mesh;
    mesh.material = 2;
    mesh.wireColor = 0x00102030;
    mesh.transform =
        Placement{Point3(1, 2, 3), QuatFromAxisAngle(Point3(1, 1, 0), 1.0f), Point3(1, -2, 3)};
    mesh.objectOffset.position = Point3(0, 0, 0.5f);
    mesh.mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.mesh.faces = {FaceData{{0, 1, 2}, 0x80000001u, 65535}};
    mesh.mesh.maps[-2] = MapChannel{{Point3(0.5f, 0, 0)}, {{0, 0, 0}}};
    mesh.mesh.maps[0] = MapChannel{{Point3(1, 0, 0)}, {{0, 0, 0}}};
    mesh.mesh.maps[1] = MapChannel{{Point3(0.25f, 0.75f, 0), Point3(1, 1, 0)}, {{0, 1, 1}}};
    mesh.mesh.maps[7] = MapChannel{{Point3(0.1f, 0.2f, 0.3f)}, {{0, 0, 0}}};
    mesh.mesh.normals = ExplicitNormals{{Point3(0, 0, 1)}, {{0, 0, 0}}};
    ModifierData skin{ModifierKind::Skin, "Skin", OTHER_CLASS_ID,
                      SkinData{{2, 0}, {{{0, 0.25f}, {1, 0.75f}}, {}}, {}, {}}};
    skin.skin.initSkinTM =
        Matrix3(Point3(0, 1, 0), Point3(-1, 0, 0), Point3(0, 0, 2), Point3(1.5f, -2, 3));
    skin.skin.initBoneTMs = {std::nullopt, Matrix3(1)};
    ModifierData bend{ModifierKind::Other, "Bend", Class_ID(0x11, 0x22), {}};
    ModifierData physique{ModifierKind::Physique, "Physique", OTHER_CLASS_ID,
                          SkinData{{1}, {{{0, 1.0f}}}, {}, {}}};
    mesh.derived = {DerivedData{{skin, bend}}, DerivedData{{physique}}};

    NodeData empty;
    empty.name = "Empty";
    s.nodes = {bone, twinA, twinB, mesh, empty};

    FileProperty settings;
    settings.name = "TarvoDXExportSettings";
    settings.text = "\r\n<velmark-dx-export file-version=\"1.01\">\r\n</velmark-dx-export>\r\n";
    FileProperty numbered;
    numbered.named = false;
    numbered.id = 42;
    numbered.isText = false;
    numbered.integer = -5;
    FileProperty summary;
    summary.set = 0;
    summary.name = "Title";
    summary.text = "Ünïcode ✓";
    s.fileProperties = {settings, numbered, summary};
    return s;
}

}  // namespace

TEST(SceneFile, CheckedLoadGivesTheRecordsOfThePlainLoad) {
    scene::CheckedScene checked = scenefile::LoadCheckedSceneFile(kExample);
    EXPECT_TRUE(checked.Records() == scenefile::LoadSceneFile(kExample));
}

TEST(SceneFile, CheckedLoadRefusesBrokenRecordsAtTheirPlace) {
    TempDir dir("tarvo-scene");
    const std::string file = (dir.Path() / "broken.tscene.json").string();
    std::ofstream(file) << R"({"format": "tarvo-scene", "version": 1, "nodes": [{"name": "A",
        "object": "mesh", "mesh": {"vertices": [[0,0,0],[1,0,0]],
        "faces": [{"v":[0,1,0]}, {"v":[1,0,2]}]}}]})";
    try {
        static_cast<void>(scenefile::LoadCheckedSceneFile(file));
        FAIL() << "a face past the vertices was taken";
    } catch (const scenefile::SceneFileError& e) {
        EXPECT_EQ(e.Path(), "/nodes/0/mesh/faces/1/v");
        EXPECT_EQ(e.Problem(), "index 2 is out of range: there are 2 vertices");
    }
}

TEST(SceneFile, EveryFeatureSurvivesSaveAndLoad) {
    scene::SceneData original = EveryFeature();
    ASSERT_NO_THROW(HostScene check(original)) << "the records themselves are valid";
    std::string text = scenefile::SerializeScene(original);
    scene::SceneData loaded = scenefile::ParseScene(text, "every.tscene.json");
    EXPECT_TRUE(loaded == original) << text;
    EXPECT_EQ(scenefile::SerializeScene(loaded), text);
}

TEST(SceneFile, ExampleLoadsSavesAndLoadsUnchanged) {
    scene::SceneData first = scenefile::LoadSceneFile(kExample);
    TempDir dir("tarvo-scene");
    std::string copy = (dir.Path() / "copy.tscene.json").string();
    scenefile::SaveSceneFile(first, copy);
    scene::SceneData second = scenefile::LoadSceneFile(copy);
    EXPECT_NE(second.baseDirectory, first.baseDirectory);
    second.baseDirectory = first.baseDirectory;
    EXPECT_TRUE(second == first);
    // The shipped file is already in the form the host writes.
    EXPECT_EQ(ReadText(copy), ReadText(kExample));
    EXPECT_FALSE(fs::exists(copy + ".partial"));
}

TEST(SceneFile, ExampleHoldsWhatTheSampleNeeds) {
    HostScene scene(scenefile::LoadSceneFile(kExample));
    INode* crate = scene.FindNode("Crate");
    ASSERT_NE(crate, nullptr);
    EXPECT_STREQ(crate->GetParentNode()->GetName(), "Base");
    EXPECT_FALSE(crate->GetObjTMAfterWSM(0) == crate->GetNodeTM(0)) << "moved pivot";
    EXPECT_TRUE(scene.FindNode("Hidden Box")->IsNodeHidden());
    EXPECT_EQ(scene.FindNode("Camera01")->EvalWorldState(0).obj->SuperClassID(), CAMERA_CLASS_ID);
    EXPECT_EQ(scene.FindNode("Base")->EvalWorldState(0).obj->SuperClassID(), HELPER_CLASS_ID);

    Mtl* multi = crate->GetMtl();
    ASSERT_EQ(multi->ClassID(), MULTI_CLASS_ID);
    EXPECT_EQ(multi->GetSubMtl(1), nullptr);
    Mtl* brick = multi->GetSubMtl(0);
    auto* map = static_cast<BitmapTex*>(brick->GetSubTexmap(1));
    ASSERT_NE(map, nullptr);
    Bitmap* image = map->GetBitmap(0);
    ASSERT_NE(image, nullptr) << map->GetMapName();
    EXPECT_EQ(image->Width(), 16);
    EXPECT_NE(scene.FindNode("Pool")->GetMtl()->GetInterface(IDXMATERIAL_INTERFACE), nullptr);

    const auto& crateMesh = scene.Data().nodes[static_cast<std::size_t>(crate->DataIndex())].mesh;
    EXPECT_EQ(crateMesh.maps.size(), 3u) << "colours, UVs and a second channel";

    scene.IGame()->InitialiseIGame();
    IGameNode* arm = nullptr;
    for (int i = 0; i < scene.IGame()->GetTopLevelNodeCount(); ++i)
        if (std::string(scene.IGame()->GetTopLevelNode(i)->GetName()) == "Arm")
            arm = scene.IGame()->GetTopLevelNode(i);
    ASSERT_NE(arm, nullptr);
    IGameSkin* skin = arm->GetIGameObject()->GetIGameSkin();
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->GetTotalBoneCount(), 2);
    Tab<TimeValue> keys;
    scene.FindNode("LowerArm")
        ->GetTMController()
        ->GetKeyTimes(keys, scene.AnimRange(), KEYAT_ROTATION);
    EXPECT_EQ(keys.Count(), 3);
}

TEST(SceneFile, AcceptsAxisAngleRotationsAndShortMapVertices) {
    const char* text = R"({"format": "tarvo-scene", "version": 1, "nodes": [
        {"name": "Turned", "object": "mesh",
         "transform": {"rotation": {"axis": [0, 0, 2], "degrees": 90}},
         "mesh": {"vertices": [[0,0,0],[1,0,0],[0,1,0]], "faces": [{"v": [0,1,2]}],
                  "maps": [{"channel": 1, "vertices": [[0.5, 0.25]], "faces": [[0,0,0]]}]}}]})";
    scene::SceneData s = scenefile::ParseScene(text, "t.tscene.json");
    HostScene scene(s);
    Point3 x = Point3(1, 0, 0) * scene.Node(0)->GetNodeTM(0);
    EXPECT_NEAR(x.x, 0.0f, 1e-6f);
    EXPECT_NEAR(x.y, 1.0f, 1e-6f);
    EXPECT_EQ(s.nodes[0].mesh.maps.at(1).vertices[0], Point3(0.5f, 0.25f, 0.0f));
}

// What JSON cannot hold is refused before anything is written, so a saved scene always loads
// again and the file that was there stays as it was.
TEST(SceneFile, SavingRefusesWhatAFileCouldNotLoadAgain) {
    TempDir dir("tarvo-scene");
    const std::string file = (dir.Path() / "scene.tscene.json").string();
    std::ofstream(file) << "previous";
    auto refusal = [&](const scene::SceneData& scene) {
        try {
            scenefile::SaveSceneFile(scene, file);
        } catch (const scenefile::SceneFileError& e) {
            return std::string(e.what());
        }
        return std::string("saved");
    };
    scene::SceneData notFinite = EveryFeature();
    notFinite.nodes[0].transform.position.x = std::numeric_limits<float>::infinity();
    EXPECT_EQ(refusal(notFinite), file +
                                      ": cannot be written: it holds a number that is not "
                                      "finite (inf), which a scene file cannot hold");
    notFinite.nodes[0].transform.position.x = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(refusal(notFinite), file +
                                      ": cannot be written: it holds a number that is not "
                                      "finite (nan), which a scene file cannot hold");
    scene::SceneData latin1 = EveryFeature();
    latin1.nodes[0].name = "Caf\xE9";
    EXPECT_EQ(refusal(latin1),
              file + ": cannot be written: it holds a name or text that is not valid UTF-8");
    EXPECT_EQ(ReadText(file), "previous");
}

TEST(SceneFile, SavingReplacesAtomicallyAndNamesTheFileOnFailure) {
    TempDir dir("tarvo-scene");
    std::string file = (dir.Path() / "scene.tscene.json").string();
    std::ofstream(file) << "previous";
    scenefile::SaveSceneFile(EveryFeature(), file);
    scene::SceneData back = scenefile::LoadSceneFile(file);
    back.baseDirectory.clear();
    EXPECT_TRUE(back == EveryFeature());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    scenefile::SaveSceneFile(EveryFeature(), file);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
        << "a replaced file keeps its permissions";

    std::string missing = (dir.Path() / "no-such-dir" / "scene.tscene.json").string();
    try {
        scenefile::SaveSceneFile(EveryFeature(), missing);
        FAIL() << "saved into a missing directory";
    } catch (const scenefile::SceneFileError& e) {
        EXPECT_EQ(e.File(), missing);
        EXPECT_EQ(std::string(e.what()),
                  missing + ": cannot be written: No such file or directory");
    }
}
