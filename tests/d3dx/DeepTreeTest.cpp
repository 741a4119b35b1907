// Trees nested as deep as the reader accepts: saved in every form, read back, dumped and
// freed, each on a thread with a stack that only work keeping its place on the heap gets
// by with.
#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>

#include "XTestSupport.h"
#include "platform/d3dx/XDump.h"
#include "platform/d3dx/XParser.h"
#include "platform/d3dx/XSaveTree.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "tests/support/TestFiles.h"

namespace {

using d3dx::kMaxObjectDepth;
using d3dx::XPayloadWriter;
using tarvo::testsupport::TempDir;
using xtest::RunOnSmallStack;
using xtest::StandardFile;

// Each frame of a chain holds its matrix one level below it, so the chain whose deepest
// matrix sits at the reader's last level has one frame fewer than the limit.
constexpr std::size_t kFramesAtTheLimit = kMaxObjectDepth - 1;
// The text form indents each line one space per level, so its size grows with the square of
// the depth: this many levels make a file of a few megabytes, still far deeper than the
// small stack would let a call per level go.
constexpr std::size_t kTextFrames = 3000;

// Appended rather than "F" + std::to_string(level): GCC 12 at -O3 takes that concatenation's
// inlined memcpy for an overlapping one (a false -Wrestrict).
std::string FrameName(std::size_t level) {
    std::string name = "F";
    name += std::to_string(level);
    return name;
}

XPayloadWriter MatrixFor(std::size_t level) {
    XPayloadWriter matrix;
    matrix.Float(static_cast<float>(level));
    for (int i = 1; i < 16; ++i) matrix.Float(i % 5 == 0 ? 1.0f : 0.0f);
    return matrix;
}

// Frames F0, F1, ... each holding its FrameTransformMatrix (first value: the frame's level)
// and then the next frame, as the exporter writes nodes that hang one below the other.
HRESULT AddFrameChain(ID3DXFileSaveObject* save, std::size_t frames) {
    ID3DXFileSaveData* frame = nullptr;
    HRESULT hr =
        save->AddDataObject(TID_D3DRMFrame, FrameName(0).c_str(), nullptr, 0, nullptr, &frame);
    for (std::size_t level = 0; SUCCEEDED(hr);) {
        hr = xtest::AddTo(frame, TID_D3DRMFrameTransformMatrix, nullptr, MatrixFor(level));
        if (FAILED(hr) || ++level == frames) break;
        ID3DXFileSaveData* child = nullptr;
        hr = frame->AddDataObject(TID_D3DRMFrame, FrameName(level).c_str(), nullptr, 0, nullptr,
                                  &child);
        frame->Release();
        frame = child;
    }
    if (frame != nullptr) frame->Release();
    return hr;
}

// Frames read back and the first place where they differ from what AddFrameChain added.
struct ChainCheck {
    std::size_t frames = 0;
    std::string mismatch;
};

ChainCheck CheckChain(const d3dx::XFileContents& contents) {
    ChainCheck check;
    if (contents.objects.size() != 1) {
        check.mismatch = std::to_string(contents.objects.size()) + " top-level objects";
        return check;
    }
    for (const d3dx::XDataObject* frame = &contents.objects[0]; frame != nullptr;) {
        const std::size_t level = check.frames++;
        const auto& children = frame->children;
        const d3dx::XDataObject* matrix = children.empty() ? nullptr : children[0].object.get();
        const d3dx::XDataObject* next = children.size() > 1 ? children[1].object.get() : nullptr;
        float first = -1;
        if (matrix != nullptr && matrix->payload.size() == 64) {
            std::memcpy(&first, matrix->payload.data(), 4);
        }
        if (frame->templateName != "Frame" || frame->name != FrameName(level) ||
            matrix == nullptr || matrix->templateName != "FrameTransformMatrix" ||
            first != static_cast<float>(level) || children.size() > 2 ||
            (children.size() == 2 && next == nullptr)) {
            check.mismatch = "frame at level " + std::to_string(level);
            return check;
        }
        frame = next;
    }
    return check;
}

struct DeepRun {
    HRESULT added = E_FAIL;
    HRESULT saved = E_FAIL;
    HRESULT read = E_FAIL;
    d3dx::XReadError error;
    ChainCheck check;
    std::string json;  // the dump of what was read, when asked for
};

// Adds, saves, frees, reads back, checks (and dumps) and frees again, all on the small stack.
DeepRun SaveAndReadChain(const std::string& path, D3DXF_FILEFORMAT format, std::size_t frames,
                         bool dumpJson = false) {
    StandardFile standard;
    DeepRun run;
    RunOnSmallStack([&] {
        ID3DXFileSaveObject* save = nullptr;
        run.added =
            standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save);
        if (FAILED(run.added)) return;
        run.added = AddFrameChain(save, frames);
        if (SUCCEEDED(run.added)) run.saved = save->Save();
        save->Release();  // the save tree goes with the save object
        d3dx::XFileContents contents;
        run.read = d3dx::ReadXFile(path, d3dx::StandardTemplates(), contents, &run.error);
        if (SUCCEEDED(run.read)) run.check = CheckChain(contents);
        if (SUCCEEDED(run.read) && dumpJson) run.json = d3dx::DumpJson(contents);
    });
    return run;
}

