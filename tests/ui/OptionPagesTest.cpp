// The sheet and pages 1, 2, 4, 5 and 6: what each page shows from the options, what it
// enables, and what it stores when it is left or when a list choice is confirmed.
#include "SheetTestSupport.h"

namespace tarvo::uitest {
namespace {

// ---- The sheet ----

TEST_F(SheetTest, SheetHasItsCaptionAndSixPagesInOrder) {
    OpenSheet();
    EXPECT_EQ(sheet->Caption(), "Velmarks DirectX Exporter - 6.2012.71.0");
    ASSERT_EQ(sheet->PageCount(), 6);
    const int templates[] = {101, 119, 105, 106, 104, 102};
    const char* captions[] = {"3DS Max Objects", "Mesh",    "Animation", "Textures && .fx files",
                              "X File Settings", "About..."};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(sheet->Page(i).Template().id, templates[i]) << "page " << i;
        EXPECT_EQ(sheet->Page(i).Template().caption, captions[i]) << "page " << i;
    }
}

TEST_F(SheetTest, APageIsInitialisedOnItsFirstVisitOnly) {
    OpenSheet();
    EXPECT_FALSE(sheet->Visited(kMesh));
    Visit(kMesh);
    EXPECT_TRUE(sheet->Visited(kMesh));
    Click(kMesh, mesh::kFlipNormals);
    Visit(kXFile);
    // A second initialisation would take the box from the field again.
    options.flipNormals = 0;
    Visit(kMesh);
    EXPECT_TRUE(Controls(kMesh).At(mesh::kFlipNormals).checked);
}

TEST_F(SheetTest, AcceptStoresTheActivePageAndPagesNeverVisitedStoreNothing) {
    options.exportHelper = 1;
    options.legacyObjectB = 1;
    OpenSheet();
    Visit(kMesh);
    Click(kMesh, mesh::kVertexColors);
    EXPECT_EQ(options.vertexColors, 1) << "stored before the page is left";
    sheet->Accept();
    EXPECT_EQ(options.vertexColors, 0);
    // Page 1, never visited, never cleared the values it has no boxes for.
    EXPECT_EQ(options.exportHelper, 1);
    EXPECT_EQ(options.legacyObjectB, 1);
}

// ---- Page 1, "3DS Max Objects" ----

TEST_F(SheetTest, ObjectsPageChecksEachBoxFromItsField) {
    options.exportMesh = 0;
    options.skinning = 1;
    options.exportDummy = 0;
    options.saveSettingsInScene = 7;  // any non-zero value
    OpenSheet();
    Visit(kObjects);
    const DialogState& page = Controls(kObjects);
    EXPECT_FALSE(page.At(objects::kMeshDefinition).checked);
    EXPECT_TRUE(page.At(objects::kBones).checked);
    EXPECT_FALSE(page.At(objects::kDummy).checked);
    EXPECT_TRUE(page.At(objects::kSaveInScene).checked);
    EXPECT_TRUE(page.At(objects::kGeometric).checked);
}

TEST_F(SheetTest, InlineFollowsMaterialsAtInitialisationOnly) {
    options.exportMaterials = 0;
    OpenSheet();
    Visit(kObjects);
    EXPECT_FALSE(Controls(kObjects).At(objects::kInline).enabled);
    Click(kObjects, objects::kMaterials);
    EXPECT_FALSE(Controls(kObjects).At(objects::kInline).enabled);

    options = ExportOptions{};
    OpenSheet();
    Visit(kObjects);
    EXPECT_TRUE(Controls(kObjects).At(objects::kInline).enabled);
}

TEST_F(SheetTest, NoFramesOnTheXFilePageDisablesAnimationOnReturn) {
    OpenSheet();
    Visit(kObjects);
    EXPECT_TRUE(Controls(kObjects).At(objects::kAnimation).enabled);
    Visit(kXFile);
    Click(kXFile, xfile::kNoFrames);
    Visit(kObjects);
    EXPECT_FALSE(Controls(kObjects).At(objects::kAnimation).enabled);
    Visit(kXFile);
    Click(kXFile, xfile::kTopFrameOnly);
    Visit(kObjects);
    EXPECT_TRUE(Controls(kObjects).At(objects::kAnimation).enabled);
}

TEST_F(SheetTest, LeavingObjectsPageStoresBoxesAndClearsValuesWithoutBoxes) {
    options.meshAnim = 1;
    options.animCameraLight = 3;
    options.exportHelper = 1;
    options.legacyFlagA = 1;
    options.legacyObjectB = 1;
    options.legacyObjectC = 1;
    options.legacyObjectD = 1;
    OpenSheet();
    Visit(kObjects);
    Click(kObjects, objects::kMeshDefinition);
    Click(kObjects, objects::kBones);
    EXPECT_EQ(options.exportMesh, 1) << "check boxes reach the record when the page is left";
    Visit(kMesh);
    EXPECT_EQ(options.exportMesh, 0);
    EXPECT_EQ(options.skinning, 1);
    EXPECT_EQ(options.meshAnim, 1);
    EXPECT_EQ(options.animCameraLight, 1);
    EXPECT_EQ(options.exportHelper, 0);
    EXPECT_EQ(options.legacyFlagA, 0);
    EXPECT_EQ(options.legacyObjectB, 0);
    EXPECT_EQ(options.legacyObjectC, 0);
    EXPECT_EQ(options.legacyObjectD, 0);
}

TEST_F(SheetTest, HiddenBoxesAreHiddenAndDisabled) {
    OpenSheet();
    Visit(kObjects);
    for (int id : {objects::kAnimatedMesh, objects::kAnimatedCameraLight}) {
        EXPECT_FALSE(Controls(kObjects).At(id).visible) << id;
        EXPECT_FALSE(Controls(kObjects).At(id).enabled) << id;
    }
}

// ---- Page 2, "Mesh" ----

TEST_F(SheetTest, OptimizeListHoldsItsItemsInOrderAndStoresAChoiceAtOnce) {
    options.optMesh = kOptMeshNone;
    OpenSheet();
    Visit(kMesh);
    const ControlState& list = Controls(kMesh).At(mesh::kOptimize);
    EXPECT_EQ(list.items, (std::vector<std::string>{"None", "Normal", "Optimized"}));
    EXPECT_EQ(list.selection, 0);
    Choose(kMesh, mesh::kOptimize, "Optimized");
    EXPECT_EQ(options.optMesh, kOptMeshOptimized);
}

TEST_F(SheetTest, ClearingMeshDefinitionGreysOutMeshPartsButNotFlipOrCustomNormals) {
    OpenSheet();
    Visit(kObjects);
    Click(kObjects, objects::kMeshDefinition);
    Visit(kMesh);
    const DialogState& page = Controls(kMesh);
    EXPECT_FALSE(page.At(mesh::kNormals).enabled);
    EXPECT_FALSE(page.At(mesh::kMappingCoords).enabled);
    EXPECT_FALSE(page.At(mesh::kVertexColors).enabled);
    EXPECT_TRUE(page.At(mesh::kFlipNormals).enabled);
    EXPECT_TRUE(page.At(mesh::kCustomNormals).enabled);

    Visit(kObjects);
    Click(kObjects, objects::kMeshDefinition);
    Visit(kMesh);
    EXPECT_TRUE(Controls(kMesh).At(mesh::kNormals).enabled);
}

TEST_F(SheetTest, LocalObjectSpaceIsAvailableWithNoFramesOnly) {
    OpenSheet();
    Visit(kMesh);
    EXPECT_FALSE(Controls(kMesh).At(mesh::kLocalObjectSpace).enabled);
    Visit(kXFile);
    Click(kXFile, xfile::kNoFrames);
    Visit(kMesh);
    EXPECT_TRUE(Controls(kMesh).At(mesh::kLocalObjectSpace).enabled);
    Visit(kXFile);
    Click(kXFile, xfile::kTopFrameOnly);
    Visit(kMesh);
    EXPECT_FALSE(Controls(kMesh).At(mesh::kLocalObjectSpace).enabled);
}

TEST_F(SheetTest, LeavingMeshPageStoresItsSixBoxes) {
    OpenSheet();
    Visit(kMesh);
    for (int id : {mesh::kNormals, mesh::kFlipNormals, mesh::kCustomNormals, mesh::kMappingCoords,
                   mesh::kVertexColors, mesh::kLocalObjectSpace})
        Click(kMesh, id);
    Visit(kAbout);
    EXPECT_EQ(options.normals, 0);
    EXPECT_EQ(options.flipNormals, 1);
    EXPECT_EQ(options.customNormals, 1);
    EXPECT_EQ(options.textureCoords, 0);
    EXPECT_EQ(options.vertexColors, 0);
    EXPECT_EQ(options.localObjectSpace, 1);
}

// ---- Page 4, "Textures && .fx files" ----

TEST_F(SheetTest, FormatListShowsTheTableInOrderAndSelectsTheFieldsRow) {
    options.textureFormat = kTextureFormatPng;
    OpenSheet();
    Visit(kTextures);
    const ControlState& list = Controls(kTextures).At(textures::kFormat);
    EXPECT_EQ(list.items, (std::vector<std::string>{"Bitmap (.bmp)", "JPEG (.jpg)", "PNG (.png)",
                                                    "Targa (.tga)"}));
    EXPECT_EQ(list.itemData, (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(list.items.at(static_cast<std::size_t>(list.selection)), "PNG (.png)");
    EXPECT_EQ(Controls(kTextures).focus, textures::kFormat);
}

TEST_F(SheetTest, FormatOutsideTheTableShowsBitmapAndKeepsTheFieldUntilARowIsChosen) {
    options.textureFormat = 9;
    OpenSheet();
    Visit(kTextures);
    EXPECT_EQ(Controls(kTextures).At(textures::kFormat).selection, 0);
    Visit(kXFile);
    EXPECT_EQ(options.textureFormat, 9);
    Visit(kTextures);
    Choose(kTextures, textures::kFormat, "Targa (.tga)");
    EXPECT_EQ(options.textureFormat, kTextureFormatTga);
}

TEST_F(SheetTest, OverwriteListStoresItsChoiceAtOnce) {
    OpenSheet();
    Visit(kTextures);
    const ControlState& list = Controls(kTextures).At(textures::kOverwrite);
    EXPECT_EQ(list.items, (std::vector<std::string>{"Do not overwrite", "Always overwrite"}));
    EXPECT_EQ(list.selection, 0);
    Choose(kTextures, textures::kOverwrite, "Always overwrite");
    EXPECT_EQ(options.overwriteTex, 1);
}

TEST_F(SheetTest, FxParametersFollowTheFxFileBox) {
    options.fxFiles = 0;
    OpenSheet();
    Visit(kTextures);
    EXPECT_FALSE(Controls(kTextures).At(textures::kFxParameters).enabled);
    Click(kTextures, textures::kFxFile);
    EXPECT_TRUE(Controls(kTextures).At(textures::kFxParameters).enabled) << "at once";
    Click(kTextures, textures::kFxFile);
    EXPECT_FALSE(Controls(kTextures).At(textures::kFxParameters).enabled);
}

TEST_F(SheetTest, TextureConversionButtonsAndBoxesAreStoredOnLeaving) {
    options.texMapConv = kTexMapCopy;
    OpenSheet();
    Visit(kTextures);
    EXPECT_TRUE(Controls(kTextures).At(textures::kCopy).checked);
    Click(kTextures, textures::kNoConversion);
    Click(kTextures, textures::kFullPath);
    Click(kTextures, textures::kScale);
    Click(kTextures, textures::kWhiteDiffuse);
    Click(kTextures, textures::kFxParameters);
    Visit(kObjects);
    EXPECT_EQ(options.texMapConv, kTexMapNone);
    EXPECT_EQ(options.texFullPath, 1);
    EXPECT_EQ(options.texScale, 1);
    EXPECT_EQ(options.whiteTex, 0);
    EXPECT_EQ(options.getFxParams, 0);
    EXPECT_EQ(options.fxFiles, 1);
}

TEST_F(SheetTest, ConversionOutsideTheGroupChecksNoButtonAndStaysAsItWas) {
    options.texMapConv = 5;
    OpenSheet();
    Visit(kTextures);
    for (int id : {textures::kNoConversion, textures::kConvert, textures::kCopy})
        EXPECT_FALSE(Controls(kTextures).At(id).checked) << id;
    Visit(kObjects);
    EXPECT_EQ(options.texMapConv, 5);
}

// ---- Page 5, "X File Settings" ----

TEST_F(SheetTest, XFilePageShowsAndStoresTypeFramesAxesAndAnimationOptions) {
    options.xFileType = kXFileCompressed;
    options.frameSetting = kFrameSettingTopFrameOnly;
    options.aniPositionQuality = kAniLinearPositions;
    OpenSheet();
    Visit(kXFile);
    const DialogState& page = Controls(kXFile);
    EXPECT_TRUE(page.At(xfile::kCompressed).checked);
    EXPECT_TRUE(page.At(xfile::kTopFrameOnly).checked);
    EXPECT_TRUE(page.At(xfile::kLeftHanded).checked);
    EXPECT_EQ(page.At(xfile::kOpenClosed).items, (std::vector<std::string>{"Closed", "Open"}));
    EXPECT_EQ(page.At(xfile::kPositionQuality).items,
              (std::vector<std::string>{"Spline Positions", "Linear Positions"}));
    EXPECT_EQ(page.At(xfile::kPositionQuality).selection, 1);
    for (const auto& [id, control] : page.Controls()) EXPECT_TRUE(control.enabled) << id;

    Click(kXFile, xfile::kBinary);
    Click(kXFile, xfile::kSubFrames);
    Click(kXFile, xfile::kLeftHanded);
    Click(kXFile, xfile::kAnimationOptions);
    Choose(kXFile, xfile::kOpenClosed, "Open");
    EXPECT_EQ(options.aniOpenClosed, kAniOpen) << "lists store at once";
    EXPECT_EQ(options.xFileType, kXFileCompressed) << "buttons wait for the page to be left";
    Visit(kAbout);
    EXPECT_EQ(options.xFileType, kXFileBinary);
    EXPECT_EQ(options.frameSetting, kFrameSettingSubFrames);
    EXPECT_EQ(options.leftHanded, 0);
    EXPECT_EQ(options.aniOptions, 1);
}

// ---- Page 6, "About..." ----

TEST_F(SheetTest, AboutPageShowsReleaseIGameVersionAndConfigurationFolder) {
    OpenSheet();
    Visit(kAbout);
    const DialogState& page = Controls(kAbout);
    EXPECT_EQ(page.At(about::kMaxVersion).text, "3DS Max Version: 14");
    EXPECT_EQ(page.At(about::kIGameVersion).text, "IGame Version: 1.500000");
    EXPECT_EQ(page.At(about::kCfgPath).text, "Cfg Path: /home/user/.config/tarvo-dx");
}

}  // namespace
}  // namespace tarvo::uitest
