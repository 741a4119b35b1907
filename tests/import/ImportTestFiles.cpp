#include "tests/import/ImportTestFiles.h"

#include <cstring>
#include <fstream>

namespace tarvo::importtest {

namespace {

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t a = bytes[i];
        const std::uint32_t b = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const std::uint32_t c = i + 2 < bytes.size() ? bytes[i + 2] : 0;
        const std::uint32_t group = (a << 16) | (b << 8) | c;
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return out;
}

void AppendFloats(std::vector<std::uint8_t>& out, std::initializer_list<float> values) {
    for (float v : values) {
        std::uint8_t bytes[4];
        std::memcpy(bytes, &v, 4);
        out.insert(out.end(), bytes, bytes + 4);
    }
}

void AppendLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> TinyBmp() {
    constexpr std::uint32_t kHeaderSize = 54, kRowSize = 8, kRows = 2;
    std::vector<std::uint8_t> bmp{'B', 'M'};
    AppendLittleEndian(bmp, kHeaderSize + kRowSize * kRows, 4);
    AppendLittleEndian(bmp, 0, 4);
    AppendLittleEndian(bmp, kHeaderSize, 4);
    AppendLittleEndian(bmp, 40, 4);  // the info header's size
    AppendLittleEndian(bmp, 2, 4);   // width
    AppendLittleEndian(bmp, 2, 4);   // height
    AppendLittleEndian(bmp, 1, 2);   // planes
    AppendLittleEndian(bmp, 24, 2);  // bits per pixel
    for (int i = 0; i < 6; ++i) AppendLittleEndian(bmp, 0, 4);
    // Bottom row first, blue-green-red, each row padded to four bytes.
    bmp.insert(bmp.end(), {0, 0, 255, 0, 255, 0, 0, 0});
    bmp.insert(bmp.end(), {255, 0, 0, 255, 255, 255, 0, 0});
    return bmp;
}

fs::path WriteTwoMaterialObj(const fs::path& dir) {
    WriteText(dir / "two.mtl",
              "newmtl Red\nKd 1 0 0\nKs 0.5 0.5 0.5\nNs 16\nmap_Kd brick.png\n"
              "newmtl Blue\nKd 0 0 1\nd 0.5\n");
    WriteText(dir / "two.obj",
              "mtllib two.mtl\no Box\n"
              "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\n"
              "vt 0 0\nvt 1 0\nvt 1 1\n"
              "usemtl Red\nf 1/1 2/2 3/3\nf 1/1 3/3 4/1\n"
              "usemtl Blue\nf 1/1 2/2 5/3\nl 1 5\n");
    return dir / "two.obj";
}

fs::path WriteColladaHierarchy(const fs::path& dir) {
    const std::string triangle = R"(<instance_geometry url="#tri"/>)";
    WriteText(dir / "tree.dae", R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="meter" meter="1"/><up_axis>Y_UP</up_axis></asset>
  <library_geometries>
    <geometry id="tri" name="tri"><mesh>
      <source id="tri-pos">
        <float_array id="tri-pos-array" count="9">0 0 0 1 0 0 0 1 0</float_array>
        <technique_common><accessor source="#tri-pos-array" count="3" stride="3">
          <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
        </accessor></technique_common>
      </source>
      <vertices id="tri-vtx"><input semantic="POSITION" source="#tri-pos"/></vertices>
      <triangles count="1"><input semantic="VERTEX" source="#tri-vtx" offset="0"/><p>0 1 2</p></triangles>
    </mesh></geometry>
  </library_geometries>
  <library_visual_scenes>
    <visual_scene id="Scene" name="Scene">
      <node id="Parent" name="Parent">
        <translate>1 2 3</translate><rotate>0 1 0 90</rotate>)" +
                                    triangle + R"(
        <node id="Child" name="Child">
          <translate>0 0 5</translate><scale>2 2 2</scale>)" +
                                    triangle + R"(
        </node>
      </node>
      <node id="Parent2" name="Parent"><translate>0 -4 0</translate>)" +
                                    triangle + R"(</node>
    </visual_scene>
  </library_visual_scenes>
  <scene><instance_visual_scene url="#Scene"/></scene>
</COLLADA>
)");
    return dir / "tree.dae";
}

fs::path WriteGltf(const fs::path& dir) {
    std::vector<std::uint8_t> buffer;
    AppendFloats(buffer, {0, 0, 0, 1, 0, 0, 0, 1, 0});                  // positions, 0
    AppendFloats(buffer, {0, 0, 1, 0, 0, 1, 0, 0, 1});                  // normals, 36
    AppendFloats(buffer, {0, 0, 1, 0, 0, 1});                           // UV set 0, 72
    AppendFloats(buffer, {0.25f, 0.5f, 0.75f, 0.5f, 0.25f, 1});         // UV set 1, 96
    AppendFloats(buffer, {1, 0, 0, 1, 0, 1, 0, 0.5f, 0, 0, 1, 0.25f});  // colours, 120
    const std::string json = R"({
  "asset": {"version": "2.0"},
  "extensionsUsed": ["KHR_lights_punctual"],
  "extensions": {"KHR_lights_punctual": {"lights": [{"type": "point", "color": [1, 1, 1], "intensity": 2}]}},
  "scene": 0,
  "scenes": [{"nodes": [0, 1, 2, 3]}],
  "nodes": [
    {"name": "Tri", "mesh": 0, "translation": [1, 2, 3]},
    {"name": "Cam", "camera": 0, "translation": [0, 0, 10]},
    {"name": "Lamp", "extensions": {"KHR_lights_punctual": {"light": 0}}},
    {"name": "Dots", "mesh": 1}
  ],
  "cameras": [{"type": "perspective", "perspective": {"yfov": 0.8, "znear": 0.1, "zfar": 100}}],
  "meshes": [
    {"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1, "TEXCOORD_0": 2, "TEXCOORD_1": 3, "COLOR_0": 4}, "material": 0}]},
    {"primitives": [{"attributes": {"POSITION": 0}, "mode": 0}]}
  ],
  "materials": [{"name": "Painted", "pbrMetallicRoughness": {"baseColorFactor": [0.8, 0.6, 0.4, 1], "baseColorTexture": {"index": 0}}}],
  "textures": [{"source": 0}],
  "images": [{"uri": "data:image/png;base64,)" +
                             Base64(TinyBmp()) + R"("}],
  "buffers": [{"byteLength": )" +
                             std::to_string(buffer.size()) +
                             R"(, "uri": "data:application/octet-stream;base64,)" + Base64(buffer) +
                             R"("}],
  "bufferViews": [
    {"buffer": 0, "byteOffset": 0, "byteLength": 36},
    {"buffer": 0, "byteOffset": 36, "byteLength": 36},
    {"buffer": 0, "byteOffset": 72, "byteLength": 24},
    {"buffer": 0, "byteOffset": 96, "byteLength": 24},
    {"buffer": 0, "byteOffset": 120, "byteLength": 48}
  ],
  "accessors": [
    {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]},
    {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC3"},
    {"bufferView": 2, "componentType": 5126, "count": 3, "type": "VEC2"},
    {"bufferView": 3, "componentType": 5126, "count": 3, "type": "VEC2"},
    {"bufferView": 4, "componentType": 5126, "count": 3, "type": "VEC4"}
  ]
})";
    WriteText(dir / "tri.gltf", json);
    return dir / "tri.gltf";
}

}  // namespace tarvo::importtest
