#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include <unistd.h>

#include "mesh/Mesh.h"
#include "platform/win/FileIO.h"
#include "platform/win/WinUser.h"
#include "plugin/Exporter.h"
#include "xfile/XFile.h"

namespace {

TEST(MakeNodeName, KeepsOnlyWhatEveryTextReaderTakesInAName) {
    EXPECT_STREQ(MakeNodeName("Box01"), "Box01");
    EXPECT_STREQ(MakeNodeName("Box_01-left"), "Box_01-left");  // already legal: unchanged
    EXPECT_STREQ(MakeNodeName("Box 01.left"), "Box_01_left");
    EXPECT_STREQ(MakeNodeName("my \"car\""), "my__car_");
    EXPECT_STREQ(MakeNodeName("a(b)#c:d;e<f>"), "a_b__c_d_e_f_");
    EXPECT_STREQ(MakeNodeName("K\xC3\xA4se"), "K__se");  // each byte of the accented letter
    EXPECT_STREQ(MakeNodeName("Bone 1", "Anim"), "Anim-Bone_1");
    EXPECT_STREQ(MakeNodeName("a-b{c},d/e\\f'g"), "a-b_c__d_e_f_g");
    EXPECT_STREQ(MakeNodeName("Door{L}"), "Door_L_");
    EXPECT_STREQ(MakeNodeName("Wheel (left)"), "Wheel__left_");
    EXPECT_STREQ(MakeNodeName("tab\there"), "tab_here");
    EXPECT_STREQ(MakeNodeName(""), "");
}

TEST(MakeNodeName, NamesThatWouldReadAsNumbersOrKeywordsGetAnUnderscoreInFront) {
    EXPECT_STREQ(MakeNodeName("9"), "_9");
    EXPECT_STREQ(MakeNodeName("2nd floor"), "_2nd_floor");
    EXPECT_STREQ(MakeNodeName("-x"), "_-x");
    EXPECT_STREQ(MakeNodeName("template"), "_template");
    EXPECT_STREQ(MakeNodeName("Array"), "_Array");
    EXPECT_STREQ(MakeNodeName("dword"), "_dword");
    EXPECT_STREQ(MakeNodeName("Arrays"), "Arrays");
    EXPECT_STREQ(MakeNodeName("_9"), "_9");
}

TEST(MakeObjectName, FollowsTheSameRuleAfterItsOwnPrefixAndSuffix) {
    EXPECT_STREQ(MakeObjectName("9 Box", -1), "TDX9_Box");
    EXPECT_STREQ(MakeObjectName("Wheel (left)", 2), "Wheel__left_Sub2");
    EXPECT_STREQ(MakeObjectName("Array", 0), "ArraySub0");
    EXPECT_STREQ(MakeObjectName("Array", -1), "_Array");
    EXPECT_STREQ(MakeObjectName("-x", -1), "_-x");
    EXPECT_STREQ(MakeObjectName("", 3), "Sub3");
}

TEST(UniqueNames, LaterHoldersOfATakenNameGetTheShortestFreeSuffix) {
    UniqueNames names;
    int a = 0, b = 0, c = 0, d = 0, e = 0;
    for (const char* reserved : {"Box", "Box", "Box_2", "Wheel"}) names.Reserve(reserved);
    EXPECT_EQ(names.NameOf(&a, "Box"), "Box");
    EXPECT_EQ(names.NameOf(&b, "Box"), "Box_3");  // Box_2 belongs to a node of the file
    EXPECT_EQ(names.NameOf(&c, "Box_2"), "Box_2");
    EXPECT_EQ(names.NameOf(&d, "Box"), "Box_4");
    EXPECT_EQ(names.NameOf(&b, "ignored"), "Box_3");  // asked again: the name it got
    EXPECT_EQ(names.NameOf(&e, ""), "");              // unnamed stays unnamed
    int f = 0;
    EXPECT_EQ(names.NameOf(&f, ""), "");
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
        ThrowSaveError("pxofobjEffectInst->AddDataObject(...)", "Materials", 812,
                       D3DXFERR_BADVALUE);
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

// What the file library knows of a failed save of one frame in the text form to `path`.
HRESULT SaveFrameNamed(const char* name, const std::string& path) {
    ID3DXFile* file = nullptr;
    ID3DXFileSaveObject* save = nullptr;
    ID3DXFileSaveData* frame = nullptr;
    HRESULT hr = D3DXFileCreate(&file);
    if (SUCCEEDED(hr)) hr = RegisterStandardTemplateSets(file);
    if (SUCCEEDED(hr)) {
        hr = file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, D3DXF_FILEFORMAT_TEXT,
                                    &save);
    }
    if (SUCCEEDED(hr)) hr = save->AddDataObject(TID_D3DRMFrame, name, nullptr, 0, nullptr, &frame);
    if (SUCCEEDED(hr)) hr = save->Save();
    if (frame != nullptr) frame->Release();
    if (save != nullptr) save->Release();
    if (file != nullptr) file->Release();
    return hr;
}

std::string SaveErrorText(const char* callText, HRESULT hr) {
    try {
        ThrowSaveError(callText, "TarvoDirectXMaxExporter", 107, hr);
    } catch (const char* text) {
        return text;
    }
    return {};
}

TEST(ThrowSaveError, AddsWhichObjectAndWhyWhenTheFileLibraryKnows) {
    // The text is written while it is made, so the refusal needs a folder that exists; the
    // refused save leaves nothing in it.
    const auto folder =
        std::filesystem::temp_directory_path() / ("tarvo-save-error-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    HRESULT hr = SaveFrameNamed("Left Door", (folder / "door.x").string());
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder);
    ASSERT_EQ(hr, D3DXFERR_BADVALUE);
    EXPECT_EQ(SaveErrorText("saveObject->Save()", hr),
              "Error saving .X file: 0x88760385 (D3DXFERR_BADVALUE)\n"
              "TarvoDirectXMaxExporter:107: saveObject->Save()\n"
              "Frame \"Left Door\": the name \"Left Door\" cannot be written in the text form: "
              "it holds a space\n");
    // The library's words explain only the failure they came with.
    EXPECT_EQ(SaveErrorText("saveObject->Save()", E_OUTOFMEMORY),
              "Error saving .X file: 0x8007000e (E_OUTOFMEMORY)\n"
              "TarvoDirectXMaxExporter:107: saveObject->Save()\n");
    // A later failure of another kind brings its own words, and the earlier ones are gone.
    const HRESULT noFolder = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    ASSERT_EQ(SaveFrameNamed("Left_Door", "/nonexistent/folder/never.x"), noFolder);
    EXPECT_EQ(SaveErrorText("saveObject->Save()", noFolder),
              "Error saving .X file: 0x80070003 (" + std::string(HResultName(noFolder)) +
                  ")\n"
                  "TarvoDirectXMaxExporter:107: saveObject->Save()\n"
                  "/nonexistent/folder/never.x could not be written: its folder does not exist\n");
    EXPECT_EQ(SaveErrorText("saveObject->Save()", D3DXFERR_BADVALUE),
              "Error saving .X file: 0x88760385 (D3DXFERR_BADVALUE)\n"
              "TarvoDirectXMaxExporter:107: saveObject->Save()\n");
}

// ---- transforms ----

Matrix3 Translation(float x, float y, float z) {
    Matrix3 m(1);
    m.SetTrans(Point3(x, y, z));
    return m;
}

void ExpectNear(const Matrix3& actual, const Matrix3& expected) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(actual.m[r][c], expected.m[r][c], 1e-5f) << r << "," << c;
    }
}

