#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "XTestSupport.h"
#include "platform/d3dx/XParser.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

struct ReadResult {
    HRESULT hr;
    d3dx::XFileContents contents;
    d3dx::XReadError error;
};

ReadResult Read(const std::string& text) {
    ReadResult result;
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    result.hr = d3dx::ReadXImage(bytes, d3dx::StandardTemplates(), result.contents, &result.error);
    return result;
}

float FloatAt(const std::vector<std::uint8_t>& payload, std::size_t index) {
    float value;
    std::memcpy(&value, payload.data() + 4 * index, 4);
    return value;
}

TEST(Reader, LenientTextAsOtherWritersSpellIt) {
    // Comments of both kinds, CR LF, spaces inside the GUID brackets, integer-looking and
    // exponent floats, single ';' after a matrix, '1.#IND00', extra separators.
    auto result = Read(
        "xof 0302txt 0064\r\n"
        "# a comment\r\n"
        "template Local { < 01234567-89AB-CDEF-0123-456789ABCDEF > DWORD n; array FLOAT f[n]; }\r\n"
        "Frame Root { // another comment\r\n"
        "  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1.5e1,-2,0.25,1; }\r\n"
        "  Local Values { 3; -1.#IND00; 2.0;,, 3;; }\r\n"
        "}\r\n");
    ASSERT_EQ(result.hr, S_OK) << result.error.message;
    ASSERT_EQ(result.contents.objects.size(), 1u);
    const auto& root = result.contents.objects[0];
    ASSERT_EQ(root.children.size(), 2u);
    const auto& matrix = root.children[0].object->payload;
    ASSERT_EQ(matrix.size(), 64u);
    EXPECT_EQ(FloatAt(matrix, 12), 15.0f);
    EXPECT_EQ(FloatAt(matrix, 13), -2.0f);
    const auto& local = *root.children[1].object;
    EXPECT_EQ(local.templateName, "Local");
    ASSERT_EQ(local.payload.size(), 16u);
    EXPECT_TRUE(std::isnan(FloatAt(local.payload, 1)));
    EXPECT_EQ(FloatAt(local.payload, 3), 3.0f);
    EXPECT_EQ(result.contents.minorVersion, 2);
    EXPECT_EQ(result.contents.floatBits, 64);
}

// Digits without a point in a float member are the number they spell, however many there
// are; only an integer member needs them to fit.
TEST(Reader, IntegerLookingFloatsKeepTheirValuePast64Bits) {
    for (const char* header : {"xof 0303txt 0032\n", "xof 0303txt 0064\n"}) {
        auto result =
            Read(std::string(header) + "Vector Big { 100000000000000000000; 16777217; -3; }\n");
        ASSERT_EQ(result.hr, S_OK) << result.error.message;
        const auto& payload = result.contents.objects.at(0).payload;
        ASSERT_EQ(payload.size(), 12u);
        EXPECT_EQ(FloatAt(payload, 0), 1e20f) << header;        // not 2^64, the largest integer
        EXPECT_EQ(FloatAt(payload, 1), 16777216.0f) << header;  // the nearest float
    }
    auto tooBig = Read("xof 0303txt 0032\nMeshFace F { 100000000000000000000; }\n");
    EXPECT_TRUE(FAILED(tooBig.hr));
}

TEST(Reader, BinaryWith64BitFloatsAndSplitLists) {
    // A Vector whose three floats arrive as doubles in two lists, after a template
    // defined in the file.
    std::vector<std::uint8_t> file = {'x', 'o', 'f', ' ', '0', '3', '0', '3',
                                      'b', 'i', 'n', ' ', '0', '0', '6', '4'};
    auto word = [&](unsigned v) {
        file.push_back(v & 0xFF);
        file.push_back(v >> 8);
    };
    auto dword = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file.push_back((v >> (8 * i)) & 0xFF);
    };
    auto name = [&](const std::string& s) {
        word(1);
        dword(static_cast<std::uint32_t>(s.size()));
        file.insert(file.end(), s.begin(), s.end());
    };
    auto doubles = [&](std::initializer_list<double> values) {
        word(7);
        dword(static_cast<std::uint32_t>(values.size()));
        for (double v : values) {
            std::uint64_t bits;
            std::memcpy(&bits, &v, 8);
            dword(bits & 0xFFFFFFFF);
            dword(bits >> 32);
        }
    };
    name("Vector");
    name("V");
    word(10);
    word(6);
    dword(0);  // an empty list is allowed and carries nothing
    doubles({0.1, -2.5});
    doubles({1e300});  // beyond float range: an infinity
    word(11);
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    ASSERT_EQ(d3dx::ReadXImage(file, d3dx::StandardTemplates(), contents, &error), S_OK)
        << error.message;
    ASSERT_EQ(contents.objects.size(), 1u);
    const auto& payload = contents.objects[0].payload;
    ASSERT_EQ(payload.size(), 12u);
    EXPECT_EQ(FloatAt(payload, 0), 0.1f);
    EXPECT_EQ(FloatAt(payload, 1), -2.5f);
    EXPECT_TRUE(std::isinf(FloatAt(payload, 2)));
}

