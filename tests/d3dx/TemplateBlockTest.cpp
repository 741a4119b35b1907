// The template definitions a saved file carries: templates registered by the application,
// with their restrictions and array sizes as registered, in every form; names the text form
// cannot hold; and a file with no data.
#include <gtest/gtest.h>

#include <string>

#include "XTestSupport.h"
#include "platform/d3dx/XBinaryTokens.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

using d3dx::XPayloadWriter;
using xtest::AddTo;

constexpr GUID kGridGuid =
    MakeGuid(0xB5C3B8A0, 0x5E1D, 0x4C47, 0x9C, 0x55, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB);

// An application template with a two-dimensional array, a fixed array of a standard
// template and a restriction that names one child by GUID and one by name.
constexpr const char* kGridDefinition =
    "template Grid {\n"
    " <B5C3B8A0-5E1D-4C47-9C55-0123456789AB>\n"
    " DWORD rows;\n"
    " array WORD cells[rows][3];\n"
    " array Vector corners[2];\n"
    " [Material <3D82AB4D-62DA-11CF-AB39-0020AF71E433>, Frame]\n"
    "}\n";

constexpr const char* kVectorDefinition =
    "template Vector {\n"
    " <3D82AB5E-62DA-11CF-AB39-0020AF71E433>\n"
    " FLOAT x;\n"
    " FLOAT y;\n"
    " FLOAT z;\n"
    "}\n";

std::vector<std::uint8_t> GridPayload() {
    XPayloadWriter grid;
    grid.Dword(2).Word(1).Word(2).Word(3).Word(4).Word(5).Word(6).Floats({0, 0, 0, 1, 2, 3});
    const auto* bytes = static_cast<const std::uint8_t*>(grid.Data());
    return {bytes, bytes + grid.Size()};
}

std::string SaveGrid(const tarvo::testsupport::TempDir& dir, D3DXF_FILEFORMAT format) {
    xtest::StandardFile standard;
    std::string block = std::string("xof 0303txt 0032\n") + kGridDefinition;
    EXPECT_EQ(standard.file->RegisterTemplates(block.data(), block.size()), S_OK);
    std::string path = dir.File("grid" + std::to_string(format) + ".x");
    ID3DXFileSaveObject* save = nullptr;
    EXPECT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save),
              S_OK);
    auto payload = GridPayload();
    ID3DXFileSaveData* grid = nullptr;
    EXPECT_EQ(
        save->AddDataObject(kGridGuid, "Small", nullptr, payload.size(), payload.data(), &grid),
        S_OK);
    EXPECT_EQ(AddTo(grid, TID_D3DRMFrame, "Inside", {}), S_OK);
    grid->Release();
    EXPECT_EQ(save->Save(), S_OK);
    save->Release();
    return path;
}

TEST(TemplateBlock, ApplicationTemplatesAreWrittenAsRegisteredInEveryForm) {
    tarvo::testsupport::TempDir dir;
    // The grid's member template first; the frame child's template after the grid.
    const std::string definitions = std::string("\n") + kVectorDefinition + "\n" + kGridDefinition +
                                    "\n"
                                    "template Frame {\n"
                                    " <3D82AB46-62DA-11CF-AB39-0020AF71E433>\n"
                                    " [...]\n"
                                    "}\n";
    auto text = xtest::ReadBytes(SaveGrid(dir, D3DXF_FILEFORMAT_TEXT));
    const std::string expectedStart = "xof 0303txt 0032\n" + definitions + "\nGrid Small {\n";
    ASSERT_GE(text.size(), expectedStart.size());
    EXPECT_EQ(
        std::string(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(expectedStart.size())),
        expectedStart);

    auto binary = xtest::ReadBytes(SaveGrid(dir, D3DXF_FILEFORMAT_BINARY));
    d3dx::XBytes tokens = d3dx::TokeniseTemplateText("xof 0303txt 0032\n" + definitions);
    tokens.erase(tokens.begin(), tokens.begin() + 16);
    ASSERT_GE(binary.size(), 16 + tokens.size());
    EXPECT_TRUE(std::equal(tokens.begin(), tokens.end(), binary.begin() + 16));

    for (const auto& form : xtest::kAllFormats) {
        SCOPED_TRACE(form.name);
        std::string path = SaveGrid(dir, form.format);
        for (const auto& known : xtest::ReaderTemplateChoices()) {
            SCOPED_TRACE(known.name);
            auto contents = xtest::ReadBackWith(path, known.registry);
            ASSERT_EQ(contents.objects.size(), 1u);
            const auto& grid = contents.objects[0];
            EXPECT_EQ(grid.templateGuid, kGridGuid);
            EXPECT_EQ(grid.payload, GridPayload());
            ASSERT_EQ(grid.children.size(), 1u);
            EXPECT_EQ(grid.children[0].object->name, "Inside");
            const d3dx::XTemplate* read = contents.templates.FindByGuid(kGridGuid);
            ASSERT_NE(read, nullptr);
            ASSERT_EQ(read->allowedChildren.size(), 2u);
            EXPECT_EQ(read->allowedChildren[0].guid, TID_D3DRMMaterial);
            EXPECT_FALSE(read->allowedChildren[1].guid.has_value());
        }
    }
}

