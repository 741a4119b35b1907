#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "XTestSupport.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

using d3dx::XPayloadWriter;
using tarvo::testsupport::TempDir;
using xtest::AddTo;
using xtest::ReadBack;
using xtest::StandardFile;

class SaveObjectTest : public ::testing::Test {
  protected:
    ID3DXFileSaveObject* Create(const std::string& path,
                                D3DXF_FILEFORMAT format = D3DXF_FILEFORMAT_TEXT) {
        ID3DXFileSaveObject* save = nullptr;
        EXPECT_EQ(
            m_standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save),
            S_OK);
        return save;
    }

    TempDir m_dir;
    StandardFile m_standard;
};

TEST_F(SaveObjectTest, AddRefusesUnknownTemplatesAndShortPayloadsAndAddsNothing) {
    std::string path = m_dir.File("refused.x");
    ID3DXFileSaveObject* save = Create(path);
    ID3DXFileSaveData* data = reinterpret_cast<ID3DXFileSaveData*>(1);
    GUID unknown = *ParseGuid("01234567-89AB-CDEF-0123-456789ABCDEF");
    EXPECT_EQ(save->AddDataObject(unknown, "X", nullptr, 0, nullptr, &data), D3DXFERR_NOTFOUND);
    EXPECT_EQ(data, nullptr);

    XPayloadWriter vector;
    vector.Floats({1, 2});  // a Vector needs three floats
    EXPECT_EQ(AddTo(save, TID_D3DRMVector, "Short", vector), D3DXFERR_BADVALUE);
    XPayloadWriter noTerminator;
    noTerminator.Dword(0x41414141);  // a STRING without its zero byte
    EXPECT_EQ(AddTo(save, TID_D3DRMTextureFilename, nullptr, noTerminator), D3DXFERR_BADVALUE);
    XPayloadWriter hugeCount;
    hugeCount.Dword(0x40000000).Floats({1, 2, 3});  // claims a billion vertices
    EXPECT_EQ(AddTo(save, TID_D3DRMMesh, "Huge", hugeCount), D3DXFERR_BADARRAYSIZE);

    ASSERT_EQ(save->Save(), S_OK);
    save->Release();
    EXPECT_TRUE(ReadBack(path).objects.empty());
}

TEST_F(SaveObjectTest, SurplusPayloadBytesAreIgnoredAndThePayloadIsCopied) {
    std::string path = m_dir.File("surplus.x");
    ID3DXFileSaveObject* save = Create(path, D3DXF_FILEFORMAT_BINARY);
    ID3DXFileSaveData* frame = nullptr;
    ASSERT_EQ(save->AddDataObject(TID_D3DRMFrame, "Root", nullptr, 0, nullptr, &frame), S_OK);
    ID3DXFileSaveData* mesh = nullptr;
    XPayloadWriter quad;
    quad.Dword(3).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Dword(1).Dwords({3, 0, 1, 2});
    ASSERT_EQ(AddTo(frame, TID_D3DRMMesh, "Tri", quad, &mesh), S_OK);
    // Three WORDs take 6 bytes; the 6 bytes after them are not part of the object.
    XPayloadWriter header;
    header.Word(2).Word(4).Word(7).Dword(0xDEADBEEF).Word(0x1234);
    ASSERT_EQ(header.Size(), 12u);
    ASSERT_EQ(AddTo(mesh, DXFILEOBJ_XSkinMeshHeader, nullptr, header), S_OK);
    std::uint8_t vector[12];
    float values[3] = {1, 2, 3};
    std::memcpy(vector, values, 12);
    ASSERT_EQ(save->AddDataObject(TID_D3DRMVector, "V", nullptr, 12, vector, nullptr), S_OK);
    std::memset(vector, 0xFF, sizeof vector);  // the library kept its own copy
    mesh->Release();
    frame->Release();
    ASSERT_EQ(save->Save(), S_OK);
    save->Release();

    auto contents = ReadBack(path);
    ASSERT_EQ(contents.objects.size(), 2u);
    const auto& skinHeader = *contents.objects[0].children[0].object->children[0].object;
    EXPECT_EQ(skinHeader.templateName, "XSkinMeshHeader");
    EXPECT_EQ(skinHeader.payload, (std::vector<std::uint8_t>{2, 0, 4, 0, 7, 0}));
    EXPECT_EQ(std::memcmp(contents.objects[1].payload.data(), values, 12), 0);
}

TEST_F(SaveObjectTest, ChildrenMustBeAllowedByTheParentTemplate) {
    ID3DXFileSaveObject* save = Create(m_dir.File("children.x"));
    ID3DXFileSaveData* list = nullptr;
    XPayloadWriter listPayload;
    listPayload.Dword(1).Dword(0);
    ASSERT_EQ(AddTo(save, TID_D3DRMMeshMaterialList, nullptr, listPayload, &list), S_OK);
    EXPECT_EQ(AddTo(list, TID_D3DRMFrame, "NotAMaterial", {}), D3DXFERR_BADOBJECT);
    XPayloadWriter material;
    material.Floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(AddTo(list, TID_D3DRMMaterial, "Red", material), S_OK);
    EXPECT_EQ(list->AddDataReference("Red", nullptr), S_OK);
    EXPECT_EQ(list->AddDataReference(nullptr, nullptr), E_INVALIDARG);

    ID3DXFileSaveData* vector = nullptr;
    XPayloadWriter v;
    v.Floats({0, 0, 0});
    ASSERT_EQ(AddTo(save, TID_D3DRMVector, nullptr, v, &vector), S_OK);
    EXPECT_EQ(AddTo(vector, TID_D3DRMFrame, nullptr, {}), D3DXFERR_BADOBJECT);  // closed template
    EXPECT_EQ(vector->AddDataReference("Red", nullptr), D3DXFERR_BADOBJECT);
    vector->Release();
    list->Release();
    save->Release();
}

