#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "platform/max/IGame.h"

using namespace tarvo;

namespace {

// The message a scene text is refused with, or "accepted".
std::string Refusal(const std::string& text) {
    try {
        scenefile::ParseScene(text, "bad.tscene.json");
    } catch (const scenefile::SceneFileError& e) {
        return e.what();
    }
    return "accepted";
}

// A document with one node, the node's members given.
std::string OneNode(const std::string& members) {
    return R"({"format": "tarvo-scene", "version": 1, "nodes": [{)" + members + "}]}";
}

const std::string kTriangle =
    R"("mesh": {"vertices": [[0,0,0],[1,0,0],[0,1,0]], "faces": [{"v": [0,1,2]}]})";

}  // namespace

TEST(SceneFileErrors, DocumentLevelProblems) {
    EXPECT_EQ(Refusal("{\n  \"format\": \"tarvo-scene\",\n  \"version\": 1,,\n}"),
              "bad.tscene.json: line 3, column 16: not valid JSON: syntax error while parsing "
              "object key - "
              "unexpected ','; expected string literal");
    EXPECT_EQ(Refusal("[]"), "bad.tscene.json: expected an object, found an array");
    EXPECT_EQ(Refusal(R"({"version": 1})"), "bad.tscene.json: \"format\" is missing");
    EXPECT_EQ(Refusal(R"({"format": "glTF", "version": 1})"),
              "bad.tscene.json: /format: expected \"tarvo-scene\", found \"glTF\"");
    EXPECT_EQ(Refusal(R"({"format": "tarvo-scene", "version": 2})"),
              "bad.tscene.json: /version: version 2 is not supported (this host reads version 1)");
    EXPECT_EQ(Refusal(R"({"format": "tarvo-scene", "version": 1, "frameRate": 25})"),
              "bad.tscene.json: /frameRate: frames per second times ticks per frame must be 4800");
    EXPECT_EQ(Refusal(R"({"format": "tarvo-scene", "version": 1, "animationRange": [10, 0]})"),
              "bad.tscene.json: /animationRange: the animation range ends before it starts");
    EXPECT_EQ(Refusal(R"({"format": "tarvo-scene", "version": 1, "colour": 1})"),
              "bad.tscene.json: /colour: unknown key \"colour\"");
    // A number beyond a double's range is refused, not thrown past the loader.
    EXPECT_EQ(Refusal(R"({"format": "tarvo-scene", "version": 1, "currentTime": 2e400})"),
              "bad.tscene.json: not valid JSON: number overflow parsing '2e400'");
}

TEST(SceneFileErrors, ValuesOfTheWrongKindOrShape) {
    EXPECT_EQ(Refusal(OneNode(R"("name": 5)")),
              "bad.tscene.json: /nodes/0/name: expected a string, found a number");
    EXPECT_EQ(Refusal(OneNode(R"("object": "helper")")),
              "bad.tscene.json: /nodes/0: \"name\" is missing");
    EXPECT_EQ(
        Refusal(OneNode(R"("name": "A", "object": "sphere")")),
        "bad.tscene.json: /nodes/0/object: unknown object kind \"sphere\" (expected one of none, "
        "mesh, helper, camera, light, shape, target)");
    EXPECT_EQ(Refusal(OneNode(R"("name": "A", "transform": {"position": [1, 2]})")),
              "bad.tscene.json: /nodes/0/transform/position: expected 3 numbers, found 2");
    EXPECT_EQ(
        Refusal(OneNode(R"("name": "A", "transform": {"rotation": [0, 0, 0, 2]})")),
        "bad.tscene.json: /nodes/0/transform/rotation: expected a unit quaternion, its length is "
        "2.000000");
    EXPECT_EQ(Refusal(OneNode(R"("name": "A", "wireColor": [0, 256, 0])")),
              "bad.tscene.json: /nodes/0/wireColor/1: 256 is above 255");
    EXPECT_EQ(Refusal(OneNode(R"("name": "A", "hidden": 1)")),
              "bad.tscene.json: /nodes/0/hidden: expected true or false, found a number");
    EXPECT_EQ(
        Refusal(OneNode(
            R"("name": "A", "object": "mesh", "mesh": {"vertices": [], "faces": [{"v": [0, 1.5, 2]}]})")),
        "bad.tscene.json: /nodes/0/mesh/faces/0/v/1: expected a whole number, found 1.5");
    EXPECT_EQ(Refusal(OneNode(R"("name": "A", "transform": {"position": [1e39, 0, 0]})")),
              "bad.tscene.json: /nodes/0/transform/position/0: 1e+39 does not fit a 32-bit float");
}