// The JSON dump of a chain from AddFrameChain ends with the deepest matrix, which has no
// children, and then closes every frame.
std::string JsonEndingOfChain(std::size_t frames) {
    std::string ending = "\"children\": []}";
    for (std::size_t i = 0; i < frames; ++i) ending += "]}";
    return ending + "\n]}\n";
}

TEST(DeepTree, BinaryFormsAtTheDepthLimitSaveReadBackAndDump) {
    for (D3DXF_FILEFORMAT format :
         {D3DXF_FILEFORMAT_BINARY, D3DXF_FILEFORMAT_BINARY | D3DXF_FILEFORMAT_COMPRESSED}) {
        SCOPED_TRACE(format);
        TempDir dir;
        const bool dumpJson = format == D3DXF_FILEFORMAT_BINARY;
        DeepRun run = SaveAndReadChain(dir.File("deep.x"), format, kFramesAtTheLimit, dumpJson);
        EXPECT_EQ(run.added, S_OK);
        EXPECT_EQ(run.saved, S_OK);
        ASSERT_EQ(run.read, S_OK) << run.error.message;
        EXPECT_EQ(run.check.mismatch, "");
        EXPECT_EQ(run.check.frames, kFramesAtTheLimit);
        if (!dumpJson) continue;
        const std::string ending = JsonEndingOfChain(kFramesAtTheLimit);
        ASSERT_GE(run.json.size(), ending.size());
        EXPECT_EQ(run.json.substr(run.json.size() - ending.size()), ending);
        EXPECT_NE(run.json.find("\"name\": \"" + FrameName(kFramesAtTheLimit - 1) + "\""),
                  std::string::npos);
    }
}

TEST(DeepTree, OneLevelPastTheLimitIsRefused) {
    // Compressed files go through the same parser once inflated, and the text form of so
    // deep a chain would take gigabytes of indentation: unindented text is tried below.
    TempDir dir;
    DeepRun run =
        SaveAndReadChain(dir.File("too-deep.x"), D3DXF_FILEFORMAT_BINARY, kFramesAtTheLimit + 1);
    EXPECT_EQ(run.saved, S_OK);
    EXPECT_EQ(run.read, D3DXFERR_PARSEERROR);
    EXPECT_NE(run.error.message.find("objects nested too deeply"), std::string::npos)
        << run.error.message;
}

// Objects nested without indentation, as a hand-written text file may be.
std::string UnindentedFrames(std::size_t levels) {
    std::string text = "xof 0303txt 0032\n";
    for (std::size_t i = 0; i < levels; ++i) text += "Frame{";
    return text + std::string(levels, '}');
}

TEST(DeepTree, TextAtTheDepthLimitReadsAndOneLevelMoreIsRefusedWhereItStarts) {
    HRESULT atLimit = E_FAIL;
    HRESULT past = E_FAIL;
    std::size_t levelsRead = 0;
    d3dx::XReadError error;
    d3dx::XReadError pastError;
    RunOnSmallStack([&] {
        std::string text = UnindentedFrames(kMaxObjectDepth);
        d3dx::XFileContents contents;
        atLimit = d3dx::ReadXImage(
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
            d3dx::StandardTemplates(), contents, &error);
        for (const d3dx::XDataObject* at = contents.objects.empty() ? nullptr
                                                                    : &contents.objects[0];
             at != nullptr; at = at->children.empty() ? nullptr : at->children[0].object.get()) {
            ++levelsRead;
        }
        text = UnindentedFrames(kMaxObjectDepth + 1);
        past = d3dx::ReadXImage(
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
            d3dx::StandardTemplates(), contents, &pastError);
    });
    ASSERT_EQ(atLimit, S_OK) << error.message;
    EXPECT_EQ(levelsRead, kMaxObjectDepth);
    EXPECT_EQ(past, D3DXFERR_PARSEERROR);
    const std::size_t lastFrame = 17 + 6 * kMaxObjectDepth;  // after the header line
    EXPECT_EQ(pastError.offset, lastFrame);
    EXPECT_EQ(pastError.message,
              "byte " + std::to_string(lastFrame) + ": objects nested too deeply");
}

