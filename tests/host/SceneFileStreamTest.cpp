// The streaming reader held against the document reader. On every scene the tests know, and
// on many damaged and re-spelt copies of them, both give the same records down to the bits,
// or the streaming reader gives up and the document reader decides; the streaming reader
// never takes a text the document reader refuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/scene/SceneFile.h"
#include "host/scene/SceneFileBytes.h"
#include "host/scene/SceneFileReaders.h"
#include "tests/max/DeepScenes.h"

using namespace tarvo;

namespace {

std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every scene file kept with the sources.
std::vector<std::string> SceneFilesOfTheSources() {
    std::vector<std::string> texts;
    for (const char* folder : {"fuzz/scene/corpus", "examples"})
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(TARVO_SOURCE_DIR) / folder))
            if (entry.path().string().ends_with(scenefile::kSceneFileSuffix))
                texts.push_back(FileText(entry.path()));
    return texts;
}

// A small scene with every member the streaming reader reads itself: vertices, faces with
// smoothing groups and material ids, map channels of two and three numbers, explicit
// normals; nested nodes with meshes at several levels; and the members it hands on.
const std::string kEveryMeshMember = R"({
  "format": "tarvo-scene", "version": 1, "frameRate": 30, "animationRange": [0, 3200],
  "materials": [{"name": "M", "class": "standard", "diffuse": [0.25, 0.5, 1]}],
  "nodes": [
    {"name": "A", "object": "mesh", "material": "M",
     "mesh": {
       "vertices": [[0, 0, 0], [1.5, -0.0, 2e1], [0.1, 0.2, 0.3]],
       "faces": [{"v": [0, 1, 2], "smoothing": 4294967295, "materialId": 65535},
                 {"materialId": 1, "v": [2, 1, 0]}],
       "maps": [{"channel": 1, "vertices": [[0, 1], [0.5, 0.5, 0.25]],
                 "faces": [[0, 1, 0], [1, 0, 1]]},
                {"faces": [[0, 0, 0], [0, 0, 0]], "vertices": [[1, 1, 1]], "channel": -2}],
       "normals": {"faces": [[0, 0, 0], [0, 0, 0]], "normals": [[0, 0, 1]]}},
     "children": [
       {"name": "B", "object": "helper", "transform": {"position": [1, 2, 3]},
        "children": [
          {"name": "C", "children": [], "object": "mesh",
           "mesh": {"faces": [], "vertices": [[1E2, 1e-2, -1.25E+1]]}}]},
       {"object": "mesh", "mesh": {"vertices": [], "faces": []}, "name": "D"}]},
    {"name": "E"}
  ],
  "fileProperties": [{"name": "author", "value": "me"}]
})";

// The streaming reader's answer beside the document reader's.
struct Answers {
    std::optional<scene::SceneData> streaming;
    std::optional<scene::SceneData> document;
    std::string refusal;
};

Answers BothReaders(const std::string& text,
                    const scenefile::ListSharing& sharing = scenefile::DefaultListSharing()) {
    Answers answers;
    answers.streaming = scenefile::ParseSceneStreaming(text, "t.tscene.json", "/base", sharing);
    try {
        answers.document = scenefile::ParseSceneDocument(text, "t.tscene.json", "/base");
    } catch (const scenefile::SceneFileError& error) {
        answers.refusal = error.what();
    }
    return answers;
}

// The readers agree: the streaming one gave up, or both read the same records.
::testing::AssertionResult Agree(const std::string& text, const scenefile::ListSharing& sharing =
                                                              scenefile::DefaultListSharing()) {
    Answers answers = BothReaders(text, sharing);
    if (!answers.streaming) return ::testing::AssertionSuccess();
    if (!answers.document)
        return ::testing::AssertionFailure()
               << "the streaming reader took a text refused with: " << answers.refusal;
    if (!scenefile::SameSceneBits(*answers.streaming, *answers.document))
        return ::testing::AssertionFailure() << "the readers read different records";
    return ::testing::AssertionSuccess();
}

// Both readers take the text, and read the same records.
void ExpectStreamedAlike(const std::string& text,
                         const scenefile::ListSharing& sharing = scenefile::DefaultListSharing()) {
    Answers answers = BothReaders(text, sharing);
    ASSERT_TRUE(answers.document) << answers.refusal;
    ASSERT_TRUE(answers.streaming) << "the streaming reader gave up on a good text";
    EXPECT_TRUE(scenefile::SameSceneBits(*answers.streaming, *answers.document));
}

