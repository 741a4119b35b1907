// Adds that take the caller's payload over (d3dx::AddDataObjectAdopting) and the payload
// writer that hands its bytes out (TakeBytes): the file is the one the copying add gives,
// a failed add leaves the bytes with the caller, and another implementation of the
// interfaces is given a copy.
#include <gtest/gtest.h>

#include <vector>

#include "XTestSupport.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "platform/win/ComRef.h"

namespace {

using d3dx::AddDataObjectAdopting;
using d3dx::XPayloadWriter;
using tarvo::testsupport::TempDir;
using xtest::StandardFile;
using Bytes = std::vector<std::uint8_t>;
using Payload = d3dx::XPayloadBytes;  // what the writer hands out and the save tree adopts

Payload TriangleMesh() {
    XPayloadWriter mesh;
    mesh.Dword(3).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Dword(1).Dwords({3, 0, 1, 2});
    return mesh.TakeBytes();
}

Payload Normals() {
    XPayloadWriter normals;
    normals.Dword(1).Floats({0, 0, 1}).Dword(1).Dwords({3, 0, 0, 0});
    return normals.TakeBytes();
}

class AdoptedPayloadTest : public ::testing::Test {
  protected:
    ID3DXFileSaveObject* Create(const std::string& path, D3DXF_FILEFORMAT format) {
        ID3DXFileSaveObject* save = nullptr;
        EXPECT_EQ(
            m_standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save),
            S_OK);
        return save;
    }

    // A Frame holding a Mesh with MeshNormals, the Mesh's payload followed by bytes that are
    // not part of it; each object added by copy or by adoption.
    Bytes SaveFrameWithMesh(const std::string& file, D3DXF_FILEFORMAT format, bool adopt) {
        std::string path = m_dir.File(file);
        ComRef<ID3DXFileSaveObject> save(Create(path, format));
        Payload frame;
        Payload mesh = TriangleMesh();
        mesh.insert(mesh.end(), {0xDE, 0xAD, 0xBE, 0xEF});
        Payload normals = Normals();
        ComRef<ID3DXFileSaveData> frameData, meshData;
        if (adopt) {
            EXPECT_EQ(AddDataObjectAdopting(save.Get(), TID_D3DRMFrame, "Root", nullptr,
                                            std::move(frame), frameData.Put()),
                      S_OK);
            EXPECT_EQ(AddDataObjectAdopting(frameData.Get(), TID_D3DRMMesh, "Tri", nullptr,
                                            std::move(mesh), meshData.Put()),
                      S_OK);
            EXPECT_EQ(AddDataObjectAdopting(meshData.Get(), TID_D3DRMMeshNormals, nullptr, nullptr,
                                            std::move(normals), nullptr),
                      S_OK);
            // Taken over, not copied: the caller is left without the bytes.
            EXPECT_TRUE(mesh.empty());
            EXPECT_TRUE(normals.empty());
        } else {
            EXPECT_EQ(
                save->AddDataObject(TID_D3DRMFrame, "Root", nullptr, 0, nullptr, frameData.Put()),
                S_OK);
            EXPECT_EQ(frameData->AddDataObject(TID_D3DRMMesh, "Tri", nullptr, mesh.size(),
                                               mesh.data(), meshData.Put()),
                      S_OK);
            EXPECT_EQ(meshData->AddDataObject(TID_D3DRMMeshNormals, nullptr, nullptr,
                                              normals.size(), normals.data(), nullptr),
                      S_OK);
        }
        meshData.Reset();
        frameData.Reset();
        EXPECT_EQ(save->Save(), S_OK);
        return xtest::ReadBytes(path);
    }

    TempDir m_dir;
    StandardFile m_standard;
};

TEST_F(AdoptedPayloadTest, AdoptedPayloadsWriteTheFileThatCopiedOnesWrite) {
    for (const xtest::FormatCase& form : xtest::kAllFormats) {
        SCOPED_TRACE(form.name);
        Bytes copied = SaveFrameWithMesh("copied.x", form.format, false);
        Bytes adopted = SaveFrameWithMesh("adopted.x", form.format, true);
        ASSERT_FALSE(copied.empty());
        EXPECT_EQ(adopted, copied);
    }
    // The bytes past the Mesh's members are not written, as with a copying add.
    auto contents = xtest::ReadBack(m_dir.File("adopted.x"));
    ASSERT_EQ(contents.objects.size(), 1u);
    const auto& mesh = *contents.objects[0].children.at(0).object;
    const Payload expected = TriangleMesh();
    EXPECT_EQ(mesh.payload, Bytes(expected.begin(), expected.end()));
}