TEST(SceneFileErrors, MeshesThatDoNotHoldTogether) {
    EXPECT_EQ(Refusal(OneNode(R"("name": "A", "object": "mesh")")),
              "bad.tscene.json: /nodes/0: a mesh node needs \"mesh\"");
    EXPECT_EQ(Refusal(OneNode(R"("name": "A", "object": "helper", )" + kTriangle)),
              "bad.tscene.json: /nodes/0/mesh: only a node whose object is \"mesh\" has a mesh");
    EXPECT_EQ(
        Refusal(OneNode(
            R"("name": "A", "object": "mesh", "mesh": {"vertices": [[0,0,0]], "faces": [{"v": [0,0,3]}]})")),
        "bad.tscene.json: /nodes/0/mesh/faces/0/v: index 3 is out of range: there are 1 vertices");
    EXPECT_EQ(
        Refusal(OneNode(
            R"("name": "A", "object": "mesh", "mesh": {"vertices": [[0,0,0]], "faces": [{"v": [0,0,0]}],
                  "maps": [{"channel": 1, "vertices": [[0,0]], "faces": []}]})")),
        "bad.tscene.json: /nodes/0/mesh/maps/0/faces: has 0 faces but the mesh has 1");
    EXPECT_EQ(
        Refusal(OneNode(R"("name": "A", "object": "mesh", "mesh": {"vertices": [], "faces": [],
                  "maps": [{"channel": 2, "vertices": [], "faces": []}, {"channel": 2, "vertices": [], "faces": []}]})")),
        "bad.tscene.json: /nodes/0/mesh/maps/1/channel: channel 2 is listed twice");
    EXPECT_EQ(
        Refusal(OneNode(
            R"("name": "A", "object": "mesh", "mesh": {"vertices": [], "faces": [{"v": [0,0,0], "smoothed": 1}]})")),
        "bad.tscene.json: /nodes/0/mesh/faces/0/smoothed: unknown key \"smoothed\"");
}

