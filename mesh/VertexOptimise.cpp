// "Optimized" vertex sharing: equal appended records of different host vertices become one.
//
// The rule is a pairwise scan from the top: each appended record b above slotCount, from
// the last down, is compared with every record a below it (down to slotCount + 1); on a
// match the faces of b move to a, a line is written, and b is removed once a match moved
// its faces. Equality is an equivalence on records without NaN, so every class of equal
// records ends up in its lowest member, and the lines are the pairs of each class, b
// descending, a descending. This file reaches that result with one hash pass.
#include <cstdio>

#include "mesh/Mesh.h"

namespace {

constexpr std::uint32_t kNoEarlier = 0xFFFFFFFFu;

struct EqualClasses {
    std::vector<std::uint32_t> earlier;  // per candidate: the next lower equal record
    std::vector<std::uint32_t> lowest;   // per candidate: the lowest equal record
};

// Candidates are the records from slotCount + 1 to the end.
EqualClasses FindEqualClasses(const VertexBuilder& builder, std::size_t first) {
    std::size_t count = builder.vertices.size() - first;
    EqualClasses classes{std::vector<std::uint32_t>(count, kNoEarlier),
                         std::vector<std::uint32_t>(count)};
    std::vector<std::uint32_t> latest(count);  // per class head: its highest member so far
    FirstEqualIndex heads;
    heads.Reserve(count);
    for (std::size_t i = first; i < builder.vertices.size(); ++i) {
        auto vertex = static_cast<std::uint32_t>(i);
        classes.lowest[i - first] = vertex;
        std::uint64_t hash = 0;
        if (!HashRecord(builder.vertices[i], builder.ExtrasOf(i), hash)) continue;
        std::uint32_t head = heads.Find(hash, [&](std::uint32_t other) {
            return RecordsEqual(builder.vertices[other], builder.ExtrasOf(other),
                                builder.vertices[i], builder.ExtrasOf(i));
        });
        if (head == FirstEqualIndex::kNone) {
            heads.Insert(hash, vertex);
            latest[i - first] = vertex;
            continue;
        }
        classes.lowest[i - first] = head;
        classes.earlier[i - first] = latest[head - first];
        latest[head - first] = vertex;
    }
    return classes;
}

void PrintMerges(const EqualClasses& classes, std::size_t first) {
    for (std::size_t b = first + classes.earlier.size(); b-- > first;) {
        for (std::uint32_t a = classes.earlier[b - first]; a != kNoEarlier;
             a = classes.earlier[a - first])
            DebugPrint("Optimized: vert %ld, with vert %ld\n", static_cast<long>(b),
                       static_cast<long>(a));
    }
}

// New index of every record: survivors close up, merged records take their class's.
std::vector<std::uint32_t> Renumber(const EqualClasses& classes, std::size_t first) {
    std::vector<std::uint32_t> renumbered(first + classes.lowest.size());
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < renumbered.size(); ++i) {
        bool merged = i >= first && classes.lowest[i - first] != i;
        renumbered[i] = merged ? renumbered[classes.lowest[i - first]] : next++;
    }
    return renumbered;
}

void CloseUp(VertexBuilder& builder, const std::vector<std::uint32_t>& renumbered) {
    std::size_t stride = builder.extraStride;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < builder.vertices.size(); ++i) {
        if (renumbered[i] != kept) continue;  // merged into a lower record
        if (kept != i) {
            builder.vertices[kept] = builder.vertices[i];
            std::copy_n(builder.extraUvs.begin() + static_cast<std::ptrdiff_t>(i * stride), stride,
                        builder.extraUvs.begin() + static_cast<std::ptrdiff_t>(kept * stride));
            if (builder.withWeights) builder.weights[kept] = builder.weights[i];
        }
        ++kept;
    }
    builder.vertices.resize(kept);
    builder.extraUvs.resize(kept * stride);
    if (builder.withWeights) builder.weights.resize(kept);
}

}  // namespace

void OptimiseVertices(VertexBuilder& builder) {
    std::size_t first = static_cast<std::size_t>(builder.slotCount) + 1;
    if (builder.vertices.size() <= first + 1) return;  // fewer than two candidates
    EqualClasses classes = FindEqualClasses(builder, first);
    PrintMerges(classes, first);
    std::vector<std::uint32_t> renumbered = Renumber(classes, first);
    for (FaceIndices& face : builder.faces)
        for (std::uint32_t& index : face) index = renumbered[index];
    CloseUp(builder, renumbered);
}