// `text` with its first `what` replaced by `with`.
std::string Replaced(std::string text, const std::string& what, const std::string& with) {
    std::size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

// A one-vertex, one-face mesh scene with `number` as the vertex's first coordinate and
// `index` as the face's first corner.
std::string MeshWith(const std::string& number, const std::string& index = "0") {
    return R"({"format": "tarvo-scene", "version": 1, "nodes": [{"name": "N", "object": "mesh",
      "mesh": {"vertices": [[)" +
           number + R"(, 0, 0]], "faces": [{"v": [)" + index + R"(, 0, 0]}]}}]})";
}

// A three-vertex mesh scene spelt as writers spell it, without spaces: `number` is a
// coordinate of every vertex, map vertex (of two and of three numbers) and normal, `corner` a
// corner of faces, map faces and normal faces, `smoothing` the first face's group.
std::string CompactMeshWith(const std::string& number, const std::string& corner,
                            const std::string& smoothing) {
    std::string text =
        R"({"format":"tarvo-scene","version":1,"nodes":[{"name":"N","object":"mesh","mesh":{)";
    text += R"("vertices":[[)" + number + ",0,0],[0," + number + ",0],[0,0," + number + "]],";
    text += R"("faces":[{"v":[)" + corner + R"(,1,2],"smoothing":)" + smoothing + R"(},)";
    text += R"({"v":[0,)" + corner + "," + corner + R"(]},{"v":[2,1,0],"smoothing":1}],)";
    text += R"("maps":[{"channel":1,"vertices":[[)" + number + ",0],[0," + number + ",1],[0," +
            number + "]],";
    text += R"("faces":[[)" + corner + ",1,2],[0," + corner + "," + corner + "],[2,1,0]]}],";
    text += R"("normals":{"normals":[[)" + number + ",0,1],[0,0," + number + "],[0,1,0]],";
    text += R"("faces":[[)" + corner + ",1,0],[0,0," + corner + "],[1,1,1]]}}}]}";
    // The last items of a text are read the general way: white space after the document
    // keeps every item above on the compact way.
    return text + std::string(128, ' ');
}

std::uint32_t BitsOf(float f) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The bytes the mutations put in; each is a character JSON gives a meaning to, or one that
// a number, key or literal might swallow.
constexpr std::string_view kMutationBytes = "\"\\,:{}[]0-.eE+ x\x01\xEF";

// `count` mutants of `text`: a byte deleted, replaced or duplicated at a place chosen by a
// generator with a fixed seed, so that every run tries the same ones.
std::vector<std::string> Mutants(const std::string& text, int count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::string> mutants;
    for (int i = 0; i < count; ++i) {
        std::string mutant = text;
        std::size_t at = random() % mutant.size();
        char byte = kMutationBytes[random() % kMutationBytes.size()];
        switch (random() % 3) {
            case 0:
                mutant.erase(at, 1);
                break;
            case 1:
                mutant[at] = byte;
                break;
            default:
                mutant.insert(at, 1, byte);
                break;
        }
        mutants.push_back(std::move(mutant));
    }
    return mutants;
}

}  // namespace

// ---- The streaming reader reads what the tests know ----

TEST(SceneFileStream, ReadsEverySceneFileOfTheSourcesAsTheDocumentReaderDoes) {
    auto texts = SceneFilesOfTheSources();
    ASSERT_GE(texts.size(), 3u);
    for (const auto& text : texts) ExpectStreamedAlike(text);
}

TEST(SceneFileStream, ReadsEveryMeshMemberAsTheDocumentReaderDoes) {
    ExpectStreamedAlike(kEveryMeshMember);
    auto scene = scenefile::ParseSceneStreaming(kEveryMeshMember, "t.tscene.json");
    ASSERT_TRUE(scene);
    ASSERT_EQ(scene->nodes.size(), 5u);
    EXPECT_EQ(scene->nodes[2].name, "C");
    EXPECT_EQ(scene->nodes[2].parent, 1);
    EXPECT_EQ(scene->nodes[2].mesh.vertices.at(0), Point3(100.0f, 0.01f, -12.5f));
    EXPECT_EQ(scene->nodes[3].name, "D");
    EXPECT_EQ(scene->nodes[3].parent, 0);
    const auto& mesh = scene->nodes[0].mesh;
    EXPECT_EQ(mesh.faces.at(0).smGroup, 0xFFFFFFFFu);
    EXPECT_EQ(mesh.faces.at(0).matId, 0xFFFFu);
    EXPECT_EQ(mesh.maps.at(1).vertices.at(0), Point3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(mesh.maps.at(-2).vertices.at(0), Point3(1.0f, 1.0f, 1.0f));
    ASSERT_TRUE(mesh.normals);
    EXPECT_EQ(mesh.normals->normals.at(0), Point3(0.0f, 0.0f, 1.0f));
}

TEST(SceneFileStream, KeepsTheBaseDirectoryForRelativeBitmapPaths) {
    auto scene = scenefile::ParseSceneStreaming(kEveryMeshMember, "t.tscene.json", "/scenes");
    ASSERT_TRUE(scene);
    EXPECT_EQ(scene->baseDirectory, "/scenes");
}

TEST(SceneFileStream, LoadSceneFileReadsAFileAsTheDocumentReaderReadsItsText) {
    auto dir =
        std::filesystem::temp_directory_path() /
        ("tarvo-stream-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    auto file = dir / "every.tscene.json";
    std::ofstream(file, std::ios::binary) << kEveryMeshMember;
    auto loaded = scenefile::LoadSceneFile(file.string());
    auto expected = scenefile::ParseSceneDocument(kEveryMeshMember, file.string(),
                                                  std::filesystem::absolute(dir).string());
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(scenefile::SameSceneBits(loaded, expected));
}

TEST(SceneFileStream, FileBytesEndInAZeroWhereverTheFileEndsInItsLastPage) {
    // A mapped file has a zero after its end only when its last page has room for one; a file
    // that fills its last page must be read into memory of its own instead.
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    auto dir =
        std::filesystem::temp_directory_path() /
        ("tarvo-stream-page-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    for (std::size_t size : {page - 1, page, page + 1, 2 * page, 3 * page - 1}) {
        SCOPED_TRACE(size);
        ASSERT_LE(kEveryMeshMember.size(), size);
        // White space after the document keeps it a scene, at any length.
        std::string text = kEveryMeshMember + std::string(size - kEveryMeshMember.size(), ' ');
        auto file = dir / ("padded-" + std::to_string(size) + ".tscene.json");
        std::ofstream(file, std::ios::binary) << text;
        {
            scenefile::SceneFileBytes bytes;
            ASSERT_TRUE(bytes.Read(file.string()));
            EXPECT_EQ(bytes.Mapped(), size % page != 0);
            EXPECT_EQ(bytes.View(), text);
            EXPECT_EQ(bytes.View().data()[size], '\0');
        }
        EXPECT_EQ(FileText(file), text) << "the zero after the end reached the file";
        EXPECT_TRUE(scenefile::SameSceneBits(
            scenefile::LoadSceneFile(file.string()),
            scenefile::ParseSceneDocument(text, file.string(),
                                          std::filesystem::absolute(dir).string())));
    }
    std::filesystem::remove_all(dir);
}

TEST(SceneFileStream, LoadSceneFileReadsAPipeAsItReadsAFile) {
    // A pipe has no size to read by: it is read the ordinary way, chunk by chunk.
    auto dir =
        std::filesystem::temp_directory_path() /
        ("tarvo-stream-pipe-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    auto pipe = dir / "piped.tscene.json";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(pipe, std::ios::binary) << kEveryMeshMember; });
    std::optional<scene::SceneData> loaded;
    EXPECT_NO_THROW(loaded = scenefile::LoadSceneFile(pipe.string()));
    writer.join();
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(scenefile::SameSceneBits(
        *loaded, scenefile::ParseSceneDocument(kEveryMeshMember, "t.tscene.json",
                                               std::filesystem::absolute(dir).string())));
}

TEST(SceneFileStream, TheLargePageReadLeavesAPipeUnopened) {
    // Opening a named pipe waits for its writer; the read must decline a pipe before that.
    auto dir =
        std::filesystem::temp_directory_path() /
        ("tarvo-stream-fifo-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    auto pipe = dir / "waiting.tscene.json";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] {
        scenefile::SceneFileBytes bytes;
        return bytes.Read(pipe.string());
    });
    const bool waited = reading.wait_for(std::chrono::seconds(2)) != std::future_status::ready;
    if (waited) ::close(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go
    EXPECT_FALSE(waited) << "the read opened the pipe";
    EXPECT_FALSE(reading.get());
    std::filesystem::remove_all(dir);
}

// ---- Spellings of numbers ----

TEST(SceneFileStream, AgreesOnEverySpellingOfACoordinate) {
    for (const char* number : {"1",
                               "1.0",
                               "1e0",
                               "1E+0",
                               "10e-1",
                               "-0",
                               "-0.0",
                               "0e0",
                               "-0e5",
                               "0.1",
                               "2.5e-45",
                               "1e-46",
                               "1e-400",
                               "1e400",
                               "-1e400",
                               "3.4028235e38",
                               "3.4028236e38",
                               "3.5e38",
                               "340282346638528859811704183484516925440",
                               "18446744073709551615",
                               "18446744073709551616",
                               "-9223372036854775808",
                               "-9223372036854775809",
                               "123456789012345678901234567890",
                               "NaN",
                               "Infinity",
                               "-Infinity",
                               "nan",
                               "-",
                               "01",
                               "-01",
                               "1.",
                               ".5",
                               "+1",
                               "0x10",
                               "1e",
                               "1e+",
                               "1.e5",
                               "00",
                               "1 2",
                               "\"1\"",
                               "true",
                               "null",
                               "[1]",
                               "{}"}) {
        EXPECT_TRUE(Agree(MeshWith(number))) << number;
    }
}

TEST(SceneFileStream, AgreesOnEverySpellingOfAnIndex) {
    for (const char* index : {"0", "-0", "0.0", "0e0", "1", "4294967295", "4294967296", "-1",
                              "18446744073709551616", "1e400", "00", "\"0\"", "null"}) {
        EXPECT_TRUE(Agree(MeshWith("0", index))) << index;
    }
}

TEST(SceneFileStream, AgreesOnEverySpellingOfACoordinateWithoutSpaces) {
    for (const char* number : {"1",
                               "-1",
                               "0",
                               "-0",
                               "0.0",
                               "-0.0",
                               "1.0",
                               "0.1",
                               "-0.5",
                               "0.30000000000000004",
                               "3.14159",
                               "16777217",
                               "16777219",
                               "123456789012345",
                               "1234567890123456",
                               "9007199254740993",
                               "0.000000000000001",
                               "0.0000000000000001",
                               "0.100000001490116",
                               "3.4028235e38",
                               "1e400",
                               "1e5",
                               "1E5",
                               "2.5e-45",
                               "01",
                               "-01",
                               "00",
                               "1.",
                               ".5",
                               "-",
                               "+1",
                               "1.e5",
                               "0x10",
                               "\"1\"",
                               "true",
                               "null",
                               "[1]",
                               "{}",
                               "1\"",
                               "1a"}) {
        EXPECT_TRUE(Agree(CompactMeshWith(number, "1", "7"))) << number;
    }
    // A good spelling is taken, not only left to the document reader.
    for (const char* number : {"-0", "-0.0", "0.30000000000000004", "16777219", "123456789012345"})
        ExpectStreamedAlike(CompactMeshWith(number, "1", "7"));
}

TEST(SceneFileStream, AgreesOnCoordinateDigitRunsAroundEightBytes) {
    // A coordinate's digits are read up to eight at once: runs of seven, eight, nine and
    // sixteen digits on either side of the point, and runs too long for an item's reach.
    const std::string longRun(80, '7');
    const std::vector<std::string> taken = {
        "1234567",          "12345678",          "123456789",       "0.1234567",
        "0.12345678",       "0.123456789",       "-9876543.21",     "87654321.1234567",
        "1234567.12345678", "-0.00000012345678", "100000000000000", "10000000.00000001",
        "0.00000000000001"};
    for (const auto& number : taken) ExpectStreamedAlike(CompactMeshWith(number, "1", "7"));
    const std::vector<std::string> judged = {
        "1234567890123456", "12345678.12345678",  "0.1234567890123456", longRun,
        "0." + longRun,     "-" + longRun + ".5", longRun + "e0",       "12345678e1",
        "0.12345678.1"};
    for (const auto& number : judged)
        EXPECT_TRUE(Agree(CompactMeshWith(number, "1", "7"))) << number;
}

TEST(SceneFileStream, AgreesOnEverySpellingOfAnIndexWithoutSpaces) {
    for (const char* index :
         {"0",          "1",          "2",          "3",           "00",
          "01",         "-0",         "-1",         "0.0",         "1e0",
          "12",         "1234567",    "12345678",   "123456789",   "1234567890",
          "4294967295", "4294967296", "9999999999", "10000000000", "18446744073709551616",
          "\"0\"",      "null",       "[1]",        "1a",          "1 "}) {
        EXPECT_TRUE(Agree(CompactMeshWith("0.5", index, "1"))) << index << " as a corner";
        EXPECT_TRUE(Agree(CompactMeshWith("0.5", "1", index))) << index << " as a group";
    }
    // A good spelling is taken, not only left to the document reader.
    ExpectStreamedAlike(CompactMeshWith("0.5", "2", "4294967295"));
    ExpectStreamedAlike(CompactMeshWith("-123.25", "0", "12345678"));
}

TEST(SceneFileStream, ReadsCornersOfDifferentLengthsInOneItem) {
    // Enough vertices for six-digit corners, so that the records can be held to the values.
    constexpr std::uint32_t kVertices = 123457;
    std::string vertices;
    for (std::uint32_t i = 0; i < kVertices; ++i) vertices += i == 0 ? "[0,0,0]" : ",[0,0,0]";
    const std::vector<std::array<std::uint32_t, 3>> corners = {
        {123456, 12, 1234}, {5, 123455, 99999}, {100000, 0, 10}, {1, 22, 333}, {0, 0, 0}};
    std::string faces, triples;
    for (const auto& v : corners) {
        const std::string triple = "[" + std::to_string(v[0]) + "," + std::to_string(v[1]) + "," +
                                   std::to_string(v[2]) + "]";
        faces += (faces.empty() ? "" : ",") + std::string(R"({"v":)") + triple + "}";
        triples += (triples.empty() ? "" : ",") + triple;
    }
    const std::string text =
        R"({"format":"tarvo-scene","version":1,"nodes":[{"name":"N","object":"mesh","mesh":{)"
        R"("vertices":[)" +
        vertices + R"(],"faces":[)" + faces + R"(],"maps":[{"channel":1,"vertices":[)" + vertices +
        R"(],"faces":[)" + triples +
        R"(]}],"normals":{"normals":[[0,0,1]],"faces":[[0,0,0],[0,0,0],[0,0,0],[0,0,0],[0,0,0]]}}}]})";
    ExpectStreamedAlike(text);
    auto scene = scenefile::ParseSceneStreaming(text, "t.tscene.json");
    ASSERT_TRUE(scene);
    const scene::MeshData& mesh = scene->nodes[0].mesh;
    ASSERT_EQ(mesh.faces.size(), corners.size());
    for (std::size_t f = 0; f < corners.size(); ++f) {
        EXPECT_EQ(mesh.faces[f].v[0], corners[f][0]) << f;
        EXPECT_EQ(mesh.faces[f].v[1], corners[f][1]) << f;
        EXPECT_EQ(mesh.faces[f].v[2], corners[f][2]) << f;
        EXPECT_EQ(mesh.maps.at(1).faces[f], corners[f]) << f;
    }
}

TEST(SceneFileStream, ReadsMinusZeroAsTheDocumentReaderDoes) {
    // A whole "-0" is the integer zero and so +0; "-0.0" is a negative zero.
    for (const char* number : {"-0", "-0.0", "-0e0"}) {
        auto streamed = scenefile::ParseSceneStreaming(MeshWith(number), "t.tscene.json");
        ASSERT_TRUE(streamed) << number;
        auto document = scenefile::ParseSceneDocument(MeshWith(number), "t.tscene.json");
        EXPECT_EQ(BitsOf(streamed->nodes[0].mesh.vertices[0].x),
                  BitsOf(document.nodes[0].mesh.vertices[0].x))
            << number;
    }
    auto whole = scenefile::ParseSceneStreaming(MeshWith("-0"), "t.tscene.json");
    ASSERT_TRUE(whole);
    EXPECT_EQ(BitsOf(whole->nodes[0].mesh.vertices[0].x), BitsOf(0.0f));
}

TEST(SceneFileStream, AgreesOnTheRangesOfSmoothingMaterialIdAndChannel) {
    const std::string face = R"({"v": [0, 0, 0]})";
    for (const char* member :
         {R"("smoothing": 4294967296)", R"("smoothing": -1)", R"("materialId": 65535)",
          R"("materialId": 65536)", R"("materialId": 1.0)"}) {
        std::string text =
            Replaced(MeshWith("0"), face, R"({"v": [0, 0, 0], )" + std::string(member) + "}");
        EXPECT_TRUE(Agree(text)) << member;
    }
    for (const char* channel : {"-3", "-2", "99", "100", "1.5"}) {
        std::string text =
            Replaced(kEveryMeshMember, R"("channel": 1)", std::string(R"("channel": )") + channel);
        EXPECT_TRUE(Agree(text)) << channel;
    }
}

// ---- The document around the numbers ----

TEST(SceneFileStream, TakesAByteOrderMarkOnlyAtTheStart) {
    ExpectStreamedAlike("\xEF\xBB\xBF" + kEveryMeshMember);
    EXPECT_TRUE(Agree(Replaced(kEveryMeshMember, R"("frameRate": 30)",
                               "\"frameRate\": \xEF\xBB\xBF"
                               "30")));
    EXPECT_TRUE(Agree(Replaced(kEveryMeshMember, R"("name": "M")", "\"name\": \xEF\xBB\xBF\"M\"")));
    EXPECT_TRUE(Agree(" \xEF\xBB\xBF" + kEveryMeshMember));
    EXPECT_FALSE(scenefile::ParseSceneStreaming(" \xEF\xBB\xBF" + kEveryMeshMember, "t"));
}

TEST(SceneFileStream, RefusesWhatFollowsTheDocument) {
    for (const char* after : {"x", "{}", "]", ",", "\x01", "0"}) {
        EXPECT_TRUE(Agree(kEveryMeshMember + after)) << after;
        EXPECT_FALSE(scenefile::ParseSceneStreaming(kEveryMeshMember + after, "t")) << after;
    }
    ExpectStreamedAlike(kEveryMeshMember + " \n\t\r");
}

TEST(SceneFileStream, GivesUpOnATextCutShortAnywhere) {
    // The reader leans on the zero after the text's end; a text may stop at any byte.
    const std::string whole = MeshWith("-1.5e-3", "0");
    for (std::size_t length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(scenefile::ParseSceneStreaming(whole.substr(0, length), "t")) << length;
    ExpectStreamedAlike(whole);
    EXPECT_FALSE(scenefile::ParseSceneStreaming(whole + std::string(1, '\0'), "t"));
    EXPECT_TRUE(Agree(Replaced(whole, "-1.5e-3", std::string("-1.5\0", 5))));
}

TEST(SceneFileStream, AgreesOnRepeatedKeys) {
    // The document reader keeps the last of repeated members.
    ExpectStreamedAlike(Replaced(kEveryMeshMember, R"("frameRate": 30)",
                                 R"("currentTime": 5, "frameRate": 30, "currentTime": 7)"));
    ExpectStreamedAlike(
        Replaced(kEveryMeshMember, R"("name": "E")", R"("name": "E", "name": "F")"));
    for (const auto& [what, with] : std::vector<std::pair<std::string, std::string>>{
             {R"("faces": [], "vertices")", R"("faces": [], "faces": [], "vertices")"},
             {R"("v": [0, 1, 2])", R"("v": [0, 1, 2], "v": [1, 1, 1])"},
             {R"("channel": 1)", R"("channel": 1, "channel": 3)"},
             {R"("normals": [[0, 0, 1]])", R"("normals": [[0, 0, 1]], "normals": [])"},
             {R"("name": "E")", R"("name": "E", "children": [], "children": [{"name": "F"}])"},
             {R"("name": "D")", R"("name": "D", "mesh": {"vertices": [[1, 1, 1]], "faces": []})"},
             {R"("version": 1)", R"("version": 1, "nodes": [])"},
             {R"("channel": -2)", R"("channel": 1)"},
         }) {
        EXPECT_TRUE(Agree(Replaced(kEveryMeshMember, what, with))) << with;
    }
}

TEST(SceneFileStream, AgreesOnEscapedAndUnusualKeys) {
    for (const auto& [what, with] : std::vector<std::pair<std::string, std::string>>{
             {R"("vertices": [[0, 0, 0])", R"("vert\u0069ces": [[0, 0, 0])"},
             {R"("vertices": [[0, 0, 0])", R"("vertices\u0000": [[0, 0, 0])"},
             {R"("vertices": [[0, 0, 0])", "\"vert\x01ices\": [[0, 0, 0]"},
             {R"("vertices": [[0, 0, 0])", "\"v\xC3\xA9rtices\": [[0, 0, 0]"},
             {R"("vertices": [[0, 0, 0])", "\"vertices\xFF\": [[0, 0, 0]"},
             {R"("children": [)", R"("childr\u0065n": [)"},
             {R"("name": "A")", "\"name\": \"\xFF\""},
             {R"("name": "A")", R"("n\ame": "A")"},
         }) {
        EXPECT_TRUE(Agree(Replaced(kEveryMeshMember, what, with))) << with;
    }
    ExpectStreamedAlike(
        Replaced(kEveryMeshMember, R"("vertices": [[0, 0, 0])", R"("vert\u0069ces": [[0, 0, 0])"));
}

TEST(SceneFileStream, AgreesOnMembersOutOfPlaceOrMissing) {
    for (const auto& [what, with] : std::vector<std::pair<std::string, std::string>>{
             {R"("faces": [], "vertices": [[1E2, 1e-2, -1.25E+1]])", R"("faces": [])"},
             {R"("faces": [], "vertices": [[1E2, 1e-2, -1.25E+1]])",
              R"("faces": [], "vertices": [[1E2, 1e-2, -1.25E+1]], "extra": 1)"},
             {R"({"materialId": 1, "v": [2, 1, 0]})", R"({"materialId": 1})"},
             {R"("channel": -2)", R"("channel": -2, "other": [])"},
             {R"("normals": [[0, 0, 1]])", R"("normals": [[0, 0]])"},
             {R"([0.5, 0.5, 0.25])", R"([0.5, 0.5, 0.25, 1])"},
             {R"([0.5, 0.5, 0.25])", R"([0.5])"},
             {R"([1.5, -0.0, 2e1])", R"([1.5, -0.0])"},
             {R"([1.5, -0.0, 2e1])", R"([1.5, -0.0, 2e1,])"},
             {R"("faces": [[0, 1, 0], [1, 0, 1]])", R"("faces": [[0, 1, 0], [1, 0, 1],])"},
             {R"("faces": [[0, 1, 0], [1, 0, 1]])", R"("faces": [[0, 1, 0] [1, 0, 1]])"},
             {R"("faces": [[0, 1, 0], [1, 0, 1]])", R"("faces": [[0, 1, 0], [1, 0, 9]])"},
             {R"("object": "helper")",
              R"("object": "helper", "mesh": {"vertices": [], "faces": []})"},
             {R"("name": "E")", R"("name": "E", "object": "mesh")"},
             {R"({"name": "E"})", R"(5)"},
             {R"("children": [],)", R"("children": {},)"},
             {R"("children": [],)", R"("children": [5],)"},
             {R"("mesh": {"vertices": [], "faces": []})", R"("mesh": [])"},
             {R"("nodes": [)", R"("nodes": {"x": )"},
             {R"("format": "tarvo-scene")", R"("format": "tarvo-scene", "unknown": [})"},
         }) {
        EXPECT_TRUE(Agree(Replaced(kEveryMeshMember, what, with))) << with;
    }
}

// ---- Damaged copies ----

TEST(SceneFileStream, AgreesOnDamagedCopiesOfEverySceneFile) {
    std::vector<std::string> texts = SceneFilesOfTheSources();
    texts.push_back(kEveryMeshMember);
    unsigned seed = 1;
    for (const auto& text : texts) {
        // Fewer copies of the long files: each copy is read whole twice.
        int copies = text.size() > 100000 ? 60 : 1500;
        for (const std::string& mutant : Mutants(text, copies, seed++))
            ASSERT_TRUE(Agree(mutant)) << mutant.substr(0, 2000);
    }
}

TEST(SceneFileStream, GivesTheDocumentReadersRefusalForEveryDamagedCopy) {
    unsigned seed = 100;
    for (const std::string& mutant : Mutants(kEveryMeshMember, 400, seed)) {
        std::string viaParseScene, viaDocument;
        try {
            scenefile::ParseScene(mutant, "t.tscene.json");
        } catch (const scenefile::SceneFileError& error) {
            viaParseScene = error.what();
        }
        try {
            scenefile::ParseSceneDocument(mutant, "t.tscene.json");
        } catch (const scenefile::SceneFileError& error) {
            viaDocument = error.what();
        }
        ASSERT_EQ(viaParseScene, viaDocument) << mutant;
    }
}

// ---- Long lists read in parts ----

// Every list split as finely as it goes: a part per item, four threads.
const scenefile::ListSharing kFinestSharing{1, 4};

// A strip of `quads` squares with every long list a mesh may have, each item followed by
// `comma` when another follows. Some coordinates are whole, some not.
std::string StripOfQuads(int quads, const std::string& comma = ",\n") {
    std::string vertices, faces, uvs, uvFaces, normalFaces;
    auto add = [&comma](std::string& list, const std::string& item) {
        list += (list.empty() ? "" : comma) + item;
    };
    for (int x = 0; x <= quads; ++x) {
        for (int y = 0; y < 2; ++y) {
            add(vertices, "[" + std::to_string(x) + ".25, " + std::to_string(y) + ", -0]");
            add(uvs, "[" + std::to_string(x) + "e-2, " + std::to_string(y) + "]");
        }
    }
    for (int x = 0; x < quads; ++x) {
        const int a = 2 * x, b = a + 1, c = a + 2, d = a + 3;
        for (auto corners :
             {std::to_string(a) + ", " + std::to_string(c) + ", " + std::to_string(d),
              std::to_string(a) + ", " + std::to_string(d) + ", " + std::to_string(b)}) {
            add(faces, R"({"v": [)" + corners + R"(], "smoothing": )" + std::to_string(x % 3) +
                           (x % 2 ? R"(, "materialId": 2})" : "}"));
            add(uvFaces, "[" + corners + "]");
            add(normalFaces, "[0, 0, " + std::to_string(x % 2) + "]");
        }
    }
    return R"({"format": "tarvo-scene", "version": 1, "nodes": [{"name": "S", "object": "mesh",
      "mesh": {"vertices": [)" +
           vertices + R"(], "faces": [)" + faces + R"(], "maps": [{"channel": 1, "vertices": [)" +
           uvs + R"(], "faces": [)" + uvFaces +
           R"(]}], "normals": {"normals": [[0, 0, 1], [0, 1, 0]], "faces": [)" + normalFaces +
           "]}}}]}";
}

TEST(SceneFileStream, ReadsListsSharedAmongThreadsAsInOne) {
    const scenefile::ListSharing oneThread{1, 1}, twoThreads{5, 2}, unevenParts{7, 3};
    // The surveys' 128-bit way, which a processor with 256-bit vectors would not take.
    const scenefile::ListSharing narrowVectors{5, 2, false};
    for (const std::string comma : {",\n", ",", " , ", "\n,\t", ",   \r\n  "}) {
        const std::string text = StripOfQuads(40, comma);
        for (const auto& sharing :
             {kFinestSharing, oneThread, twoThreads, unevenParts, narrowVectors})
            ExpectStreamedAlike(text, sharing);
    }
}

TEST(SceneFileStream, SurveysCountAlikeWhereverTheItemEndsAndTheCloseFallInABlock) {
    // The surveys count whole 64-byte blocks at once, reading the byte after each. Spaces at
    // the start of the first vertex move every later byte of the lists against the blocks,
    // so that over 64 shifts each item end, comma and closing bracket falls at each place of
    // a block, with and without a mark in that block, in either way of reading the blocks.
    const scenefile::ListSharing markEveryFourItems{64, 2}, markEveryFourNarrow{64, 2, false};
    scenefile::ListSharing defaultNarrow = scenefile::DefaultListSharing();
    defaultNarrow.wideVectors = false;
    for (const std::string comma : {",\n", " ,"}) {
        const std::string strip = StripOfQuads(20, comma);
        for (int shift = 0; shift < 64; ++shift) {
            const std::string text =
                Replaced(strip, R"("vertices": [[)", R"("vertices": [[)" + std::string(shift, ' '));
            for (const auto& sharing : {markEveryFourItems, markEveryFourNarrow,
                                        scenefile::DefaultListSharing(), defaultNarrow})
                ExpectStreamedAlike(text, sharing);
        }
    }
}

// Two meshes of StripOfQuads(quads); the second node's name looks like a list of arrays, so
// that the lists guessed ahead after the first mesh begin with one the scanner never reads.
std::string TwoStripsWithADecoyBetween(int quads) {
    const std::string strip = StripOfQuads(quads);
    // The text ends with the mesh's, the node's and the node list's closes, then the scene's.
    const std::string closes = "}}]}";
    const std::size_t mesh = strip.find(R"("mesh": {)");
    const std::size_t meshEnd = strip.size() - closes.size() + 1;
    return strip.substr(0, meshEnd + 1) + R"(, {"name": "[[0], [1]]", "object": "mesh", )" +
           strip.substr(mesh, meshEnd - mesh) + "}]}";
}

TEST(SceneFileStream, ReadsAlikeWhetherListsGuessedAheadAreTheScannersOrNot) {
    // With parts of 5 items the normals' list of two is read on one thread, so the lists
    // after the UV faces are guessed through it to the normals' faces, and after the first
    // mesh's last list through the decoy to the second mesh's vertices.
    const std::string text = TwoStripsWithADecoyBetween(40);
    const scenefile::ListSharing twoThreads{5, 2}, threeThreads{7, 3};
    for (const auto& sharing : {kFinestSharing, twoThreads, threeThreads}) {
        ExpectStreamedAlike(text, sharing);
        auto scene = scenefile::ParseSceneStreaming(text, "t.tscene.json", "", sharing);
        ASSERT_TRUE(scene);
        ASSERT_EQ(scene->nodes.size(), 2u);
        EXPECT_EQ(scene->nodes[1].name, "[[0], [1]]");
        EXPECT_EQ(scene->nodes[1].mesh.vertices.size(), 82u);
        EXPECT_EQ(scene->nodes[1].mesh.normals->faces.size(), 80u);
    }
}

TEST(SceneFileStream, RefusesACornerOutOfRangeInAnyFaceListReadInParts) {
    // The last face of each face list given a corner one past its vertices, so that only the
    // largest corner of the list's last part is out of range.
    const std::string text = StripOfQuads(40);
    const std::vector<std::array<std::string, 3>> damages = {
        {R"({"v": [78, 81, 79])", R"({"v": [78, 82, 79])", "/nodes/0/mesh/faces/79/v"},
        {"[78, 81, 79]]}]", "[78, 81, 82]]}]", "/nodes/0/mesh/maps/0/faces/79"},
        {"[0, 0, 1]]}}}]}", "[0, 2, 1]]}}}]}", "/nodes/0/mesh/normals/faces/79"}};
    const scenefile::ListSharing twoThreads{5, 2};
    for (const auto& [good, bad, place] : damages) {
        const std::string damaged = Replaced(text, good, bad);
        for (const auto& sharing : {kFinestSharing, twoThreads, scenefile::DefaultListSharing()})
            EXPECT_FALSE(scenefile::ParseSceneStreaming(damaged, "t.tscene.json", "", sharing))
                << place;
        std::string refusal;
        try {
            scenefile::ParseScene(damaged, "t.tscene.json");
        } catch (const scenefile::SceneFileError& error) {
            refusal = error.what();
        }
        EXPECT_NE(refusal.find(place + ": index"), std::string::npos) << refusal;
    }
}

TEST(SceneFileStream, AgreesOnDamagedCopiesReadInParts) {
    unsigned seed = 200;
    const scenefile::ListSharing finestNarrow{1, 4, false};
    for (const std::string& text : {kEveryMeshMember, StripOfQuads(12), StripOfQuads(12, " ,")})
        for (const std::string& mutant : Mutants(text, 1500, seed++)) {
            ASSERT_TRUE(Agree(mutant, kFinestSharing)) << mutant;
            ASSERT_TRUE(Agree(mutant, finestNarrow)) << mutant;
        }
    // Parts of two items, so that short lists between long ones are surveyed ahead in a run.
    const scenefile::ListSharing twoItemParts{2, 2};
    for (const std::string& mutant : Mutants(TwoStripsWithADecoyBetween(6), 1500, seed++))
        ASSERT_TRUE(Agree(mutant, twoItemParts)) << mutant;
}

TEST(SceneFileStream, NamesTheFirstFaultInTheFileWhenSeveralPartsHaveOne) {
    // Long enough for the default sharing to read the vertices in more than one part.
    const int quads = 2 * static_cast<int>(scenefile::ListSharing{}.minItemsPerPart);
    std::string text = StripOfQuads(quads);
    const std::string first = "[3.25, 0, -0]",
                      last = "[" + std::to_string(quads - 1) + ".25, 1, -0]";
    text = Replaced(Replaced(text, last, "[1e99, 1, -0]"), first, "[3.25, \"0\", -0]");
    std::string refusal;
    try {
        scenefile::ParseScene(text, "t.tscene.json");
    } catch (const scenefile::SceneFileError& error) {
        refusal = error.what();
    }
    EXPECT_EQ(refusal,
              "t.tscene.json: /nodes/0/mesh/vertices/6/1: expected a number, found a string");
}

// ---- Depth ----

TEST(SceneFileStream, ReadsAChainAsDeepAsTheLimitWithoutDeepRecursion) {
    const std::string text = testscenes::NodeChainText(testscenes::kDeepestChain);
    std::optional<scene::SceneData> scene;
    testscenes::RunOnSmallStack(
        [&] { scene = scenefile::ParseSceneStreaming(text, "deep.tscene.json"); });
    ASSERT_TRUE(scene);
    ASSERT_EQ(scene->nodes.size(), static_cast<std::size_t>(testscenes::kDeepestChain));
    EXPECT_EQ(scene->nodes.back().parent, testscenes::kDeepestChain - 2);
}

TEST(SceneFileStream, GivesUpOnAChainDeeperThanTheLimitWithoutDeepRecursion) {
    const std::string text = testscenes::NodeChainText(testscenes::kDeepestChain + 1);
    std::optional<scene::SceneData> scene;
    testscenes::RunOnSmallStack(
        [&] { scene = scenefile::ParseSceneStreaming(text, "deep.tscene.json"); });
    EXPECT_FALSE(scene);
}

TEST(SceneFileStream, GivesUpOnDeeplyNestedValuesWithoutDeepRecursion) {
    // Nesting the document reader refuses (an array where a name belongs), far deeper than a
    // call per level could go on the small stack.
    const int levels = 100000;
    std::string text = R"({"format": "tarvo-scene", "version": 1, "nodes": [{"name": )" +
                       std::string(levels, '[') + std::string(levels, ']') + "}]}";
    std::optional<scene::SceneData> scene;
    testscenes::RunOnSmallStack(
        [&] { scene = scenefile::ParseSceneStreaming(text, "deep.tscene.json"); });
    EXPECT_FALSE(scene);
}