TEST(FlipMatrixYZ, OnlyWhenLeftHandedIsExactlyOne) {
    TarvoDirectXMaxExporter exporter;
    Matrix3 original =
        Translation(1, 2, 3) * RotateMatrix(QuatFromAxisAngle(Point3(1, 1, 0).Normalize(), 0.7f));
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
    Matrix3 rotation =
        RotateMatrix(QuatFromAxisAngle(Point3(0, 0, 1), static_cast<float>(M_PI / 2)));
    FlipMatrixYZ(exporter, rotation);
    ExpectNear(rotation,
               RotateMatrix(QuatFromAxisAngle(Point3(0, 1, 0), static_cast<float>(-M_PI / 2))));

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
    Matrix3 m = ScaleMatrix(Point3(1.5f, 0.5f, 2)) *
                RotateMatrix(QuatFromAxisAngle(Point3(0.3f, -0.5f, 0.8f).Normalize(), 1.1f)) *
                Translation(-4, 2.5f, 9);
    Matrix3 expected = swap * m * swap;
    FlipMatrixYZ(exporter, m);
    ExpectNear(m, expected);
}

// S x M x S, where S exchanges y and z: what the conversion must give for every affine matrix.
Matrix3 MirrorConjugate(const Matrix3& m) {
    Matrix3 swap(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, 1, 0), Point3(0, 0, 0));
    return swap * m * swap;
}

void ExpectNearRelative(const Matrix3& actual, const Matrix3& expected, const char* what) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) {
            float scale = std::max(1.0f, std::fabs(expected.m[r][c]));
            EXPECT_NEAR(actual.m[r][c], expected.m[r][c], 1e-5f * scale)
                << what << " row " << r << " col " << c;
        }
}