// A binary template block may hold names that text cannot: a space in a template name, a
// keyword as a member name. The text save refuses them; the binary save carries them.
TEST(TemplateBlock, NamesTextCannotHoldFailTheTextSaveOnly) {
    struct Case {
        const char* templateName;
        const char* memberName;
    };
    for (const Case& odd : {Case{"Odd Name", "value"}, Case{"Odd", "array"}}) {
        SCOPED_TRACE(odd.templateName + std::string(" / ") + odd.memberName);
        constexpr GUID kOddGuid = MakeGuid(0x0DD0DD00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10);
        d3dx::XBytes block = {'x', 'o', 'f', ' ', '0', '3', '0', '3',
                              'b', 'i', 'n', ' ', '0', '0', '3', '2'};
        d3dx::AppendToken(block, d3dx::XTokenKind::Template);
        d3dx::AppendCountedToken(block, d3dx::XTokenKind::Name, odd.templateName);
        d3dx::AppendToken(block, d3dx::XTokenKind::OBrace);
        d3dx::AppendGuidToken(block, kOddGuid);
        d3dx::AppendToken(block, d3dx::XTokenKind::Dword);
        d3dx::AppendCountedToken(block, d3dx::XTokenKind::Name, odd.memberName);
        d3dx::AppendToken(block, d3dx::XTokenKind::Semicolon);
        d3dx::AppendToken(block, d3dx::XTokenKind::CBrace);

        tarvo::testsupport::TempDir dir;
        xtest::StandardFile standard;
        ASSERT_EQ(standard.file->RegisterTemplates(block.data(), block.size()), S_OK);
        XPayloadWriter value;
        value.Dword(7);
        for (const auto& form : xtest::kAllFormats) {
            std::string path = dir.File(std::string(form.name) + ".x");
            ID3DXFileSaveObject* save = nullptr;
            ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                                      form.format, &save),
                      S_OK);
            ASSERT_EQ(save->AddDataObject(kOddGuid, nullptr, nullptr, value.Size(), value.Data(),
                                          nullptr),
                      S_OK);
            HRESULT saved = save->Save();
            save->Release();
            if ((form.format & D3DXF_FILEFORMAT_TEXT) != 0) {
                EXPECT_EQ(saved, D3DXFERR_BADVALUE);
                EXPECT_TRUE(dir.Entries().empty());
                continue;
            }
            ASSERT_EQ(saved, S_OK) << form.name;
            auto contents = xtest::ReadBackWith(path, {});
            ASSERT_EQ(contents.objects.size(), 1u);
            EXPECT_EQ(contents.objects[0].templateName, odd.templateName);
            EXPECT_EQ(contents.objects[0].payload, std::vector<std::uint8_t>({7, 0, 0, 0}));
        }
    }
}

TEST(TemplateBlock, FileWithoutDataHoldsNoDefinitions) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    for (const auto& [format, expected] :
         {std::pair{D3DXF_FILEFORMAT_TEXT, "xof 0303txt 0032\n"},
          std::pair{D3DXF_FILEFORMAT_BINARY, "xof 0303bin 0032"}}) {
        std::string path = dir.File("empty" + std::to_string(format) + ".x");
        ID3DXFileSaveObject* save = nullptr;
        ASSERT_EQ(
            standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save),
            S_OK);
        ASSERT_EQ(save->Save(), S_OK);
        save->Release();
        auto bytes = xtest::ReadBytes(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
    }
}

}  // namespace
