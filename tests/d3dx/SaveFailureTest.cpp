// A failed save or add says which object and which value: d3dx::LastFailureDetail.
#include <gtest/gtest.h>

#include <string>

#include "XTestSupport.h"
#include "platform/d3dx/XParser.h"
#include "platform/d3dx/XSaveTree.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "platform/win/FileIO.h"

namespace {

using d3dx::LastFailureDetail;
using d3dx::XPayloadWriter;
using tarvo::testsupport::TempDir;
using xtest::AddTo;
using xtest::StandardFile;

class SaveFailureTest : public ::testing::Test {
  protected:
    // A save object of `format` whose objects are released with the test.
    ID3DXFileSaveObject* Create(D3DXF_FILEFORMAT format, const std::string& name = "out.x") {
        ID3DXFileSaveObject* save = nullptr;
        EXPECT_EQ(m_standard.file->CreateSaveObject(m_dir.File(name).c_str(), D3DXF_FILESAVE_TOFILE,
                                                    format, &save),
                  S_OK);
        return Keep(save);
    }
    template <typename T>
    T* Keep(T* object) {
        if (object != nullptr) m_held.push_back(object);
        return object;
    }
    ID3DXFileSaveData* Add(ID3DXFileSaveObject* save, const GUID& tmpl, const char* name,
                           const XPayloadWriter& payload = {}) {
        ID3DXFileSaveData* data = nullptr;
        EXPECT_EQ(AddTo(save, tmpl, name, payload, &data), S_OK);
        return Keep(data);
    }
    ID3DXFileSaveData* Add(ID3DXFileSaveData* parent, const GUID& tmpl, const char* name,
                           const XPayloadWriter& payload = {}) {
        ID3DXFileSaveData* data = nullptr;
        EXPECT_EQ(AddTo(parent, tmpl, name, payload, &data), S_OK);
        return Keep(data);
    }
    void TearDown() override {
        for (auto it = m_held.rbegin(); it != m_held.rend(); ++it) (*it)->Release();
    }

    static XPayloadWriter MaterialPayload() {
        XPayloadWriter material;
        material.Floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
        return material;
    }

    TempDir m_dir;
    StandardFile m_standard;
    std::vector<IUnknown*> m_held;
};

TEST_F(SaveFailureTest, AnUnwritableNameNamesTheObjectAndWhy) {
    ID3DXFileSaveObject* save = Create(D3DXF_FILEFORMAT_TEXT);
    ID3DXFileSaveData* frame = Add(save, TID_D3DRMFrame, "Box01");
    Add(frame, TID_D3DRMMaterial, "a b", MaterialPayload());
    EXPECT_EQ(save->Save(), D3DXFERR_BADVALUE);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADVALUE),
              "Material \"a b\": the name \"a b\" cannot be written in the text form: it holds "
              "a space");
    // The words belong to that result only.
    EXPECT_EQ(LastFailureDetail(E_FAIL), "");
}

TEST_F(SaveFailureTest, AnUnnamedObjectIsFoundThroughTheObjectsItSitsIn) {
    ID3DXFileSaveObject* save = Create(D3DXF_FILEFORMAT_TEXT | D3DXF_FILEFORMAT_COMPRESSED);
    ID3DXFileSaveData* frame = Add(save, TID_D3DRMFrame, "Box01");
    XPayloadWriter list;
    list.Dword(1).Dword(0);
    ID3DXFileSaveData* materials = Add(frame, TID_D3DRMMeshMaterialList, nullptr, list);
    ID3DXFileSaveData* material = Add(materials, TID_D3DRMMaterial, nullptr, MaterialPayload());
    XPayloadWriter file;
    file.String("say \"cheese\".png");
    Add(material, TID_D3DRMTextureFilename, nullptr, file);
    EXPECT_EQ(save->Save(), D3DXFERR_BADVALUE);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADVALUE),
              "unnamed TextureFilename in unnamed Material in unnamed MeshMaterialList in Frame "
              "\"Box01\": the string \"say \"cheese\".png\" of member 'filename' cannot be "
              "written in the text form: it holds a double quote");
}

