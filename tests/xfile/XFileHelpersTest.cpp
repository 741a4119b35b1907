#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/win/WinUser.h"
#include "plugin/Exporter.h"
#include "xfile/XFile.h"

namespace {

TEST(MakeNodeName, ReplacesWhatTextNamesCannotHold) {
    EXPECT_STREQ(MakeNodeName("Box01"), "Box01");
    EXPECT_STREQ(MakeNodeName("Box 01.left"), "Box_01_left");
    EXPECT_STREQ(MakeNodeName("my \"car\""), "my_'car'");
    EXPECT_STREQ(MakeNodeName("a(b)#c:d;e<f>"), "a_b__c_d_e_f_");
    EXPECT_STREQ(MakeNodeName("K\xC3\xA4se"), "K__se");  // each byte of the accented letter
    EXPECT_STREQ(MakeNodeName("Bone 1", "Anim"), "Anim-Bone_1");
    EXPECT_STREQ(MakeNodeName("a-b{c},d/e\\f"), "a-b{c},d/e\\f");
    EXPECT_STREQ(MakeNodeName("tab\there"), "tab_here");
    EXPECT_STREQ(MakeNodeName(""), "");
}

TEST(MakeNodeName, KeepsLongNamesWholeInOneSharedBuffer) {
    std::string longName(1000, 'x');
    longName[999] = '.';
    const char* first = MakeNodeName(longName.c_str());
    EXPECT_EQ(std::strlen(first), 1000u);
    EXPECT_EQ(first[999], '_');
    const char* second = MakeNodeName("Short");
    EXPECT_EQ(first, second);  // the next call overwrites the same buffer
    EXPECT_STREQ(first, "Short");
}

TEST(StringPool, PathStringsDoubleBackslashesAndReserveTwiceTheLength) {
    StringPool pool;
    EXPECT_EQ(pool.AddString(nullptr), nullptr);
    const char* path = pool.AddPathString("C:\\maps\\a.bmp");
    EXPECT_STREQ(path, "C:\\\\maps\\\\a.bmp");
    EXPECT_EQ(pool.HeadBytesUsed(), 27u);  // 2 x 13 + 1, though 16 bytes are written
    const char* plain = pool.AddString("bone");
    EXPECT_STREQ(plain, "bone");
    EXPECT_EQ(plain, path + 27);
}

TEST(StringPool, TextsNeverSplitAndStayValid) {
    StringPool pool;
    std::string a(3000, 'a'), b(2000, 'b');
    const char* first = pool.AddString(a.c_str());
    const char* second = pool.AddString(b.c_str());
    EXPECT_EQ(pool.BlockCount(), 2u);
    EXPECT_EQ(first, std::string(a));
    EXPECT_EQ(second, std::string(b));
    // A text longer than a block gets a block of its own, whole.
    std::string huge(10000, 'h');
    const char* third = pool.AddString(huge.c_str());
    EXPECT_EQ(third, huge);
    EXPECT_EQ(pool.BlockCount(), 3u);
    EXPECT_EQ(first, std::string(a));
    // Exactly full: 4,088 bytes fit one block.
    StringPool exact;
    exact.AddString(std::string(4087, 'e').c_str());
    EXPECT_EQ(exact.BlockCount(), 1u);
    exact.AddString("");
    EXPECT_EQ(exact.BlockCount(), 2u);
}

TEST(ThrowSaveError, FormatsSendsToTheDebuggerAndThrowsTheText) {
    std::string debugged;
    SetDebugOutputSink([&](const std::string& text) { debugged = text; });
    const char* thrown = nullptr;
    try {
        ThrowSaveError("pxofobjEffectInst->AddDataObject(...)", "Materials", 812, D3DXFERR_BADVALUE);
    } catch (const char* text) {
        thrown = text;
    }
    SetDebugOutputSink(nullptr);
    ASSERT_NE(thrown, nullptr);
    EXPECT_STREQ(thrown,
                 "Error saving .X file: 0x88760385 (D3DXFERR_BADVALUE)\n"
                 "Materials:812: pxofobjEffectInst->AddDataObject(...)\n");
    EXPECT_EQ(debugged, thrown);
    // The message is cut at 4,095 characters.
    std::string longCall(5000, 'c');
    try {
        ThrowSaveError(longCall.c_str(), "Materials", 1, E_FAIL);
    } catch (const char* text) {
        EXPECT_EQ(std::strlen(text), 4095u);
    }
}

// ---- transforms ----

Matrix3 Translation(float x, float y, float z) {
    Matrix3 m(1);
    m.SetTrans(Point3(x, y, z));
    return m;
}

void ExpectNear(const Matrix3& actual, const Matrix3& expected) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(actual.m[r][c], expected.m[r][c], 1e-5f) << r << "," << c;
    }
}