TEST_F(AdoptedPayloadTest, AFailedAddLeavesThePayloadWithTheCaller) {
    ComRef<ID3DXFileSaveObject> save(Create(m_dir.File("refused.x"), D3DXF_FILEFORMAT_TEXT));
    const Payload mesh = TriangleMesh();
    Payload unknown = mesh;
    GUID notRegistered = *ParseGuid("01234567-89AB-CDEF-0123-456789ABCDEF");
    EXPECT_EQ(
        AddDataObjectAdopting(save.Get(), notRegistered, "X", nullptr, std::move(unknown), nullptr),
        D3DXFERR_NOTFOUND);
    EXPECT_EQ(unknown, mesh);
    Payload shortMesh(mesh.begin(), mesh.end() - 4);  // the last face index is missing
    const Payload shortCopy = shortMesh;
    EXPECT_EQ(AddDataObjectAdopting(save.Get(), TID_D3DRMMesh, "Short", nullptr,
                                    std::move(shortMesh), nullptr),
              D3DXFERR_BADARRAYSIZE);  // the face array is larger than the payload holds
    EXPECT_EQ(shortMesh, shortCopy);
    ComRef<ID3DXFileSaveData> vector;
    Payload vectorPayload = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(AddDataObjectAdopting(save.Get(), TID_D3DRMVector, nullptr, nullptr,
                                    std::move(vectorPayload), vector.Put()),
              S_OK);
    Payload child = mesh;
    EXPECT_EQ(AddDataObjectAdopting(vector.Get(), TID_D3DRMMesh, nullptr, nullptr, std::move(child),
                                    nullptr),
              D3DXFERR_BADOBJECT);  // a Vector takes no children
    EXPECT_EQ(child, mesh);
}

// A data object of another implementation, which keeps what its AddDataObject is given.
class RecordingData : public ID3DXFileSaveData {
  public:
    HRESULT AddDataObject(REFGUID, LPCSTR, const GUID*, SIZE_T cbSize, LPCVOID pvData,
                          ID3DXFileSaveData**) override {
        const auto* bytes = static_cast<const std::uint8_t*>(pvData);
        received.assign(bytes, bytes + cbSize);
        return S_OK;
    }
    HRESULT AddDataReference(LPCSTR, const GUID*) override { return E_NOTIMPL; }
    HRESULT GetSave(ID3DXFileSaveObject**) override { return E_NOTIMPL; }
    HRESULT GetName(LPSTR, SIZE_T*) override { return E_NOTIMPL; }
    HRESULT GetId(GUID*) override { return E_NOTIMPL; }
    HRESULT GetType(GUID*) override { return E_NOTIMPL; }

    Bytes received;
};

TEST_F(AdoptedPayloadTest, AnotherImplementationIsGivenACopy) {
    ComRef<RecordingData> parent(new RecordingData);
    Payload normals = Normals();
    EXPECT_EQ(AddDataObjectAdopting(parent.Get(), TID_D3DRMMeshNormals, nullptr, nullptr,
                                    std::move(normals), nullptr),
              S_OK);
    const Payload expected = Normals();
    EXPECT_EQ(parent->received, Bytes(expected.begin(), expected.end()));
}

TEST(PayloadWriterTakeBytes, HandsOutExactlyTheBytesWrittenAndStartsAgainEmpty) {
    XPayloadWriter writer;
    ASSERT_TRUE(writer.Reserve(64));
    writer.Dword(0x04030201).Word(0x0605);
    Payload taken = writer.TakeBytes();
    EXPECT_EQ(taken, (Payload{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(writer.Size(), 0u);
    // Reused past a reservation that is now gone: it grows again.
    writer.String("ab");
    EXPECT_EQ(writer.TakeBytes(), (Payload{'a', 'b', 0}));
    EXPECT_TRUE(writer.TakeBytes().empty());
}

}  // namespace