TEST_F(SaveFailureTest, AReferenceNamesTheObjectItSitsIn) {
    ID3DXFileSaveObject* save = Create(D3DXF_FILEFORMAT_TEXT);
    XPayloadWriter list;
    list.Dword(0).Dword(0);
    ID3DXFileSaveData* materials = Add(save, TID_D3DRMMeshMaterialList, "Slots", list);
    ASSERT_EQ(materials->AddDataReference("Red;Blue", nullptr), S_OK);
    EXPECT_EQ(save->Save(), D3DXFERR_BADVALUE);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADVALUE),
              "a reference in MeshMaterialList \"Slots\": the name \"Red;Blue\" cannot be "
              "written in the text form: it holds ';', which the text form reads as "
              "punctuation");
}

TEST_F(SaveFailureTest, TheSameTreeSavesInBinaryAndASuccessForgetsTheFailure) {
    ID3DXFileSaveObject* text = Create(D3DXF_FILEFORMAT_TEXT, "text.x");
    ID3DXFileSaveObject* binary = Create(D3DXF_FILEFORMAT_BINARY, "binary.x");
    Add(text, TID_D3DRMFrame, "12");
    Add(binary, TID_D3DRMFrame, "12");
    EXPECT_EQ(text->Save(), D3DXFERR_BADVALUE);
    EXPECT_NE(LastFailureDetail(D3DXFERR_BADVALUE), "");
    EXPECT_EQ(binary->Save(), S_OK);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADVALUE), "");
}

