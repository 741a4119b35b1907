// A Mesh's faces in a payload: written as whole records, and measured with records of one
// count stepped over in runs, so runs broken by a face of another count, and payloads cut
// anywhere, must measure as one face at a time.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/d3dx/XPayload.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XReader.h"
#include "platform/d3dx/XTemplate.h"

namespace {

using d3dx::XPayloadWriter;

// A Mesh without vertices whose faces have these index counts; index i of a face is i.
std::vector<std::uint8_t> MeshWithFaces(const std::vector<std::uint32_t>& counts) {
    XPayloadWriter payload;
    payload.Dword(0).Dword(static_cast<std::uint32_t>(counts.size()));
    for (std::uint32_t count : counts) {
        payload.Dword(count);
        for (std::uint32_t i = 0; i < count; ++i) payload.Dword(i);
    }
    const auto* bytes = payload.Bytes();
    return {bytes, bytes + payload.Size()};
}

d3dx::XPayloadResult Measure(const std::vector<std::uint8_t>& bytes, std::size_t size) {
    const d3dx::XTemplateRegistry& templates = d3dx::StandardTemplates();
    return d3dx::MeasurePayload(templates, *templates.FindByName("Mesh"),
                                std::span<const std::uint8_t>(bytes.data(), size));
}

// Runs of triangles broken by a quad and an empty face, then faces of five indices.
std::vector<std::uint32_t> MixedCounts() {
    std::vector<std::uint32_t> counts;
    auto add = [&counts](std::size_t faces, std::uint32_t count) {
        for (std::size_t f = 0; f < faces; ++f) counts.push_back(count);
    };
    add(9, 3);
    add(1, 4);
    add(6, 3);
    add(1, 0);
    add(3, 3);
    add(5, 5);
    return counts;
}

TEST(FaceListMeasure, FacesOfMixedCountsMeasureToTheirBytes) {
    const std::vector<std::uint8_t> bytes = MeshWithFaces(MixedCounts());
    d3dx::XPayloadResult whole = Measure(bytes, bytes.size());
    ASSERT_EQ(whole.hr, S_OK);
    EXPECT_EQ(whole.bytesUsed, bytes.size());
}

TEST(FaceListMeasure, APayloadCutAnywhereInsideTheFacesIsRefused) {
    const std::vector<std::uint8_t> bytes = MeshWithFaces(MixedCounts());
    constexpr std::size_t kFacesStart = 8;  // nVertices, nFaces
    for (std::size_t size = kFacesStart; size < bytes.size(); ++size)
        EXPECT_TRUE(FAILED(Measure(bytes, size).hr)) << size << " of " << bytes.size();
}

TEST(FaceListMeasure, AFaceCountingPastThePayloadIsRefusedWithinARun) {
    std::vector<std::uint32_t> counts(12, 3);
    std::vector<std::uint8_t> bytes = MeshWithFaces(counts);
    // The seventh face, in the middle of a run of triangles, claims more indices than the
    // payload holds after it.
    bytes[8 + 6 * 16] = 40;
    EXPECT_TRUE(FAILED(Measure(bytes, bytes.size()).hr));
}

TEST(PayloadWriterRecords, RecordsFollowWhatCameBeforeWordByWordLittleEndian) {
    XPayloadWriter payload;
    ASSERT_TRUE(payload.Reserve(8));  // too small: the records make the writer grow
    payload.Dword(7);
    payload.DwordRecords<4>(3, [](std::size_t i, std::array<std::uint32_t, 4>& words) {
        words = {3u, static_cast<std::uint32_t>(i), 0xA1B2C3D4u,
                 static_cast<std::uint32_t>(10 * i)};
    });
    payload.Dword(9);
    std::vector<std::uint8_t> expected = {7, 0, 0, 0};
    for (std::uint8_t i = 0; i < 3; ++i) {
        const std::uint8_t record[16] = {
            3, 0, 0, 0, i, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1, static_cast<std::uint8_t>(10 * i),
            0, 0, 0};
        expected.insert(expected.end(), std::begin(record), std::end(record));
    }
    expected.push_back(9);
    expected.resize(expected.size() + 3, 0);
    ASSERT_EQ(payload.Size(), expected.size());
    EXPECT_EQ(std::vector<std::uint8_t>(payload.Bytes(), payload.Bytes() + payload.Size()),
              expected);
}

TEST(PayloadWriterRecords, NoRecordsAddNothing) {
    XPayloadWriter payload;
    payload.Dword(1);
    payload.DwordRecords<3>(0, [](std::size_t, std::array<std::uint32_t, 3>& words) {
        words = {5, 5, 5};
    });
    EXPECT_EQ(payload.Size(), 4u);
}

}  // namespace