// The conversion as it was before the stretch rotation was mirrored; for matrices whose
// stretch rotation is the identity the two must agree bit for bit.
Matrix3 FlipKeepingStretchRotation(const Matrix3& matrix) {
    AffineParts parts;
    decomp_affine(matrix, &parts);
    Matrix3 T(1);
    T.SetTrans(Point3(parts.t.x, parts.t.z, parts.t.y));
    Matrix3 U, Q;
    parts.u.MakeMatrix(U, false);
    Quat(parts.q.x, parts.q.z, parts.q.y, -parts.q.w).MakeMatrix(Q, false);
    return Inverse(U) * ScaleMatrix(Point3(parts.k.x, parts.k.z, parts.k.y)) * U * Q *
           ScaleMatrix(Point3(parts.f, parts.f, parts.f)) * T;
}

TEST(FlipMatrixYZ, StretchesTheMirroredAxisWhenTwoStretchFactorsAreEqual) {
    TarvoDirectXMaxExporter exporter;
    // Stretched along its own z, then turned 30 degrees about z: the stretch must stay
    // along the written y axis (the host's z), not turn sideways.
    Matrix3 m = ScaleMatrix(Point3(1, 1, 2)) *
                RotateMatrix(QuatFromAxisAngle(Point3(0, 0, 1), static_cast<float>(M_PI / 6))) *
                Translation(4, 5, 6);
    Matrix3 expected = MirrorConjugate(m);
    FlipMatrixYZ(exporter, m);
    ExpectNearRelative(m, expected, "scale (1, 1, 2) turned about z");
    EXPECT_NEAR(m.GetRow(1).Length(), 2.0f, 1e-5f);  // the written y axis carries the stretch
}

TEST(FlipMatrixYZ, EqualsTheMirrorConjugateForRandomAffineMatrices) {
    TarvoDirectXMaxExporter exporter;
    std::mt19937 random(20261208);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto randomRotation = [&] {
        Point3 axis(unit(random), unit(random), unit(random));
        if (axis.Length() < 0.1f) axis = Point3(0, 0, 1);
        return RotateMatrix(QuatFromAxisAngle(axis.Normalize(), 3.0f * unit(random)));
    };
    for (int i = 0; i < 3000; ++i) {
        Matrix3 m;
        switch (i % 3) {
            case 0: {  // two equal stretch factors along turned axes, sometimes mirrored
                float a = 0.5f + std::fabs(unit(random)) * 2,
                      b = 0.5f + std::fabs(unit(random)) * 2;
                float mirror = (i % 2 == 0) ? -1.0f : 1.0f;
                Point3 factors = (i % 4 < 2) ? Point3(a, a, b) : Point3(b, a, a);
                m = randomRotation() * ScaleMatrix(factors * mirror) * randomRotation();
                break;
            }
            case 1: {  // shear: any invertible 3x3 part
                Matrix3 shear(Point3(1, unit(random), unit(random)),
                              Point3(unit(random), 1, unit(random)),
                              Point3(unit(random), unit(random), 1), Point3(0, 0, 0));
                if (std::fabs(DeterminantOf3x3(shear)) < 0.2f) continue;
                m = shear * randomRotation();
                break;
            }
            default:  // a uniform scale: every stretch factor equal
                m = ScaleMatrix(Point3(1.7f, 1.7f, 1.7f)) * randomRotation();
                break;
        }
        m.SetTrans(Point3(10 * unit(random), 10 * unit(random), 10 * unit(random)));
        Matrix3 expected = MirrorConjugate(m);
        FlipMatrixYZ(exporter, m);
        ExpectNearRelative(m, expected, ("case " + std::to_string(i)).c_str());
        if (HasFailure()) break;
    }
}

TEST(FlipMatrixYZ, MatricesWithoutStretchRotationKeepTheirBits) {
    TarvoDirectXMaxExporter exporter;
    const Matrix3 cases[] = {Matrix3(1), Translation(1, 2, 3),
                             ScaleMatrix(Point3(2, 3, 4)) * Translation(-1, 0, 7),
                             ScaleMatrix(Point3(0.5f, 2, 3)) * Translation(2, -3, 4),
                             ScaleMatrix(Point3(-1, 1, 1)) * Translation(5, 6, 7)};
    for (const Matrix3& original : cases) {
        AffineParts parts;
        decomp_affine(original, &parts);
        ASSERT_EQ(parts.u.x, 0.0f);
        ASSERT_EQ(parts.u.y, 0.0f);
        ASSERT_EQ(parts.u.z, 0.0f);
        Matrix3 flipped = original;
        FlipMatrixYZ(exporter, flipped);
        Matrix3 before = FlipKeepingStretchRotation(original);
        EXPECT_EQ(std::memcmp(flipped.m, before.m, sizeof flipped.m), 0);
    }
}

TEST(MatrixToXFile, RowsWithAFourthColumn) {
    Matrix3 m(Point3(1, 2, 3), Point3(4, 5, 6), Point3(7, 8, 9), Point3(10, 11, 12));
    float out[16];
    MatrixToXFile(m, out);
    const float expected[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

}  // namespace
