// The exporter's vertex builder against the literal rules on many random meshes: the same
// vertices (bit for bit), faces, used flags, chain links and "Optimized" lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "ReferenceVertexBuilder.h"
#include "mesh/Mesh.h"

namespace {

struct Corner {
    std::uint32_t host;
    MeshVertex record;
    std::vector<ExtraUv> extras;
};

// Random meshes built to collide: host positions and corner attributes drawn from small
// pools (with -0.0 beside 0.0 and the odd NaN), unused host vertices, ids per face, and
// now and then a corner with fewer extra channels than the rest.
class RandomMesh {
  public:
    explicit RandomMesh(std::uint32_t seed) : m_random(seed) {
        hostCount = Pick(1, 40);
        faceCount = Pick(0, Pick(0, 1) ? 200 : 30);
        extraChannels = static_cast<std::uint32_t>(Pick(0, 3));
        usedHosts = Pick(1, hostCount);
        nanRate = Pick(0, 2) == 0 ? 0.02 : 0.0;
        for (int i = 0; i < 3; ++i) m_places.push_back({Value(), Value(), Value()});
        for (int h = 0; h < hostCount; ++h)
            positions.push_back(m_places[static_cast<std::size_t>(Pick(0, 2))]);
        for (int i = 0; i < 3; ++i) m_variants.push_back(Variant());
    }

    int hostCount, faceCount, usedHosts;
    std::uint32_t extraChannels;
    double nanRate;
    std::vector<std::array<float, 3>> positions;

    std::array<Corner, 3> Face() {
        std::array<Corner, 3> corners;
        auto materialId = static_cast<std::uint32_t>(Pick(0, 1));
        auto smoothingGroup = static_cast<std::uint32_t>(Pick(0, 1)) * 4;
        for (Corner& corner : corners) {
            corner = m_variants[static_cast<std::size_t>(Pick(0, 2))];
            corner.host = static_cast<std::uint32_t>(Pick(0, usedHosts - 1));
            MeshVertex& r = corner.record;
            std::memcpy(r.position, positions[corner.host].data(), sizeof r.position);
            if (Pick(0, 19) == 0) r.position[Pick(0, 2)] = Value();  // a corner that moved
            r.materialId = materialId, r.smoothingGroup = smoothingGroup;
            if (Pick(0, 19) == 0)
                corner.extras.resize(
                    static_cast<std::size_t>(Pick(0, static_cast<int>(extraChannels))));
        }
        return corners;
    }

