// Texture file names and the image files converted or copied beside the .X file.
#include <gtest/gtest.h>

#include <filesystem>

#include "MaterialTestSupport.h"
#include "material/Materials.h"
#include "tests/support/TestFiles.h"

namespace {

using namespace mattest;
using tarvo::scene::SceneData;
namespace fs = std::filesystem;

TEST(TextureFileName, FileNameAfterEitherSeparator) {
    EXPECT_EQ(TextureFileName("C:\\maps\\brick.jpg", nullptr, false), "brick.jpg");
    EXPECT_EQ(TextureFileName("maps/brick.jpg", nullptr, false), "brick.jpg");
    EXPECT_EQ(TextureFileName("C:\\maps/mixed\\brick.jpg", nullptr, false), "brick.jpg");
    EXPECT_EQ(TextureFileName("brick.jpg", nullptr, false), "brick.jpg");
    EXPECT_EQ(TextureFileName("", nullptr, false), "");
    EXPECT_EQ(TextureFileName("", "png", true), "");
}

TEST(TextureFileName, FullPathIsKeptWithTheNewExtension) {
    EXPECT_EQ(TextureFileName("C:\\maps\\brick.jpg", nullptr, true), "C:\\maps\\brick.jpg");
    EXPECT_EQ(TextureFileName("C:\\maps\\brick.jpg", "png", true), "C:\\maps\\brick.png");
    EXPECT_EQ(TextureFileName("C:\\maps\\brick.jpg", "png", false), "brick.png");
}

TEST(TextureFileName, OnlyTheFileNamesExtensionChanges) {
    EXPECT_EQ(TextureFileName("maps/brick.jpeg", "tga", false), "brick.tga");
    EXPECT_EQ(TextureFileName("maps/v1.2/brick", "tga", true), "maps/v1.2/brick.tga");
    EXPECT_EQ(TextureFileName("maps\\v1.2\\brick", "bmp", false), "brick.bmp");
    EXPECT_EQ(TextureFileName("maps/v1.2/brick.old.png", "jpg", true), "maps/v1.2/brick.old.jpg");
}

TEST(NearestPowerOfTwo, RoundsUpFromThreeQuarters) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0, 1},      {1, 1},       {3, 4},       {5, 4},
        {6, 8},      {47, 32},     {48, 64},     {96, 128},
        {191, 128},  {192, 256},   {200, 256},   {300, 256},
        {768, 1024}, {1500, 1024}, {2048, 2048}, {0xFFFFFFFFu, 0x80000000u}};
    for (auto [v, expected] : cases) EXPECT_EQ(NearestPowerOfTwo(v), expected) << v;
}

TEST(TextureFormatTable, CodesNameTheirExtensions) {
    EXPECT_STREQ(TextureFormatOf(kTextureFormatBmp).extension, "bmp");
    EXPECT_STREQ(TextureFormatOf(kTextureFormatJpg).extension, "jpg");
    EXPECT_STREQ(TextureFormatOf(kTextureFormatPng).extension, "png");
    EXPECT_STREQ(TextureFormatOf(kTextureFormatTga).extension, "tga");
    EXPECT_STREQ(TextureFormatOf(7).extension, "bmp") << "a code outside the table";
}

// Writes a width × height image of one colour through the bitmap module.
void WriteTestImage(const std::string& path, int width, int height, WORD red) {
    BitmapInfo info(path.c_str());
    info.SetWidth(static_cast<WORD>(width));
    info.SetHeight(static_cast<WORD>(height));
    Bitmap* image = TheManager->Create(&info);
    ASSERT_NE(image, nullptr);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image->PutPixel(x, y, BMM_Color_64{red, 0, 0, 0xFFFF});
    ASSERT_EQ(image->OpenOutput(&info), BMMRES_SUCCESS);
    ASSERT_EQ(image->Write(&info), BMMRES_SUCCESS);
    ASSERT_EQ(image->Close(&info), 1);
    image->DeleteThis();
}