TEST(TextNameProblem, SaysWhyEachNameCannotBeText) {
    struct Case {
        const char* name;
        const char* problem;
    };
    const Case cases[] = {
        {"Box01", ""},
        {"Ünïcode", ""},
        {"", "it is empty"},
        {"a b", "it holds a space"},
        {"tab\there", "it holds the control byte 0x09"},
        {"del\x7f", "it holds the control byte 0x7F"},
        {"{x}", "it holds '{', which the text form reads as punctuation"},
        {"q\"", "it holds '\"', which the text form reads as punctuation"},
        {"#1", "it starts with '#', which begins a comment"},
        {"a//b", "it holds '//', which begins a comment"},
        {"-1.5", "it reads as a number"},
        {"12", "it reads as a number"},
        {"TEMPLATE", "it is the keyword 'template'"},
        {"Frame", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(d3dx::TextNameProblem(c.name), c.problem) << c.name;
        EXPECT_EQ(d3dx::IsWritableTextName(c.name), *c.problem == '\0') << c.name;
    }
}

TEST_F(SaveFailureTest, RefusedAddsSayWhatWasAddedWhereAndWhy) {
    ID3DXFileSaveObject* save = Create(D3DXF_FILEFORMAT_BINARY);
    ID3DXFileSaveData* frame = Add(save, TID_D3DRMFrame, "Hips");

    XPayloadWriter shortMesh;
    shortMesh.Dword(2).Floats({0, 0, 0});  // two vertices claimed, one given
    EXPECT_EQ(AddTo(frame, TID_D3DRMMesh, "Body", shortMesh), D3DXFERR_BADARRAYSIZE);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADARRAYSIZE),
              "adding Mesh \"Body\" to Frame \"Hips\": the array of member 'vertices' is larger "
              "than the 16-byte payload can hold");

    XPayloadWriter vector;
    vector.Floats({1, 2});
    EXPECT_EQ(AddTo(save, TID_D3DRMVector, nullptr, vector), D3DXFERR_BADVALUE);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADVALUE),
              "adding unnamed Vector at the top level: the 8-byte payload ends inside member "
              "'z'");

    XPayloadWriter list;
    list.Dword(0).Dword(0);
    ID3DXFileSaveData* materials = Add(frame, TID_D3DRMMeshMaterialList, "Slots", list);
    XPayloadWriter point;
    point.Floats({1, 2, 3});
    EXPECT_EQ(AddTo(materials, TID_D3DRMVector, "V", point), D3DXFERR_BADOBJECT);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADOBJECT),
              "adding Vector \"V\" to MeshMaterialList \"Slots\": template MeshMaterialList "
              "does not take Vector children");

    GUID unknown = *ParseGuid("01234567-89AB-CDEF-0123-456789ABCDEF");
    EXPECT_EQ(frame->AddDataObject(unknown, "X", nullptr, 0, nullptr, nullptr), D3DXFERR_NOTFOUND);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_NOTFOUND),
              "adding an object \"X\" to Frame \"Hips\": no template with GUID "
              "01234567-89AB-CDEF-0123-456789ABCDEF is registered");

    ID3DXFileSaveData* closed = Add(save, TID_D3DRMVector, nullptr, point);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_NOTFOUND), "");  // the add that worked forgot it
    EXPECT_EQ(closed->AddDataReference("Hips", nullptr), D3DXFERR_BADOBJECT);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADOBJECT),
              "unnamed Vector takes no references: template Vector is closed");
    EXPECT_EQ(frame->AddDataReference(nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(LastFailureDetail(E_INVALIDARG),
              "a reference in Frame \"Hips\" has neither name nor GUID");
}

TEST_F(SaveFailureTest, AFileThatCannotBeWrittenIsNamed) {
    ID3DXFileSaveObject* save = Create(D3DXF_FILEFORMAT_BINARY, "missing/out.x");
    const HRESULT pathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(save->Save(), pathNotFound);
    EXPECT_EQ(LastFailureDetail(pathNotFound),
              m_dir.File("missing/out.x") + " could not be written: its folder does not exist");
}

TEST_F(SaveFailureTest, ATemplateTextCannotDefineIsNamed) {
    // A binary block may name a template with any bytes; the text form cannot spell some.
    const std::string_view definition =
        "xof 0303txt 0032\n"
        "template Odd { <0A1B2C3D-0000-1111-2222-333344445555> DWORD n; }";
    d3dx::XTemplateRegistry oddlyNamed;
    ASSERT_EQ(d3dx::RegisterTemplateBlock(
                  {reinterpret_cast<const std::uint8_t*>(definition.data()), definition.size()},
                  oddlyNamed, nullptr),
              S_OK);
    d3dx::XTemplate odd = oddlyNamed.At(oddlyNamed.Size() - 1);
    odd.name = "Odd One";
    d3dx::XTemplateRegistry empty;
    std::vector<std::uint8_t> block = {'x', 'o', 'f', ' ', '0', '3', '0', '3',
                                       'b', 'i', 'n', ' ', '0', '0', '3', '2'};
    d3dx::AppendTemplateTokens(empty, odd, block);
    ASSERT_EQ(m_standard.file->RegisterTemplates(block.data(), block.size()), S_OK);

    ID3DXFileSaveObject* save = Create(D3DXF_FILEFORMAT_TEXT);
    XPayloadWriter n;
    n.Dword(7);
    Add(save, odd.guid, "Seven", n);
    EXPECT_EQ(save->Save(), D3DXFERR_BADVALUE);
    EXPECT_EQ(LastFailureDetail(D3DXFERR_BADVALUE),
              "the definition of template \"Odd One\": the word \"Odd One\" cannot be written in "
              "the text form: it holds a space");
}

TEST_F(SaveFailureTest, ABrokenTemplateBlockSaysWhereItStopsReading) {
    const char block[] =
        "xof 0303txt 0032\ntemplate Broken { <0A1B2C3D-0000-1111-2222-333344445555>";
    EXPECT_EQ(m_standard.file->RegisterTemplates(block, sizeof block - 1), D3DXFERR_PARSEERROR);
    EXPECT_NE(
        LastFailureDetail(D3DXFERR_PARSEERROR).find("the template block does not read: byte "),
        std::string::npos)
        << LastFailureDetail(D3DXFERR_PARSEERROR);
}

}  // namespace