  private:
    Corner Variant() {
        Corner corner;
        MeshVertex& r = corner.record;
        r.uvw[0] = Value(), r.uvw[1] = Value();
        r.color[0] = Value(), r.color[2] = Value();
        r.alpha = Value();
        for (std::uint32_t j = 0; j < extraChannels; ++j)
            corner.extras.push_back({Value(), Value()});
        return corner;
    }
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    float Value() {
        if (nanRate > 0 && std::bernoulli_distribution(nanRate)(m_random)) return NAN;
        static const float kValues[] = {0.0f, -0.0f, 1.0f, 0.5f};
        return kValues[Pick(0, 3)];
    }
    std::mt19937 m_random;
    std::vector<std::array<float, 3>> m_places;
    std::vector<Corner> m_variants;
};

reference::Record ToReference(const Corner& corner) {
    reference::Record r;
    std::memcpy(r.position, corner.record.position, sizeof r.position);
    std::memcpy(r.uvw, corner.record.uvw, sizeof r.uvw);
    std::memcpy(r.color, corner.record.color, sizeof r.color);
    r.alpha = corner.record.alpha;
    r.materialId = corner.record.materialId;
    r.smoothingGroup = corner.record.smoothingGroup;
    for (const ExtraUv& e : corner.extras) r.extraUvs.push_back({e.u, e.v, 0.0f});
    return r;
}

bool SameBits(const float* a, const float* b, std::size_t n) {
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}

void ExpectSameVertex(const VertexBuilder& fast, std::size_t i, const reference::Record& r) {
    const MeshVertex& v = fast.vertices[i];
    EXPECT_TRUE(SameBits(v.position, r.position, 3)) << i;
    EXPECT_TRUE(SameBits(v.uvw, r.uvw, 3)) << i;
    EXPECT_TRUE(SameBits(v.color, r.color, 3)) << i;
    EXPECT_TRUE(SameBits(&v.alpha, &r.alpha, 1)) << i;
    EXPECT_EQ(v.materialId, r.materialId) << i;
    EXPECT_EQ(v.smoothingGroup, r.smoothingGroup) << i;
    EXPECT_EQ(v.next, r.next) << i;
    auto extras = fast.ExtrasOf(i);
    ASSERT_EQ(extras.size(), r.extraUvs.size()) << i;
    for (std::size_t j = 0; j < extras.size(); ++j) {
        EXPECT_TRUE(SameBits(&extras[j].u, &r.extraUvs[j][0], 1)) << i;
        EXPECT_TRUE(SameBits(&extras[j].v, &r.extraUvs[j][1], 1)) << i;
    }
}

struct Outcome {
    std::size_t vertices = 0;
    std::size_t lines = 0;
};

Outcome CompareOne(std::uint32_t seed, int optMesh) {
    RandomMesh mesh(seed);
    VertexBuilder fast =
        CreateVertexBuilder(mesh.hostCount, mesh.faceCount, optMesh != 0, mesh.extraChannels);
    reference::Builder literal = reference::Create(mesh.hostCount, mesh.faceCount, optMesh != 0);
    for (int f = 0; f < mesh.faceCount; ++f) {
        auto corners = mesh.Face();
        FaceIndices& face = fast.faces.emplace_back();
        for (std::size_t k = 0; k < 3; ++k) {
            const Corner& c = corners[k];
            std::uint32_t expected = reference::AddVertex(literal, c.host, ToReference(c));
            OutputVertex got = AddVertex(fast, HostVertex(c.host), c.record, c.extras);
            face[k] = got.value;
            literal.faces[static_cast<std::size_t>(f)][k] = expected;
            EXPECT_EQ(got.value, expected) << "seed " << seed << " face " << f;
        }
    }
    ClearUnusedSlots(fast);
    std::string printed;
    if (optMesh > 1) {
        SetDebugPrintSink([&printed](const std::string& text) { printed += text; });
        OptimiseVertices(fast);
        SetDebugPrintSink(nullptr);
        reference::OptimiseVertices(literal);
    }
    std::string expectedLines;
    for (const auto& line : literal.lines) expectedLines += line;
    EXPECT_EQ(printed, expectedLines) << "seed " << seed;
    EXPECT_EQ(fast.faces, literal.faces) << "seed " << seed;
    EXPECT_EQ(fast.used, std::vector<std::uint8_t>(literal.used.begin(), literal.used.end()))
        << "seed " << seed;
    EXPECT_EQ(fast.vertices.size(), literal.vertices.size()) << "seed " << seed;
    for (std::size_t i = 0; i < std::min(fast.vertices.size(), literal.vertices.size()); ++i)
        ExpectSameVertex(fast, i, literal.vertices[i]);
    return {literal.vertices.size(), literal.lines.size()};
}

TEST(ReferenceComparison, TheFastBuilderMatchesTheLiteralRulesOnRandomMeshes) {
    std::size_t merges = 0, lines = 0;
    for (std::uint32_t seed = 1; seed <= 3000; ++seed) {
        int optMesh = static_cast<int>(seed % 3);
        Outcome outcome = CompareOne(seed, optMesh);
        if (optMesh == 2) lines += outcome.lines, merges += outcome.lines > 0;
        if (HasFailure()) FAIL() << "first difference at seed " << seed;
    }
    // The meshes are built to collide: the scan had plenty to merge.
    EXPECT_GT(merges, 500u);
    EXPECT_GT(lines, 20000u);
}

}  // namespace

namespace {

// The normal list searched from the start, as the rule is written.
std::uint32_t LiteralAddUniqueNormal(std::vector<Point3>& list, const Point3& n, bool dedupe) {
    if (dedupe) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].x == n.x && list[i].y == n.y && list[i].z == n.z)
                return static_cast<std::uint32_t>(i);
    }
    list.push_back(n);
    return static_cast<std::uint32_t>(list.size() - 1);
}

TEST(ReferenceComparison, TheNormalListMatchesTheLiteralSearch) {
    std::mt19937 random(7);
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, NAN};
    std::size_t shared = 0;
    for (int mesh = 0; mesh < 300; ++mesh) {
        NormalList fast;
        fast.dedupe = mesh % 4 != 0;
        std::vector<Point3> literal;
        for (int corner = 0; corner < 300; ++corner) {
            auto pick = [&] { return values[std::uniform_int_distribution<int>(0, 5)(random)]; };
            Point3 n(pick(), pick(), pick());
            std::uint32_t expected = LiteralAddUniqueNormal(literal, n, fast.dedupe);
            ASSERT_EQ(AddUniqueNormal(fast, n), expected)
                << "mesh " << mesh << " corner " << corner;
            shared += expected + 1 < literal.size();
        }
        ASSERT_EQ(fast.normals.size(), literal.size());
        EXPECT_EQ(std::memcmp(fast.normals.data(), literal.data(), literal.size() * sizeof(Point3)),
                  0);
    }
    EXPECT_GT(shared, 10000u);  // most corners found an earlier entry
}

}  // namespace