struct ImageSize {
    int width = 0, height = 0;
    friend bool operator==(const ImageSize&, const ImageSize&) = default;
};
ImageSize SizeOf(const std::string& path) {
    BitmapInfo info(path.c_str());
    Bitmap* image = TheManager->Load(&info);
    if (image == nullptr) return {};
    ImageSize size{image->Width(), image->Height()};
    image->DeleteThis();
    return size;
}

std::string Magic(const std::string& path, std::size_t bytes) {
    return tarvo::testsupport::ReadText(path).substr(0, bytes);
}

// The TextureFilename that WriteTextureFilename adds for the map under a Material of a new
// file, with the exporter's options and output folder; "(none)" when it adds none. The copy
// mode is reached this way only: the settings store texMapConv as a flag.
std::string WriteTextureDirectly(TarvoDirectXMaxExporter& exporter, BitmapTex& map,
                                 D3DXF_FILEFORMAT format, const std::string& path) {
    xtest::StandardFile file;
    ComRef<ID3DXFileSaveObject> save;
    EXPECT_EQ(file.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, save.Put()),
              S_OK);
    ComRef<ID3DXFileSaveData> material;
    PackedMaterial colours;
    EXPECT_EQ(save->AddDataObject(TID_D3DRMMaterial, "M", nullptr, sizeof colours, &colours,
                                  material.Put()),
              S_OK);
    WriteTextureFilename(exporter, &map, material.Get());
    material.Reset();
    EXPECT_EQ(save->Save(), S_OK);
    auto contents = xtest::ReadBack(path);
    auto textures = AllOf(contents, "TextureFilename");
    return textures.size() == 1 ? ReadString(*textures[0]) : std::string("(none)");
}

// A texture path with backslashes, named as it is.
std::string WrittenTexturePath(D3DXF_FILEFORMAT format, std::int32_t fileType,
                               const std::string& path) {
    TarvoDirectXMaxExporter exporter;
    exporter.options.texMapConv = kTexMapNone;
    exporter.options.texFullPath = 1;
    exporter.options.xFileType = fileType;
    BitmapTex map("C:\\maps\\brick.jpg", "C:\\maps\\brick.jpg");
    return WriteTextureDirectly(exporter, map, format, path);
}

class TextureFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(m_source.Path() / "maps");
        fs::create_directories(m_output.Path());
    }
    std::string Source(const std::string& name) const { return m_source.File("maps/" + name); }
    std::string Output(const std::string& name) const { return m_output.File(name); }

    // One mesh with one standard material per map file, each in the diffuse slot.
    ExportResult Export(const std::vector<std::string>& maps, const ExportOptions& options) {
        SceneData scene;
        scene.baseDirectory = m_source.Path().string();
        for (std::size_t i = 0; i < maps.size(); ++i) {
            auto material = StandardMaterial("M" + std::to_string(i), Color(0.5f, 0.5f, 0.5f));
            material.maps.push_back(BitmapSlot(tarvo::scene::ID_DI, maps[i]));
            scene.materials.push_back(material);
            scene.nodes.push_back(MeshNode("Box" + std::to_string(i), static_cast<int>(i), {0}));
        }
        ExportResult run = RunExport(std::move(scene), options, Output("scene.x"));
        EXPECT_EQ(run.result, 1);
        return run;
    }
    static ExportOptions Convert(std::int32_t format) {
        ExportOptions options = MaterialOptions();
        options.texMapConv = kTexMapConvert;
        options.textureFormat = format;
        return options;
    }
    static std::vector<std::string> TextureNames(const ExportResult& run) {
        std::vector<std::string> names;
        for (const auto* texture : AllOf(run.contents, "TextureFilename"))
            names.push_back(ReadString(*texture));
        return names;
    }

    tarvo::testsupport::TempDir m_source{"tarvo-texture-src"};
    tarvo::testsupport::TempDir m_output{"tarvo-texture-out"};
};

