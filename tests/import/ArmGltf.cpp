#include "tests/import/ArmGltf.h"

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace tarvo::importtest {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kRings = 3;
constexpr int kSides = 4;
constexpr float kRingSpacing = 2.0f;

std::string Base64(const Bytes& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) |
                                    (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                                    (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return out;
}

void Floats(Bytes& out, std::initializer_list<float> values) {
    for (float v : values) {
        std::uint8_t b[4];
        std::memcpy(b, &v, 4);
        out.insert(out.end(), b, b + 4);
    }
}

void BigEndian(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void Chunk(Bytes& png, const char* type, const Bytes& data) {
    BigEndian(png, static_cast<std::uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    BigEndian(png,
              static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// A 2 × 2 RGB PNG: red, green / blue, white.
Bytes TinyPng() {
    const Bytes rows = {0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255};  // filter 0 each
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    Bytes packed(packedSize);
    compress(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()));
    packed.resize(packedSize);
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    BigEndian(header, 2);
    BigEndian(header, 2);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", packed);
    Chunk(png, "IEND", {});
    return png;
}

// Where each part of the buffer begins, in bytes; each part follows the one before.
struct Layout {
    std::size_t positions = 0, uvs = 0, joints = 0, weights = 0, indices = 0, inverseBinds = 0,
                waveTimes = 0, waveTurns = 0, liftTimes = 0, liftMoves = 0, liftTurns = 0, end = 0;
};

std::string View(std::size_t offset, std::size_t length) {
    return R"({"buffer": 0, "byteOffset": )" + std::to_string(offset) + R"(, "byteLength": )" +
           std::to_string(length) + "}";
}

Bytes ArmBuffer(Layout& at) {
    Bytes b;
    at.positions = b.size();
    for (int v = 0; v < kArmVertices; ++v) {
        const auto p = ArmVertex(v);
        Floats(b, {p[0], p[1], p[2]});
    }
    at.uvs = b.size();
    for (int v = 0; v < kArmVertices; ++v)
        Floats(b, {static_cast<float>(v % 2), static_cast<float>(v / kSides) / (kRings - 1)});
    at.joints = b.size();
    const std::uint8_t joints[kRings][4] = {{0, 0, 0, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}};
    const float weights[kRings][4] = {{1, 0, 0, 0}, {0.5f, 0.5f, 0, 0}, {1, 0, 0, 0}};
    for (int v = 0; v < kArmVertices; ++v)
        b.insert(b.end(), joints[v / kSides], joints[v / kSides] + 4);
    at.weights = b.size();
    for (int v = 0; v < kArmVertices; ++v) {
        const float* w = weights[v / kSides];
        Floats(b, {w[0], w[1], w[2], w[3]});
    }
    at.indices = b.size();
    for (int ring = 0; ring + 1 < kRings; ++ring)
        for (int side = 0; side < kSides; ++side) {
            const auto a = static_cast<std::uint16_t>(ring * kSides + side);
            const auto n = static_cast<std::uint16_t>(ring * kSides + (side + 1) % kSides);
            for (std::uint16_t i : {a, n, std::uint16_t(n + kSides), a, std::uint16_t(n + kSides),
                                    std::uint16_t(a + kSides)}) {
                b.push_back(static_cast<std::uint8_t>(i & 0xFF));
                b.push_back(static_cast<std::uint8_t>(i >> 8));
            }
        }
    at.inverseBinds = b.size();
    Floats(b, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});   // UpperArm bound at the origin
    Floats(b, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -2, 0, 1});  // LowerArm bound 2 up, straight
    const float s45 = std::sin(std::numbers::pi_v<float> / 4);
    const float s22 = std::sin(std::numbers::pi_v<float> / 8),
                c22 = std::cos(std::numbers::pi_v<float> / 8);
    at.waveTimes = b.size();
    Floats(b, {0, 1, 2});
    at.waveTurns = b.size();
    Floats(b, {0, 0, s22, c22, 0, 0, s45, s45, 0, 0, s22, c22});
    at.liftTimes = b.size();
    Floats(b, {0, 0.5f});
    at.liftMoves = b.size();
    Floats(b, {0, 0, 0, 0, 1, 0});
    at.liftTurns = b.size();
    Floats(b, {0, 0, 0, 1, s22, 0, 0, c22});
    at.end = b.size();
    return b;
}

}  // namespace

std::array<float, 3> ArmVertex(int vertex) {
    const int side = vertex % kSides;
    const float x = side == 1 || side == 2 ? kArmHalfWidth : -kArmHalfWidth;
    const float z = side >= 2 ? kArmHalfWidth : -kArmHalfWidth;
    return {x, static_cast<float>(vertex / kSides) * kRingSpacing, z};
}

std::string ArmGltfText() {
    Layout at;
    const Bytes buffer = ArmBuffer(at);
    const float half = kArmLowerArmRestDegrees / 2 * std::numbers::pi_v<float> / 180;
    const std::string restTurn =
        "[0, 0, " + std::to_string(std::sin(half)) + ", " + std::to_string(std::cos(half)) + "]";
    return R"({
  "asset": {"version": "2.0", "generator": "Tarvo DirectX import tests"},
  "scene": 0,
  "scenes": [{"nodes": [0, 1]}],
  "nodes": [
    {"name": "Arm", "mesh": 0, "skin": 0},
    {"name": "UpperArm", "children": [2]},
    {"name": "LowerArm", "translation": [0, 2, 0], "rotation": )" +
           restTurn + R"(}
  ],
  "skins": [{"joints": [1, 2], "inverseBindMatrices": 5, "skeleton": 1}],
  "meshes": [{"name": "Arm", "primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1, "JOINTS_0": 2, "WEIGHTS_0": 3}, "indices": 4, "material": 0}]}],
  "materials": [{"name": "ArmSkin", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}}}],
  "textures": [{"source": 0}],
  "images": [{"uri": "data:image/png;base64,)" +
           Base64(TinyPng()) + R"("}],
  "animations": [
    {"name": "Wave", "samplers": [{"input": 6, "output": 7}],
     "channels": [{"sampler": 0, "target": {"node": 2, "path": "rotation"}}]},
    {"name": "Lift", "samplers": [{"input": 8, "output": 9}, {"input": 8, "output": 10}],
     "channels": [{"sampler": 0, "target": {"node": 1, "path": "translation"}},
                  {"sampler": 1, "target": {"node": 1, "path": "rotation"}}]}
  ],
  "buffers": [{"byteLength": )" +
           std::to_string(buffer.size()) + R"(, "uri": "data:application/octet-stream;base64,)" +
           Base64(buffer) + R"("}],
  "bufferViews": [
    )" + View(at.positions, at.uvs - at.positions) +
           ",\n    " + View(at.uvs, at.joints - at.uvs) + ",\n    " +
           View(at.joints, at.weights - at.joints) + ",\n    " +
           View(at.weights, at.indices - at.weights) + ",\n    " +
           View(at.indices, at.inverseBinds - at.indices) + ",\n    " +
           View(at.inverseBinds, at.waveTimes - at.inverseBinds) + ",\n    " +
           View(at.waveTimes, at.waveTurns - at.waveTimes) + ",\n    " +
           View(at.waveTurns, at.liftTimes - at.waveTurns) + ",\n    " +
           View(at.liftTimes, at.liftMoves - at.liftTimes) + ",\n    " +
           View(at.liftMoves, at.liftTurns - at.liftMoves) + ",\n    " +
           View(at.liftTurns, at.end - at.liftTurns) + R"(
  ],
  "accessors": [
    {"bufferView": 0, "componentType": 5126, "count": 12, "type": "VEC3", "min": [-0.25, 0, -0.25], "max": [0.25, 4, 0.25]},
    {"bufferView": 1, "componentType": 5126, "count": 12, "type": "VEC2"},
    {"bufferView": 2, "componentType": 5121, "count": 12, "type": "VEC4"},
    {"bufferView": 3, "componentType": 5126, "count": 12, "type": "VEC4"},
    {"bufferView": 4, "componentType": 5123, "count": 48, "type": "SCALAR"},
    {"bufferView": 5, "componentType": 5126, "count": 2, "type": "MAT4"},
    {"bufferView": 6, "componentType": 5126, "count": 3, "type": "SCALAR", "min": [0], "max": [2]},
    {"bufferView": 7, "componentType": 5126, "count": 3, "type": "VEC4"},
    {"bufferView": 8, "componentType": 5126, "count": 2, "type": "SCALAR", "min": [0], "max": [0.5]},
    {"bufferView": 9, "componentType": 5126, "count": 2, "type": "VEC3"},
    {"bufferView": 10, "componentType": 5126, "count": 2, "type": "VEC4"}
  ]
}
)";
}

}  // namespace tarvo::importtest
