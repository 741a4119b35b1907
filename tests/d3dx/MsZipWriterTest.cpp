// The compressed forms made while the image is made: the same container as compressing the
// finished body, however the body arrives and on any number of threads; bytes under a hold
// compressed only once mended; blocks passed on before the body ends; and the saves of both
// compressed forms holding exactly the plain forms' bodies.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/d3dx/MsZip.h"
#include "platform/d3dx/XImageOutput.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "tests/d3dx/XTestSupport.h"

namespace {

using d3dx::kMsZipBlockBytes;
using d3dx::MsZipWriter;
using d3dx::XBytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeaderBytes = 16;

// Numbers as a text writer spells them, so that blocks shrink as a real body's do.
Bytes NumberText(std::size_t size) {
    Bytes body;
    body.reserve(size + 16);
    for (std::uint32_t i = 0; body.size() < size; ++i) {
        std::string line =
            std::to_string(i * 2654435761u % 100003) + ";" + std::to_string(i) + ",\n";
        body.insert(body.end(), line.begin(), line.end());
    }
    body.resize(size);
    return body;
}

// Gives `body` to `writer` in pieces of `piece` bytes.
void AppendInPieces(MsZipWriter& writer, const Bytes& body, std::size_t piece) {
    for (std::size_t at = 0; at < body.size(); at += piece) {
        writer.Append(std::span(body).subspan(at, std::min(piece, body.size() - at)));
    }
}

Bytes StreamedContainer(const Bytes& body, std::size_t piece, unsigned threads) {
    XBytes container;
    d3dx::XBytesSink sink(container);
    MsZipWriter writer(sink, 0, threads);
    AppendInPieces(writer, body, piece);
    writer.Finish();
    return container;
}

TEST(MsZipWriter, AnyPiecesOnAnyThreadsMakeTheContainerOfTheWholeBody) {
    Bytes body = NumberText(40 * kMsZipBlockBytes + 123);
    Bytes whole = d3dx::MsZipCompress(body, 1);
    for (unsigned threads : {1u, 2u, 4u}) {
        for (std::size_t piece : {std::size_t(7), std::size_t(4096), kMsZipBlockBytes,
                                  std::size_t(100000), body.size()}) {
            EXPECT_EQ(StreamedContainer(body, piece, threads), whole)
                << threads << " threads, pieces of " << piece;
        }
    }
}

TEST(MsZipWriter, BodiesAroundABlockAndNoBodyAtAll) {
    Bytes text = NumberText(3 * kMsZipBlockBytes);
    for (std::size_t size : {std::size_t(0), std::size_t(1), kMsZipBlockBytes - 1, kMsZipBlockBytes,
                             kMsZipBlockBytes + 1, 3 * kMsZipBlockBytes}) {
        Bytes body(text.begin(), text.begin() + std::ptrdiff_t(size));
        EXPECT_EQ(StreamedContainer(body, 1000, 2), d3dx::MsZipCompress(body, 1)) << size;
    }
}

// Holds as the binary writer makes them: announced before their bytes arrive, which are
// written as zeros and mended once much more has followed.
TEST(MsZipWriter, HeldBytesAreCompressedAsMended) {
    Bytes body = NumberText(30 * kMsZipBlockBytes);
    struct Mend {
        std::size_t offset;
        std::size_t mendAfter;  // bytes of body appended before the mend
    };
    // In order: each is announced after the one before it was mended.
    const Mend mends[] = {
        {10, 2 * kMsZipBlockBytes},                            // a block held while two follow
        {3 * kMsZipBlockBytes - 2, 20 * kMsZipBlockBytes},     // across a block's end, long
        {21 * kMsZipBlockBytes, 21 * kMsZipBlockBytes + 100},  // mended in the filling block
        {29 * kMsZipBlockBytes + 50, body.size()},             // mended at the very end
    };
    for (unsigned threads : {1u, 3u}) {
        Bytes written = body;
        for (const Mend& mend : mends)
            std::fill_n(written.begin() + std::ptrdiff_t(mend.offset), 4, 0);
        XBytes container;
        d3dx::XBytesSink sink(container);
        MsZipWriter writer(sink, 0, threads);
        std::size_t at = 0;
        for (const Mend& mend : mends) {
            ASSERT_LE(at, mend.offset);
            writer.Append(std::span(written).subspan(at, mend.offset - at));
            writer.Hold(mend.offset, 4);
            writer.Append(std::span(written).subspan(mend.offset, mend.mendAfter - mend.offset));
            at = mend.mendAfter;
            writer.Overwrite(mend.offset, std::span(body).subspan(mend.offset, 4));
        }
        ASSERT_EQ(at, body.size());
        writer.Finish();
        EXPECT_EQ(container, d3dx::MsZipCompress(body, 1)) << threads << " threads";
    }
}

TEST(MsZipWriter, BytesMendedWithoutAHoldAfterTheirBlockWentAreRefused) {
    Bytes body = NumberText(4 * kMsZipBlockBytes);
    XBytes container;
    d3dx::XBytesSink sink(container);
    MsZipWriter writer(sink, 0, 1);
    writer.Append(body);
    const std::uint8_t mended[4] = {1, 2, 3, 4};
    EXPECT_THROW(writer.Overwrite(100, mended), std::logic_error);
    EXPECT_THROW(writer.Hold(200, 4), std::logic_error);
}

TEST(MsZipWriter, AHoldNeverMendedFailsTheFinish) {
    XBytes container;
    d3dx::XBytesSink sink(container);
    MsZipWriter writer(sink, 0, 1);
    writer.Hold(0, 4);
    writer.Append(NumberText(100));
    EXPECT_THROW(writer.Finish(), std::logic_error);
}

// The point of the writer: with one thread, every block but those still queued reaches the
// container while the body is being appended, so the body is never held whole.
TEST(MsZipWriter, BlocksReachTheContainerBeforeTheBodyEnds) {
    constexpr std::size_t kBlocks = 256;
    Bytes body = NumberText(kBlocks * kMsZipBlockBytes);
    Bytes whole = d3dx::MsZipCompress(body, 1);
    XBytes container;
    d3dx::XBytesSink sink(container);
    MsZipWriter writer(sink, 0, 1);
    AppendInPieces(writer, body, kMsZipBlockBytes);
    // Nine blocks at most wait for a thread that does not exist, and less than a run of
    // 256 KiB of framed blocks waits to be given.
    EXPECT_GT(container.size(), whole.size() / 2);
    writer.Finish();
    EXPECT_EQ(container, whole);
}

TEST(MsZipWriter, RefusesABodyTheSizeFieldCannotAnnounceWithoutReadingIt) {
    // Address space only: a writer that read it would take minutes.
    constexpr std::size_t kTooLarge = (std::size_t(1) << 32) - kHeaderBytes;
    void* pages =
        ::mmap(nullptr, kTooLarge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    Bytes start = NumberText(kMsZipBlockBytes + 5);
    XBytes container;
    d3dx::XBytesSink sink(container);
    MsZipWriter writer(sink, 0, 2);
    writer.Append(start);
    writer.Append({static_cast<const std::uint8_t*>(pages), kTooLarge - start.size() + 1});
    try {
        writer.Finish();
        ADD_FAILURE() << "a body of " << kTooLarge + 1 << " bytes was compressed";
    } catch (const d3dx::MsZipError& error) {
        EXPECT_STREQ(error.what(),
                     "the file would be 4294967297 bytes uncompressed, more than the compressed "
                     "form can announce (4294967295)");
    }
    ::munmap(pages, kTooLarge);
}

// What the output of the image tells its sink: a reserve that leaves in a given chunk is
// held first and mended later; one filled while still buffered costs the sink nothing.
class RecordingSink final : public d3dx::XImageSink {
  public:
    void Append(std::span<const std::uint8_t> bytes) override {
        events.push_back("append " + std::to_string(bytes.size()));
    }
    void Overwrite(std::size_t offset, std::span<const std::uint8_t> bytes) override {
        events.push_back("overwrite " + std::to_string(offset) + "+" +
                         std::to_string(bytes.size()));
    }
    void Hold(std::size_t offset, std::size_t count) override {
        events.push_back("hold " + std::to_string(offset) + "+" + std::to_string(count));
    }
    std::vector<std::string> events;
};

TEST(ImageOutput, ReservedBytesAreHeldOnlyWhenTheyLeaveBeforeTheyAreFilled) {
    constexpr std::size_t kChunk = d3dx::XImageOutput::kChunkBytes;
    RecordingSink sink;
    d3dx::XImageOutput out(sink);
    out.AppendFill('a', 10);
    std::size_t filledEarly = out.Reserve(4);
    const std::uint8_t count[4] = {9, 0, 0, 0};
    out.Fill(filledEarly, count, 4);
    std::size_t filledLate = out.Reserve(4);
    out.AppendFill('b', kChunk);  // gives the bytes so far
    out.Fill(filledLate, count, 4);
    out.Finish();
    // The fill goes in halves of a chunk: the second half no longer fits beside the first.
    const std::vector<std::string> expected = {
        "hold 14+4", "append " + std::to_string(18 + kChunk / 2), "overwrite 14+4",
        "append " + std::to_string(kChunk / 2)};
    EXPECT_EQ(sink.events, expected);
}

// A save in each compressed form is the header of that form and the container of the plain
// form's body: lists of the binary form far longer than a chunk and than a block included.
TEST(CompressedSave, HoldsThePlainFormsBodyBlockByBlock) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    d3dx::XPayloadWriter mesh;
    constexpr std::uint32_t kVertices = 60000;  // a float list of 720,000 bytes
    mesh.Dword(kVertices);
    for (std::uint32_t i = 0; i < kVertices; ++i)
        mesh.Floats({float(i), float(i % 13), -float(i) / 7});
    mesh.Dword(kVertices - 2);
    for (std::uint32_t i = 0; i + 2 < kVertices; ++i) mesh.Dwords({3, i, i + 1, i + 2});
    auto save = [&](D3DXF_FILEFORMAT format, const std::string& name) {
        std::string path = dir.File(name);
        ID3DXFileSaveObject* object = nullptr;
        EXPECT_EQ(
            standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &object),
            S_OK);
        EXPECT_EQ(xtest::AddTo(object, TID_D3DRMMesh, "Strip", mesh), S_OK);
        EXPECT_EQ(object->Save(), S_OK);
        object->Release();
        return xtest::ReadBytes(path);
    };
    struct Form {
        D3DXF_FILEFORMAT plain;
        const char* header;
    };
    for (Form form : {Form{D3DXF_FILEFORMAT_BINARY, "xof 0303bzip0032"},
                      Form{D3DXF_FILEFORMAT_TEXT, "xof 0303tzip0032"}}) {
        Bytes plain = save(form.plain, "plain.x");
        Bytes packed = save(form.plain | D3DXF_FILEFORMAT_COMPRESSED, "packed.x");
        ASSERT_GT(plain.size(), 4 * d3dx::XImageOutput::kChunkBytes);
        Bytes expected(form.header, form.header + kHeaderBytes);
        Bytes container = d3dx::MsZipCompress(std::span(plain).subspan(kHeaderBytes), 1);
        expected.insert(expected.end(), container.begin(), container.end());
        EXPECT_EQ(packed, expected) << form.header;
    }
}

}  // namespace