TEST_F(TextureFiles, ConvertWritesTheChosenFormatBesideTheFile) {
    WriteTestImage(Source("brick.jpg"), 64, 32, 0xFFFF);
    ExportOptions options = Convert(kTextureFormatPng);
    ExportResult run = Export({"maps/brick.jpg"}, options);
    EXPECT_EQ(TextureNames(run), std::vector<std::string>{"brick.png"});
    EXPECT_EQ(Magic(Output("brick.png"), 4), "\x89PNG");
    EXPECT_EQ(SizeOf(Output("brick.png")), (ImageSize{64, 32}));
    EXPECT_EQ(LinesStarting(run.debugLines, "Texture written: ").size(), 1u);

    options.texFullPath = 1;
    options.textureFormat = kTextureFormatBmp;
    run = Export({"maps/brick.jpg"}, options);
    EXPECT_EQ(TextureNames(run), std::vector<std::string>{Output("brick.bmp")});
    EXPECT_EQ(Magic(Output("brick.bmp"), 2), "BM");
}

TEST_F(TextureFiles, EveryFormatOfTheTableIsWrittenAndReadsBack) {
    WriteTestImage(Source("brick.png"), 16, 16, 0x8000);
    const std::pair<std::int32_t, const char*> formats[] = {{kTextureFormatBmp, "brick.bmp"},
                                                            {kTextureFormatJpg, "brick.jpg"},
                                                            {kTextureFormatPng, "brick.png"},
                                                            {kTextureFormatTga, "brick.tga"}};
    for (auto [format, name] : formats) {
        ExportResult run = Export({"maps/brick.png"}, Convert(format));
        EXPECT_EQ(TextureNames(run), std::vector<std::string>{name});
        EXPECT_EQ(SizeOf(Output(name)), (ImageSize{16, 16})) << name;
    }
    EXPECT_EQ(Magic(Output("brick.jpg"), 2), "\xFF\xD8");
}

TEST_F(TextureFiles, ScalingGoesToPowersOfTwoOnlyWhenAsked) {
    WriteTestImage(Source("wide.png"), 300, 200, 0xFFFF);
    WriteTestImage(Source("even.png"), 256, 128, 0xFFFF);
    ExportOptions options = Convert(kTextureFormatTga);
    options.texScale = 1;
    ExportResult run = Export({"maps/wide.png", "maps/even.png"}, options);
    EXPECT_EQ(SizeOf(Output("wide.tga")), (ImageSize{256, 256}));
    EXPECT_EQ(SizeOf(Output("even.tga")), (ImageSize{256, 128}));
    EXPECT_EQ(LinesStarting(run.debugLines, "Scaling bitmap"),
              std::vector<std::string>{"Scaling bitmap to x: 256 y: 256 "});

    fs::remove(Output("wide.tga"));
    options.texScale = 0;
    run = Export({"maps/wide.png"}, options);
    EXPECT_EQ(SizeOf(Output("wide.tga")), (ImageSize{300, 200}));
    EXPECT_TRUE(LinesStarting(run.debugLines, "Scaling bitmap").empty());
}

TEST_F(TextureFiles, ConvertOverwritesOnlyWhenAsked) {
    WriteTestImage(Source("brick.png"), 8, 8, 0xFFFF);
    xtest::WriteBytes(Output("brick.bmp"), {'o', 'l', 'd'});
    ExportOptions options = Convert(kTextureFormatBmp);
    options.overwriteTex = 0;
    ExportResult run = Export({"maps/brick.png"}, options);
    EXPECT_EQ(tarvo::testsupport::ReadText(Output("brick.bmp")), "old");
    EXPECT_EQ(TextureNames(run), std::vector<std::string>{"brick.bmp"}) << "named all the same";
    EXPECT_EQ(LinesStarting(run.debugLines, "Texture " + Output("brick.bmp") + " exists").size(),
              1u);
    options.overwriteTex = 1;
    Export({"maps/brick.png"}, options);
    EXPECT_EQ(SizeOf(Output("brick.bmp")), (ImageSize{8, 8}));
}