// Each malformed input: its result code, and a message that names the offset.
TEST(Reader, MalformedInputGivesCodeAndOffset) {
    struct Case {
        const char* what;
        std::string data;
        HRESULT hr;
        std::size_t offset;
    };
    const Case cases[] = {
        {"no magic", "XOF 0303txt 0032\n", D3DXFERR_BADFILETYPE, 0},
        {"short header", "xof 03", D3DXFERR_BADFILETYPE, 0},
        {"version", "xof 0304txt 0032\n", D3DXFERR_BADFILEVERSION, 4},
        {"form", "xof 0303cmp 0032\n", D3DXFERR_BADFILETYPE, 8},
        {"float size", "xof 0303txt 0048\n", D3DXFERR_BADFILEFLOATSIZE, 12},
        {"unknown template", "xof 0303txt 0032\nFrame A {\n Nonsense B { }\n}\n",
         D3DXFERR_PARSEERROR, 28},
        {"open string", "xof 0303txt 0032\nTextureFilename { \"abc; }\n", D3DXFERR_PARSEERROR, 35},
        {"missing brace", "xof 0303txt 0032\nFrame A {\n", D3DXFERR_PARSEERROR, 27},
        {"float for DWORD", "xof 0303txt 0032\nMesh { 1.5; }\n", D3DXFERR_PARSEERROR, 24},
        {"DWORD overflow", "xof 0303txt 0032\nMesh { 4294967296; }\n", D3DXFERR_PARSEERROR, 24},
        {"zero byte in string",
         std::string("xof 0303txt 0032\nTextureFilename { \"a\0b\"; }\n", 42), D3DXFERR_PARSEERROR,
         35},
        {"string for float", "xof 0303txt 0032\nVector { \"x\"; }\n", D3DXFERR_PARSEERROR, 26},
        {"truncated binary", std::string("xof 0303bin 0032\x01\x00\x05\x00\x00\x00Fr", 24),
         D3DXFERR_PARSEERROR, 16},
        {"unknown token", std::string("xof 0303bin 0032\x63\x00", 18), D3DXFERR_PARSEERROR, 16},
        {"list past the end",
         std::string("xof 0303bin 0032\x06\x00\xff\xff\xff\x7f\x01\x00\x00\x00", 26),
         D3DXFERR_PARSEERROR, 16},
        {"bad compressed size", std::string("xof 0303bzip0032\x05\x00\x00\x00", 20),
         D3DXFERR_BADFILE, 16},
    };
    for (const Case& c : cases) {
        auto result = Read(c.data);
        EXPECT_EQ(result.hr, c.hr) << c.what << ": " << result.error.message;
        EXPECT_EQ(result.error.offset, c.offset) << c.what << ": " << result.error.message;
        EXPECT_NE(result.error.message.find("byte " + std::to_string(c.offset) + ":"),
                  std::string::npos)
            << c.what << ": " << result.error.message;
    }
}

TEST(Reader, DeepNestingIsRefusedNotOverflowed) {
    std::string text = "xof 0303txt 0032\n";
    for (std::size_t i = 0; i <= d3dx::kMaxObjectDepth; ++i) text += "Frame {";
    auto result = Read(text);
    EXPECT_EQ(result.hr, D3DXFERR_PARSEERROR);
    EXPECT_NE(result.error.message.find("nested too deeply"), std::string::npos)
        << result.error.message;
}

TEST(Reader, FileErrorsNameTheFile) {
    tarvo::testsupport::TempDir dir;
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    std::string missing = dir.File("absent.x");
    EXPECT_EQ(d3dx::ReadXFile(missing, d3dx::StandardTemplates(), contents, &error),
              D3DXFERR_FILENOTFOUND);
    EXPECT_EQ(error.message, missing + ": file not found");
    std::string broken = dir.File("broken.x");
    xtest::WriteBytes(broken, {'x', 'o', 'f', ' ', '0', '3', '0', '3', 't', 'x', 't', ' ', '0', '0',
                               '3', '2', '{'});
    EXPECT_EQ(d3dx::ReadXFile(broken, d3dx::StandardTemplates(), contents, &error),
              D3DXFERR_PARSEERROR);
    EXPECT_EQ(error.message.rfind(broken + ": byte 16: ", 0), 0u) << error.message;
}

// Damaged copies of valid files in every form: the reader must answer, never crash.
TEST(Reader, SurvivesRandomDamage) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    std::mt19937 random(99);
    for (const auto& form : xtest::kAllFormats) {
        std::string path = dir.File(std::string(form.name) + ".x");
        ID3DXFileSaveObject* save = nullptr;
        ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, form.format,
                                                  &save),
                  S_OK);
        d3dx::XPayloadWriter mesh;
        mesh.Dword(3).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Dword(1).Dwords({3, 0, 1, 2});
        ID3DXFileSaveData* frame = nullptr;
        ASSERT_EQ(xtest::AddTo(save, TID_D3DRMFrame, "F", {}, &frame), S_OK);
        ASSERT_EQ(xtest::AddTo(frame, TID_D3DRMMesh, "M", mesh), S_OK);
        frame->Release();
        ASSERT_EQ(save->Save(), S_OK);
        save->Release();
        auto original = xtest::ReadBytes(path);
        int failures = 0;
        for (int trial = 0; trial < 3000; ++trial) {
            auto damaged = original;
            int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits; ++e) {
                std::size_t at = 16 + random() % (damaged.size() - 16);
                switch (random() % 3) {
                    case 0:
                        damaged[at] = static_cast<std::uint8_t>(random());
                        break;
                    case 1:
                        damaged.resize(at);
                        break;
                    default:
                        damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(at),
                                       static_cast<std::uint8_t>(random()));
                        break;
                }
                if (damaged.size() <= 16) break;
            }
            d3dx::XFileContents contents;
            d3dx::XReadError error;
            if (FAILED(d3dx::ReadXImage(damaged, d3dx::StandardTemplates(), contents, &error))) {
                ++failures;
                EXPECT_FALSE(error.message.empty());
            }
        }
        EXPECT_GT(failures, 0) << form.name;
    }
}

}  // namespace