TEST(SceneFileErrors, SkinBindPoseOfTheWrongShape) {
    const std::string head = R"({"format": "tarvo-scene", "version": 1, "nodes": [
        {"name": "Bone", "object": "helper"}, {"name": "Skin", "object": "mesh", )" +
                             kTriangle + R"(,
         "derived": [{"modifiers": [{"class": "skin", "bones": ["Bone"], "weights": [], )";
    EXPECT_EQ(Refusal(head + R"("initSkinTM": [[1, 0, 0], [0, 1, 0], [0, 0, 1]]}]}]}]})"),
              "bad.tscene.json: /nodes/1/derived/0/modifiers/0/initSkinTM: expected 4 rows, "
              "found 3");
    EXPECT_EQ(Refusal(head + R"("initBoneTMs": [null, null]}]}]}]})"),
              "bad.tscene.json: /nodes/1/derived/0/modifiers/0/initBoneTMs: 2 entries for 1 "
              "bones");
}

TEST(SceneFileErrors, ReferencesThatDoNotResolve) {
    EXPECT_EQ(Refusal(OneNode(R"("name": "A", "material": "Brik")")),
              "bad.tscene.json: /nodes/0/material: no material is named \"Brik\"");
    EXPECT_EQ(Refusal(OneNode(R"("name": "A", "material": 3)")),
              "bad.tscene.json: /nodes/0/material: material index 3 is out of range: there are 0");
    const std::string twins = R"({"format": "tarvo-scene", "version": 1, "nodes": [
        {"name": "Bone", "object": "helper"}, {"name": "Bone", "object": "helper"},
        {"name": "Skin", "object": "mesh", )" +
                              kTriangle + R"(,
         "derived": [{"modifiers": [{"class": "skin", "bones": ["Bone"], "weights": []}]}]}]})";
    EXPECT_EQ(Refusal(twins),
              "bad.tscene.json: /nodes/2/derived/0/modifiers/0/bones/0: 2 nodes are named "
              "\"Bone\"; refer "
              "to one by its index");
    const std::string badWeight = R"({"format": "tarvo-scene", "version": 1, "nodes": [
        {"name": "Bone", "object": "helper", "children": [{"name": "Skin", "object": "mesh", )" +
                                  kTriangle + R"(,
         "derived": [{"modifiers": [{"class": "physique", "bones": [0], "weights": [[[1, 1.0]]]}]}]}]}]})";
    EXPECT_EQ(
        Refusal(badWeight),
        "bad.tscene.json: /nodes/0/children/0/derived/0/modifiers/0/weights/0/0: bone index 1 is "
        "out of range: there are 1 bones in the skin");
    const std::string cycle = R"({"format": "tarvo-scene", "version": 1, "materials": [
        {"name": "A", "class": "multi", "subMaterials": ["B"]},
        {"name": "B", "class": "multi", "subMaterials": [null, "A"]}]})";
    EXPECT_EQ(
        Refusal(cycle),
        "bad.tscene.json: /materials/0/subMaterials: the material contains itself through its "
        "sub-materials");
}

TEST(SceneFileErrors, AnimationMaterialsAndProperties) {
    EXPECT_EQ(
        Refusal(OneNode(
            R"("name": "A", "animation": {"position": [{"time": 5, "value": [0,0,0]}, {"time": 5, "value": [1,1,1]}]})")),
        "bad.tscene.json: /nodes/0/animation/position/1/time: key times must rise: 5 follows 5");
    EXPECT_EQ(
        Refusal(
            R"({"format": "tarvo-scene", "version": 1, "materials": [{"name": "M", "class": "glass"}]})"),
        "bad.tscene.json: /materials/0/class: unknown material class \"glass\" (expected one of "
        "standard, multi, shader, other)");
    EXPECT_EQ(
        Refusal(
            R"({"format": "tarvo-scene", "version": 1, "materials": [{"name": "M", "class": "shader",
                  "paramBlocks": [{"block": 0, "params": [{"name": "P", "type": "matrix", "value": 1}]}]}]})"),
        "bad.tscene.json: /materials/0/paramBlocks/0/params/0/type: unknown parameter type "
        "\"matrix\" "
        "(expected one of float, int, rgba, point3, bool, string, filename, bitmap, point4, frgba, "
        "or "
        "a type code)");
    EXPECT_EQ(
        Refusal(
            R"({"format": "tarvo-scene", "version": 1, "materials": [{"name": "M", "class": "shader",
                  "paramBlocks": [{"block": 0, "params": [{"name": "P", "type": "frgba", "value": [1, 2, 3]}]}]}]})"),
        "bad.tscene.json: /materials/0/paramBlocks/0/params/0/value: expected 4 numbers, found 3");
    EXPECT_EQ(
        Refusal(R"({"format": "tarvo-scene", "version": 1, "fileProperties": [{"value": "x"}]})"),
        "bad.tscene.json: /fileProperties/0: a property needs a \"name\" or an \"id\"");
    EXPECT_EQ(
        Refusal(
            R"({"format": "tarvo-scene", "version": 1, "fileProperties": [{"name": "N", "value": 1.5}]})"),
        "bad.tscene.json: /fileProperties/0/value: expected a string or a whole number, found a "
        "number");
}

