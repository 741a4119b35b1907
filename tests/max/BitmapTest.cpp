#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/max/Bitmap.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using tarvo::testsupport::TempDir;

namespace {

// A 4 × 2 image: left half red, right half blue, with alpha falling to the right.
Bitmap* TestImage(int width = 4, int height = 2) {
    BitmapInfo info;
    info.SetWidth(static_cast<WORD>(width));
    info.SetHeight(static_cast<WORD>(height));
    info.SetType(BMM_TRUE_64);
    Bitmap* bm = TheManager->Create(&info);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool left = x < width / 2;
            bm->PutPixel(
                x, y, {WORD(left ? 65535 : 0), 0, WORD(left ? 0 : 65535), WORD(65535 - x * 4096)});
        }
    return bm;
}

bool Save(Bitmap* bm, const std::string& file) {
    BitmapInfo out(file.c_str());
    if (bm->OpenOutput(&out) != BMMRES_SUCCESS) return false;
    if (bm->Write(&out, BMM_SINGLEFRAME) != BMMRES_SUCCESS) return false;
    return bm->Close(&out, BMM_CLOSE_COMPLETE) == 1;
}

Bitmap* Reload(const std::string& file) {
    BitmapInfo in(file.c_str());
    return TheManager->Load(&in);
}

}  // namespace

TEST(Bitmaps, WriteEachFormatByExtensionAndReadItBack) {
    TempDir dir("tarvo-bitmap");
    Bitmap* bm = TestImage();
    for (const char* name : {"a.png", "a.bmp", "a.tga", "a.jpg", "a.JPEG"}) {
        SCOPED_TRACE(name);
        std::string file = dir.File(name);
        ASSERT_TRUE(Save(bm, file));
        Bitmap* back = Reload(file);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->Width(), 4);
        EXPECT_EQ(back->Height(), 2);
        BMM_Color_64 left = back->GetPixel(0, 0), right = back->GetPixel(3, 1);
        EXPECT_GT(left.r, 60000);  // lossy formats are close, not exact
        EXPECT_LT(left.b, 6000);
        EXPECT_GT(right.b, 60000);
        EXPECT_LT(right.r, 6000);
        back->DeleteThis();
    }
    // Alpha survives where the format has it.
    Bitmap* png = Reload(dir.File("a.png"));
    EXPECT_TRUE(png->HasAlpha());
    EXPECT_EQ(png->GetPixel(3, 0).a, 65535 - 3 * 4096 + 128 - (65535 - 3 * 4096 + 128) % 257);
    png->DeleteThis();
    Bitmap* bmp = Reload(dir.File("a.bmp"));
    EXPECT_FALSE(bmp->HasAlpha());
    bmp->DeleteThis();
    EXPECT_FALSE(fs::exists(dir.File("a.png.partial")));
    bm->DeleteThis();
}

TEST(Bitmaps, UnknownExtensionOrAbandonedOutputWritesNothing) {
    TempDir dir("tarvo-bitmap");
    Bitmap* bm = TestImage();
    BitmapInfo gif(dir.File("a.gif").c_str());
    EXPECT_EQ(bm->OpenOutput(&gif), BMMRES_INVALIDFORMAT);
    BitmapInfo png(dir.File("b.png").c_str());
    ASSERT_EQ(bm->OpenOutput(&png), BMMRES_SUCCESS);
    ASSERT_EQ(bm->Write(&png), BMMRES_SUCCESS);
    bm->Close(&png, BMM_CLOSE_ABANDON);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
    bm->DeleteThis();
}

TEST(Bitmaps, ReplacingAFileKeepsTheOldOneUntilTheNewIsComplete) {
    TempDir dir("tarvo-bitmap");
    std::string file = dir.File("keep.png");
    std::ofstream(file) << "old";
    Bitmap* bm = TestImage();
    BitmapInfo out(file.c_str());
    bm->OpenOutput(&out);
    bm->Write(&out);
    EXPECT_EQ(fs::file_size(file), 3u) << "nothing replaced before Close";
    bm->Close(&out);
    EXPECT_GT(fs::file_size(file), 3u);
    bm->DeleteThis();
}

TEST(Bitmaps, HighQualityCopyResizesToTheTargetSize) {
    Bitmap* source = TestImage(300, 200);
    BitmapInfo info;
    info.CopyImageInfo(nullptr);
    info.SetWidth(256);
    info.SetHeight(256);
    info.SetType(BMM_TRUE_64);
    Bitmap* scaled = TheManager->Create(&info);
    ASSERT_TRUE(scaled->CopyImage(source, COPY_IMAGE_RESIZE_HI_QUALITY, BMM_Color_64{}));
    EXPECT_EQ(scaled->Width(), 256);
    EXPECT_EQ(scaled->Height(), 256);
    EXPECT_GT(scaled->GetPixel(10, 128).r, 60000);
    EXPECT_GT(scaled->GetPixel(245, 128).b, 60000);
    // Crop copies what overlaps and fills the rest.
    Bitmap* small = TestImage(4, 2);
    ASSERT_TRUE(scaled->CopyImage(small, COPY_IMAGE_CROP, BMM_Color_64{1, 2, 3, 4}));
    EXPECT_EQ(scaled->GetPixel(0, 0).r, 65535);
    EXPECT_EQ(scaled->GetPixel(100, 100).b, 3);
    source->DeleteThis();
    scaled->DeleteThis();
    small->DeleteThis();
}

TEST(Bitmaps, LoadReportsMissingAndUnreadableFiles) {
    TempDir dir("tarvo-bitmap");
    BMMRES status = BMMRES_SUCCESS;
    BitmapInfo missing(dir.File("none.png").c_str());
    EXPECT_EQ(TheManager->Load(&missing, &status), nullptr);
    EXPECT_EQ(status, BMMRES_FILENOTFOUND);
    std::ofstream(dir.File("junk.png")) << "not an image";
    BitmapInfo junk(dir.File("junk.png").c_str());
    EXPECT_EQ(TheManager->Load(&junk, &status), nullptr);
    EXPECT_EQ(status, BMMRES_INVALIDFORMAT);
    BitmapInfo zero;
    EXPECT_EQ(TheManager->Create(&zero), nullptr);
}

TEST(Bitmaps, InfoSizeAndNameFollowTheFile) {
    TempDir dir("tarvo-bitmap");
    Bitmap* bm = TestImage(8, 3);
    ASSERT_TRUE(Save(bm, dir.File("size.tga")));
    BitmapInfo info(dir.File("size.tga").c_str());
    ASSERT_EQ(TheManager->GetImageInfo(&info), BMMRES_SUCCESS);
    EXPECT_EQ(info.Width(), 8);
    EXPECT_EQ(info.Height(), 3);
    BitmapInfo copy;
    copy.CopyImageInfo(&info);
    EXPECT_EQ(copy.Width(), 8);
    EXPECT_STREQ(copy.Name(), "");
    bm->DeleteThis();
}
