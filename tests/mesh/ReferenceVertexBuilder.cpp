#include "ReferenceVertexBuilder.h"

#include <cstdio>

namespace reference {

namespace {

bool Floats(const float* a, const float* b, int n) {
    for (int i = 0; i < n; ++i)
        if (!(a[i] == b[i])) return false;
    return true;
}

}  // namespace

bool Equal(const Record& a, const Record& b) {
    if (!Floats(a.position, b.position, 3) || !Floats(a.uvw, b.uvw, 3) ||
        !Floats(a.color, b.color, 3))
        return false;
    if (!(a.alpha == b.alpha) || a.materialId != b.materialId ||
        a.smoothingGroup != b.smoothingGroup)
        return false;
    if (a.extraUvs.size() != b.extraUvs.size()) return false;
    for (std::size_t i = 0; i < a.extraUvs.size(); ++i)
        if (!Floats(a.extraUvs[i].data(), b.extraUvs[i].data(), 3)) return false;
    return true;
}

Builder Create(std::int32_t hostVertexCount, std::int32_t faceCount, bool keyed) {
    Builder builder;
    builder.keyed = keyed;
    builder.slotCount = keyed ? hostVertexCount : 3 * faceCount;
    builder.vertices.assign(static_cast<std::size_t>(builder.slotCount), Record{});
    builder.faces.assign(static_cast<std::size_t>(faceCount), {0, 0, 0});
    builder.used.assign(static_cast<std::size_t>(builder.slotCount), 0);
    return builder;
}

std::uint32_t AddVertex(Builder& builder, std::uint32_t host, const Record& record) {
    if (!builder.keyed) {
        auto slot = static_cast<std::uint32_t>(builder.nextSequential++);
        builder.vertices[slot] = record;
        builder.vertices[slot].next = 0;
        builder.used[slot] = 1;
        return slot;
    }
    if (builder.used[host] == 0) {
        builder.vertices[host] = record;
        builder.vertices[host].next = 0;
        builder.used[host] = 1;
        return host;
    }
    std::uint32_t i = host;
    while (true) {
        if (Equal(builder.vertices[i], record)) return i;
        if (builder.vertices[i].next == 0) break;
        i = builder.vertices[i].next;
    }
    auto j = static_cast<std::uint32_t>(builder.vertices.size());
    builder.vertices.push_back(record);
    builder.vertices.back().next = 0;
    builder.vertices[i].next = j;
    return j;
}

void OptimiseVertices(Builder& builder) {
    auto low = static_cast<std::int64_t>(builder.slotCount) + 1;
    for (auto b = static_cast<std::int64_t>(builder.vertices.size()) - 1; b >= low; --b) {
        bool replaced = false;
        for (std::int64_t a = b - 1; a >= low; --a) {
            if (!Equal(builder.vertices[static_cast<std::size_t>(a)],
                       builder.vertices[static_cast<std::size_t>(b)]))
                continue;
            for (auto& face : builder.faces)
                for (auto& index : face)
                    if (index == b) index = static_cast<std::uint32_t>(a), replaced = true;
            char line[96];
            std::snprintf(line, sizeof line, "Optimized: vert %ld, with vert %ld\n",
                          static_cast<long>(b), static_cast<long>(a));
            builder.lines.push_back(line);
        }
        if (!replaced) continue;
        builder.vertices.erase(builder.vertices.begin() + b);
        for (auto& face : builder.faces)
            for (auto& index : face)
                if (index > b) --index;
    }
}

}  // namespace reference