TEST(FlipMatrixYZ, OnlyWhenLeftHandedIsExactlyOne) {
    TarvoDirectXMaxExporter exporter;
    Matrix3 original = Translation(1, 2, 3) * RotateMatrix(QuatFromAxisAngle(Point3(1, 1, 0).Normalize(), 0.7f));
    for (int value : {0, 2, -1}) {
        exporter.options.leftHanded = value;
        Matrix3 m = original;
        FlipMatrixYZ(exporter, m);
        EXPECT_EQ(std::memcmp(m.m, original.m, sizeof m.m), 0) << value;
    }
}

TEST(FlipMatrixYZ, ExchangesTheAxesOfEachPart) {
    TarvoDirectXMaxExporter exporter;  // left-handed by default
    Matrix3 m = Translation(1, 2, 3);
    FlipMatrixYZ(exporter, m);
    ExpectNear(m, Translation(1, 3, 2));

    // A quarter turn about z becomes a quarter turn about y, turning the other way.
    Matrix3 rotation = RotateMatrix(QuatFromAxisAngle(Point3(0, 0, 1), static_cast<float>(M_PI / 2)));
    FlipMatrixYZ(exporter, rotation);
    ExpectNear(rotation, RotateMatrix(QuatFromAxisAngle(Point3(0, 1, 0), static_cast<float>(-M_PI / 2))));

    // Scale factors swap; the identity stays the identity.
    Matrix3 scale = ScaleMatrix(Point3(2, 3, 4));
    FlipMatrixYZ(exporter, scale);
    ExpectNear(scale, ScaleMatrix(Point3(2, 4, 3)));
    Matrix3 identity(1);
    FlipMatrixYZ(exporter, identity);
    ExpectNear(identity, Matrix3(1));

    // Mirroring survives: the determinant keeps its sign.
    Matrix3 mirrored = ScaleMatrix(Point3(-1, 1, 1)) * Translation(5, 6, 7);
    FlipMatrixYZ(exporter, mirrored);
    EXPECT_LT(DeterminantOf3x3(mirrored), 0.0f);
    EXPECT_NEAR(mirrored.GetTrans().y, 7.0f, 1e-5f);
}

TEST(FlipMatrixYZ, EqualsTheMirrorConjugateForUnstretchedMatrices) {
    TarvoDirectXMaxExporter exporter;
    Matrix3 swap(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, 1, 0), Point3(0, 0, 0));
    Matrix3 m = ScaleMatrix(Point3(1.5f, 0.5f, 2)) * RotateMatrix(QuatFromAxisAngle(Point3(0.3f, -0.5f, 0.8f).Normalize(), 1.1f)) *
                Translation(-4, 2.5f, 9);
    Matrix3 expected = swap * m * swap;
    FlipMatrixYZ(exporter, m);
    ExpectNear(m, expected);
}

TEST(MatrixToXFile, RowsWithAFourthColumn) {
    Matrix3 m(Point3(1, 2, 3), Point3(4, 5, 6), Point3(7, 8, 9), Point3(10, 11, 12));
    float out[16];
    MatrixToXFile(m, out);
    const float expected[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

}  // namespace