TEST_F(TextureFiles, SameImageForTwoMaterialsIsConvertedOnceWithoutOverwrite) {
    WriteTestImage(Source("brick.png"), 8, 8, 0xFFFF);
    ExportResult run = Export({"maps/brick.png", "maps/brick.png"}, Convert(kTextureFormatBmp));
    EXPECT_EQ(LinesStarting(run.debugLines, "Texture written: ").size(), 1u);
    EXPECT_EQ(LinesStarting(run.debugLines, "Warning").size(), 0u);
    EXPECT_EQ(TextureNames(run), (std::vector<std::string>{"brick.bmp", "brick.bmp"}));
}

TEST_F(TextureFiles, CopyKeepsAnExistingFileWhateverOverwriteSays) {
    WriteTestImage(Source("brick.png"), 8, 8, 0xFFFF);
    WriteTestImage(Source("stone.png"), 4, 4, 0xFFFF);
    xtest::WriteBytes(Output("stone.png"), {'o', 'l', 'd'});
    TarvoDirectXMaxExporter exporter;
    exporter.options.texMapConv = kTexMapCopy;
    exporter.options.overwriteTex = 1;
    exporter.outputDir = m_output.Path().string() + "/";
    BitmapTex brick("maps/brick.png", Source("brick.png"));
    BitmapTex stone("maps/stone.png", Source("stone.png"));
    std::string debug;
    SetDebugPrintSink([&debug](const std::string& text) { debug += text; });
    EXPECT_EQ(WriteTextureDirectly(exporter, brick, D3DXF_FILEFORMAT_TEXT, Output("a.x")),
              "brick.png");
    EXPECT_EQ(WriteTextureDirectly(exporter, stone, D3DXF_FILEFORMAT_TEXT, Output("b.x")),
              "stone.png");
    SetDebugPrintSink(nullptr);
    EXPECT_EQ(tarvo::testsupport::ReadText(Output("brick.png")),
              tarvo::testsupport::ReadText(Source("brick.png")));
    EXPECT_EQ(tarvo::testsupport::ReadText(Output("stone.png")), "old");
    EXPECT_NE(debug.find("Texture copied: " + Output("brick.png") + "\n"), std::string::npos);
    EXPECT_NE(debug.find("Texture " + Output("stone.png") + " exists; not copied\n"),
              std::string::npos);
    exporter.options.texFullPath = 1;
    EXPECT_EQ(WriteTextureDirectly(exporter, brick, D3DXF_FILEFORMAT_BINARY, Output("c.x")),
              Output("brick.png"));
}

// The settings keep texMapConv as a flag, so an export run can ask for None or Convert only;
// the copy checks of the export run below call the writer directly for the copy mode.
TEST_F(TextureFiles, NoneNamesTheMapsOwnFile) {
    ExportOptions options = MaterialOptions();
    options.texMapConv = kTexMapNone;
    ExportResult run = Export({"maps/brick.jpg"}, options);
    EXPECT_EQ(TextureNames(run), std::vector<std::string>{"brick.jpg"});
    options.texFullPath = 1;
    run = Export({"maps/brick.jpg"}, options);
    EXPECT_EQ(TextureNames(run), std::vector<std::string>{Source("brick.jpg")});
    EXPECT_EQ(m_output.Entries().size(), 1u) << "only the .X file";
}

TEST_F(TextureFiles, MissingSourceIsAWarningAndNeverAFailedExport) {
    ExportResult run = Export({"maps/missing.png"}, Convert(kTextureFormatPng));
    EXPECT_EQ(TextureNames(run), std::vector<std::string>{"missing.png"});
    EXPECT_EQ(LinesStarting(run.debugLines, "Warning: texture image ").size(), 1u);
    EXPECT_FALSE(fs::exists(Output("missing.png")));

    TarvoDirectXMaxExporter exporter;
    exporter.options.texMapConv = kTexMapCopy;
    exporter.outputDir = m_output.Path().string() + "/";
    BitmapTex missing("maps/gone.png", Source("gone.png"));
    std::string debug;
    SetDebugPrintSink([&debug](const std::string& text) { debug += text; });
    EXPECT_EQ(WriteTextureDirectly(exporter, missing, D3DXF_FILEFORMAT_TEXT, Output("copy.x")),
              "gone.png");
    SetDebugPrintSink(nullptr);
    EXPECT_NE(debug.find("Warning: texture image " + Source("gone.png")), std::string::npos);
    EXPECT_FALSE(fs::exists(Output("gone.png")));
}