TEST_F(SaveObjectTest, DataObjectsReportNameTypeAndSave) {
    ID3DXFileSaveObject* save = Create(m_dir.File("names.x"));
    ID3DXFileSaveData* frame = nullptr;
    ASSERT_EQ(save->AddDataObject(TID_D3DRMFrame, "Hips", nullptr, 0, nullptr, &frame), S_OK);
    SIZE_T size = 0;
    ASSERT_EQ(frame->GetName(nullptr, &size), S_OK);
    EXPECT_EQ(size, 5u);
    char name[5];
    ASSERT_EQ(frame->GetName(name, &size), S_OK);
    EXPECT_STREQ(name, "Hips");
    GUID type;
    ASSERT_EQ(frame->GetType(&type), S_OK);
    EXPECT_EQ(type, TID_D3DRMFrame);
    ID3DXFileSaveObject* owner = nullptr;
    ASSERT_EQ(frame->GetSave(&owner), S_OK);
    EXPECT_EQ(owner, save);
    owner->Release();
    // The save object outlives its creator's reference while a data object holds one.
    save->Release();
    EXPECT_EQ(AddTo(frame, TID_D3DRMFrame, "Spine", {}), S_OK);
    frame->Release();
}

TEST_F(SaveObjectTest, FailedSaveLeavesNoFileAndKeepsThePreviousOne) {
    // A directory that does not exist.
    ID3DXFileSaveObject* save = Create(m_dir.File("missing/out.x"));
    EXPECT_EQ(save->Save(), static_cast<HRESULT>(0x80070003));  // ERROR_PATH_NOT_FOUND
    save->Release();

    // A name the text form cannot hold: the save fails and the old file stays as it was.
    std::string path = m_dir.File("keep.x");
    xtest::WriteBytes(path, {'o', 'l', 'd'});
    save = Create(path);
    ASSERT_EQ(save->AddDataObject(TID_D3DRMFrame, "two words", nullptr, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(save->Save(), D3DXFERR_BADVALUE);
    save->Release();
    EXPECT_EQ(xtest::ReadBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"keep.x"});  // no temporary left over
}

TEST_F(SaveObjectTest, UnwritableDirectoryGivesAccessDenied) {
    // Root may write into any ordinary directory, but not into sysfs.
    std::string locked = m_dir.File("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0500), 0);
    if (::geteuid() == 0) locked = "/sys";
    ID3DXFileSaveObject* save = Create(locked + "/out.x");
    EXPECT_EQ(save->Save(), E_ACCESSDENIED);
    save->Release();
}

TEST_F(SaveObjectTest, SavedFileReplacesTheOldOneWhole) {
    std::string path = m_dir.File("replace.x");
    xtest::WriteBytes(path, std::vector<std::uint8_t>(100000, 'z'));
    ID3DXFileSaveObject* save = Create(path, D3DXF_FILEFORMAT_TEXT | D3DXF_FILEFORMAT_COMPRESSED);
    ASSERT_EQ(save->AddDataObject(TID_D3DRMFrame, "Only", nullptr, 0, nullptr, nullptr), S_OK);
    ASSERT_EQ(save->Save(), S_OK);
    save->Release();
    auto contents = ReadBack(path);
    EXPECT_EQ(contents.form, d3dx::XFileForm::CompressedText);
    ASSERT_EQ(contents.objects.size(), 1u);
    EXPECT_EQ(contents.objects[0].name, "Only");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IRUSR, 0u);
    EXPECT_NE(info.st_mode & S_IWUSR, 0u);
}

TEST_F(SaveObjectTest, CreateSaveObjectChecksItsArguments) {
    ID3DXFileSaveObject* save = nullptr;
    EXPECT_EQ(m_standard.file->CreateSaveObject("x.x", D3DXF_FILESAVE_TOWFILE,
                                                D3DXF_FILEFORMAT_TEXT, &save),
              E_NOTIMPL);
    EXPECT_EQ(m_standard.file->CreateSaveObject("x.x", D3DXF_FILESAVE_TOFILE, 8, &save),
              E_INVALIDARG);
    EXPECT_EQ(m_standard.file->CreateSaveObject(nullptr, D3DXF_FILESAVE_TOFILE, 0, &save),
              E_POINTER);
    // Compressed alone is compressed binary.
    ASSERT_EQ(m_standard.file->CreateSaveObject(m_dir.File("c.x").c_str(), D3DXF_FILESAVE_TOFILE,
                                                D3DXF_FILEFORMAT_COMPRESSED, &save),
              S_OK);
    ASSERT_EQ(save->Save(), S_OK);
    save->Release();
    EXPECT_EQ(ReadBack(m_dir.File("c.x")).form, d3dx::XFileForm::CompressedBinary);
}

}  // namespace
