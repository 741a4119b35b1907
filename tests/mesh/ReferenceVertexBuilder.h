// The sharing rules written out literally, for tests only: records that own their extra
// channel list, a chain walk per corner, and the pairwise scan of "Optimized" that rewrites
// the faces on every match and every removal. Quadratic; the exporter's builder must give
// the same vertices, faces and lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace reference {

struct Record {
    float position[3] = {0, 0, 0};
    float uvw[3] = {0, 0, 0};
    float color[3] = {0, 0, 0};
    float alpha = 0;
    std::uint32_t materialId = 0;
    std::uint32_t smoothingGroup = 0;
    std::uint32_t next = 0;
    std::vector<std::array<float, 3>> extraUvs;
};

bool Equal(const Record& a, const Record& b);

struct Builder {
    std::int32_t slotCount = 0;
    bool keyed = false;
    std::int32_t nextSequential = 0;
    std::vector<Record> vertices;
    std::vector<std::array<std::uint32_t, 3>> faces;
    std::vector<std::int32_t> used;
    std::vector<std::string> lines;  // what the scan writes
};

Builder Create(std::int32_t hostVertexCount, std::int32_t faceCount, bool keyed);
std::uint32_t AddVertex(Builder& builder, std::uint32_t host, const Record& record);
void OptimiseVertices(Builder& builder);

}  // namespace reference