std::string Spaces(std::size_t count) {
    return std::string(count, ' ');
}

TEST(DeepTree, TextFormsWriteDeepChainsIndentedOneSpacePerLevelAndReadThemBack) {
    for (D3DXF_FILEFORMAT format :
         {D3DXF_FILEFORMAT_TEXT, D3DXF_FILEFORMAT_TEXT | D3DXF_FILEFORMAT_COMPRESSED}) {
        SCOPED_TRACE(format);
        TempDir dir;
        DeepRun run = SaveAndReadChain(dir.File("deep.x"), format, kTextFrames);
        EXPECT_EQ(run.saved, S_OK);
        ASSERT_EQ(run.read, S_OK) << run.error.message;
        EXPECT_EQ(run.check.mismatch, "");
        EXPECT_EQ(run.check.frames, kTextFrames);
        if (format != D3DXF_FILEFORMAT_TEXT) continue;

        // Each frame opens on a line of its own at its level and closes at the end in turn.
        std::vector<std::string> lines =
            xtest::SplitLines(tarvo::testsupport::ReadText(dir.File("deep.x")));
        std::size_t at = 0;
        for (std::size_t level = 0; level < kTextFrames; ++level) {
            const std::string opening = Spaces(level) + "Frame " + FrameName(level) + " {";
            while (at < lines.size() && lines[at] != opening) ++at;
            ASSERT_LT(at, lines.size()) << "no line " << opening;
        }
        ASSERT_GE(lines.size(), kTextFrames);
        for (std::size_t level = 0; level < kTextFrames; ++level) {
            EXPECT_EQ(lines[lines.size() - 1 - level], Spaces(level) + "}");
        }
    }
}

TEST(DeepTree, TheTextDumpWalksADeepTree) {
    HRESULT read = E_FAIL;
    std::string text;
    RunOnSmallStack([&] {
        // The text dump indents two spaces per level, so a shallower tree keeps it small.
        std::string frames = UnindentedFrames(kTextFrames);
        d3dx::XFileContents contents;
        read = d3dx::ReadXImage(
            std::span(reinterpret_cast<const std::uint8_t*>(frames.data()), frames.size()),
            d3dx::StandardTemplates(), contents, nullptr);
        text = d3dx::DumpText(contents);
    });
    ASSERT_EQ(read, S_OK);
    std::vector<std::string> lines = xtest::SplitLines(text);
    ASSERT_EQ(lines.size(), 1 + 2 * kTextFrames);
    for (std::size_t level = 0; level < kTextFrames; ++level) {
        EXPECT_EQ(lines[1 + level], Spaces(2 * level) + "Frame {");
        EXPECT_EQ(lines[lines.size() - 1 - level], Spaces(2 * level) + "}");
    }
}

// Twice the reader's limit: the trees themselves have none.
constexpr std::size_t kFreedLevels = 2 * kMaxObjectDepth;

TEST(DeepTree, SaveTreesAndReadTreesAreFreedWithoutACallPerLevel) {
    std::size_t saveLevels = 0;
    std::size_t readLevels = 0;
    bool freed = false;
    RunOnSmallStack([&] {
        d3dx::XSaveNodes roots;
        roots.push_back(std::make_unique<d3dx::XSaveNode>());
        d3dx::XSaveNode* deepest = roots.back().get();
        for (std::size_t level = 1; level < kFreedLevels; ++level) {
            deepest->children.push_back(std::make_unique<d3dx::XSaveNode>());
            deepest->children.back()->parent = deepest;
            deepest = deepest->children.back().get();
        }
        for (const d3dx::XSaveNode* at = deepest; at != nullptr; at = at->parent) ++saveLevels;
        roots.clear();

        d3dx::XDataObject root;
        d3dx::XDataObject* bottom = &root;
        for (std::size_t level = 1; level < kFreedLevels; ++level) {
            bottom->children.emplace_back().object = std::make_unique<d3dx::XDataObject>();
            bottom = bottom->children.back().object.get();
        }
        d3dx::WalkDataTree(
            root, [&](const d3dx::XDataObject&, std::size_t) { ++readLevels; },
            [](const d3dx::XChild&, std::size_t) {}, [](const d3dx::XDataObject&, std::size_t) {});
        // Replacing a deep tree frees the old one as well.
        root = d3dx::XDataObject();
        freed = true;
    });
    EXPECT_EQ(saveLevels, kFreedLevels);
    EXPECT_EQ(readLevels, kFreedLevels);
    EXPECT_TRUE(freed);
}

}  // namespace