TEST(SceneFileErrors, FileThatCannotBeReadIsNamed) {
    try {
        scenefile::LoadSceneFile("/no/such/dir/scene.tscene.json");
        FAIL() << "loaded a missing file";
    } catch (const scenefile::SceneFileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "/no/such/dir/scene.tscene.json: cannot be read: No such file or directory");
        EXPECT_EQ(e.Path(), "");
    }
}

TEST(SceneFileErrors, DirectoryIsNotAScene) {
    try {
        scenefile::LoadSceneFile("/tmp");
        FAIL() << "loaded a directory";
    } catch (const scenefile::SceneFileError& e) {
        EXPECT_EQ(std::string(e.what()), "/tmp: cannot be read: it is a directory");
    }
}

TEST(SceneFileErrors, ErrorCarriesFilePathAndProblemSeparately) {
    try {
        scenefile::ParseScene(OneNode(R"("name": "A", "hidden": "yes")"), "x.tscene.json");
        FAIL() << "accepted";
    } catch (const scenefile::SceneFileError& e) {
        EXPECT_EQ(e.File(), "x.tscene.json");
        EXPECT_EQ(e.Path(), "/nodes/0/hidden");
        EXPECT_EQ(e.Problem(), "expected true or false, found a string");
    }
}

// Whatever the loader accepts, the host can build and walk: changing whole numbers of the
// sample at random (indices, channels, slots, times) gives either a scene error or a scene
// that HostScene, IGame and every mesh accept.
TEST(SceneFileErrors, RandomlyChangedNumbersNeverGetPastTheLoaderBroken) {
    std::ifstream in(std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json");
    std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::pair<std::size_t, std::size_t>> integers;  // offset, length
    for (std::size_t i = 0; i < original.size();) {
        bool starts = std::isdigit(static_cast<unsigned char>(original[i])) &&
                      (i == 0 || std::strchr("[ ,:", original[i - 1]));
        std::size_t end = i;
        while (end < original.size() && std::isdigit(static_cast<unsigned char>(original[end])))
            ++end;
        if (starts && end < original.size() && original[end] != '.')
            integers.push_back({i, end - i});
        i = std::max(end, i + 1);
    }
    ASSERT_GT(integers.size(), 100u);

    std::mt19937 rng(99);
    const char* replacements[] = {
        "0",  "1",  "2",  "3",   "5",     "7",     "8",          "11",         "12",         "40",
        "-1", "-2", "99", "100", "65535", "65536", "4294967295", "4294967296", "-2147483648"};
    int accepted = 0, refused = 0;
    for (int round = 0; round < 400; ++round) {
        std::string text = original;
        // Change from the back so earlier offsets stay valid.
        std::vector<std::size_t> picks;
        for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n)
            picks.push_back(rng() % integers.size());
        std::sort(picks.rbegin(), picks.rend());
        for (std::size_t pick : picks)
            text.replace(integers[pick].first, integers[pick].second,
                         replacements[rng() % std::size(replacements)]);
        try {
            scene::SceneData data = scenefile::ParseScene(text, "mutated.tscene.json");
            HostScene host(std::move(data));
            host.IGame()->InitialiseIGame();
            for (int i = 0; i < host.IGame()->GetTotalNodeCount(); ++i) {
                IGameNode* node = host.IGame()->GetIGameNode(host.Node(i));
                IGameObject* object = node->GetIGameObject();
                object->InitializeData();
                if (IGameSkin* skin = object->GetIGameSkin()) {
                    for (int v = 0; v < skin->GetNumOfSkinnedVerts(); ++v)
                        for (int b = 0; b < skin->GetNumberOfBones(v); ++b)
                            ASSERT_NE(skin->GetBone(v, b), nullptr);
                }
            }
            ++accepted;
        } catch (const scenefile::SceneFileError&) {
            ++refused;
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}