TEST_F(TextureFiles, DestinationThatCannotBeWrittenIsAWarning) {
    WriteTestImage(Source("brick.png"), 8, 8, 0xFFFF);
    fs::create_directories(Output("brick.bmp"));  // a folder stands where the image would go
    ExportOptions options = Convert(kTextureFormatBmp);
    options.overwriteTex = 1;
    ExportResult run = Export({"maps/brick.png"}, options);
    EXPECT_EQ(LinesStarting(run.debugLines, "Warning: texture " + Output("brick.bmp")).size(), 1u);
    EXPECT_TRUE(fs::is_directory(Output("brick.bmp")));
    EXPECT_EQ(m_output.Entries().size(), 2u) << "no temporary image is left behind";
}

TEST_F(TextureFiles, TwoImagesForOneDestinationAreReported) {
    fs::create_directories(m_source.Path() / "maps" / "a");
    fs::create_directories(m_source.Path() / "maps" / "b");
    WriteTestImage(Source("a/brick.png"), 8, 8, 0xFFFF);
    WriteTestImage(Source("b/brick.png"), 4, 4, 0x0000);
    ExportResult run = Export({"maps/a/brick.png", "maps/b/brick.png"}, Convert(kTextureFormatPng));
    auto warnings = LinesStarting(run.debugLines, "Warning: texture " + Output("brick.png"));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(Source("a/brick.png")), std::string::npos);
    EXPECT_NE(warnings[0].find(Source("b/brick.png")), std::string::npos);
    EXPECT_EQ(SizeOf(Output("brick.png")), (ImageSize{8, 8})) << "the first one stays";

    // Copying: the same warning, and the first copy stays.
    fs::remove(Output("brick.png"));
    TarvoDirectXMaxExporter exporter;
    exporter.options.texMapConv = kTexMapCopy;
    exporter.outputDir = m_output.Path().string() + "/";
    BitmapTex first("maps/a/brick.png", Source("a/brick.png"));
    BitmapTex second("maps/b/brick.png", Source("b/brick.png"));
    std::string debug;
    SetDebugPrintSink([&debug](const std::string& text) { debug += text; });
    (void)WriteTextureDirectly(exporter, first, D3DXF_FILEFORMAT_TEXT, Output("a.x"));
    (void)WriteTextureDirectly(exporter, second, D3DXF_FILEFORMAT_TEXT, Output("b.x"));
    SetDebugPrintSink(nullptr);
    EXPECT_NE(
        debug.find("Warning: texture " + Output("brick.png") + " from " + Source("b/brick.png") +
                   " is also the destination of " + Source("a/brick.png")),
        std::string::npos)
        << debug;
    EXPECT_EQ(tarvo::testsupport::ReadText(Output("brick.png")),
              tarvo::testsupport::ReadText(Source("a/brick.png")));
}

TEST(TextureFilenameText, BackslashesAreDoubledInTextFilesOnly) {
    tarvo::testsupport::TempDir dir("tarvo-texture-text");
    EXPECT_EQ(WrittenTexturePath(D3DXF_FILEFORMAT_TEXT, kXFileText, dir.File("t.x")),
              "C:\\\\maps\\\\brick.jpg");
    EXPECT_NE(tarvo::testsupport::ReadText(dir.File("t.x")).find("\"C:\\\\maps\\\\brick.jpg\""),
              std::string::npos);
    EXPECT_EQ(WrittenTexturePath(D3DXF_FILEFORMAT_BINARY, kXFileBinary, dir.File("b.x")),
              "C:\\maps\\brick.jpg");
    EXPECT_EQ(WrittenTexturePath(D3DXF_FILEFORMAT_COMPRESSED, kXFileCompressed, dir.File("c.x")),
              "C:\\maps\\brick.jpg");
}

}  // namespace
