// xsample: writes a small sample scene with the .X file library in the text, binary and
// compressed binary forms, reads each file back and prints its tree.
#include <cstdio>
#include <string>

#include "platform/d3dx/D3DXFile.h"
#include "platform/d3dx/XDump.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XReader.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "platform/win/ComRef.h"

namespace {

using d3dx::XPayloadWriter;

// Adds objects and remembers the first add that fails; once one has failed, nothing more is
// added and the sample is not saved.
class SampleBuilder {
  public:
    ComRef<ID3DXFileSaveData> Add(ID3DXFileSaveData* parent, const GUID& tmpl, const char* name,
                                  const XPayloadWriter& payload = {}) {
        ComRef<ID3DXFileSaveData> child;
        if (SUCCEEDED(m_hr) && parent != nullptr)
            Keep(parent->AddDataObject(tmpl, name, nullptr, payload.Size(),
                                       payload.Size() ? payload.Data() : nullptr, child.Put()));
        return child;
    }
    ComRef<ID3DXFileSaveData> AddTop(ID3DXFileSaveObject* save, const GUID& tmpl, const char* name,
                                     const XPayloadWriter& payload = {}) {
        ComRef<ID3DXFileSaveData> child;
        if (SUCCEEDED(m_hr))
            Keep(save->AddDataObject(tmpl, name, nullptr, payload.Size(),
                                     payload.Size() ? payload.Data() : nullptr, child.Put()));
        return child;
    }
    void Reference(ID3DXFileSaveData* parent, const char* name) {
        if (SUCCEEDED(m_hr) && parent != nullptr) Keep(parent->AddDataReference(name, nullptr));
    }
    HRESULT Result() const { return m_hr; }

  private:
    void Keep(HRESULT hr) {
        if (FAILED(hr)) m_hr = hr;
    }
    HRESULT m_hr = S_OK;
};

XPayloadWriter IdentityMatrix(float x, float y, float z) {
    XPayloadWriter m;
    m.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
    return m;
}

// A textured quad under a root frame with one bone, skinned to it, and a two-key rotation.
HRESULT WriteSample(ID3DXFile* file, const std::string& path, D3DXF_FILEFORMAT format) {
    ComRef<ID3DXFileSaveObject> save;
    HRESULT hr = file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, save.Put());
    if (FAILED(hr)) return hr;
    SampleBuilder sample;

    XPayloadWriter ticks;
    ticks.Dword(4800);
    sample.AddTop(save.Get(), DXFILEOBJ_AnimTicksPerSecond, nullptr, ticks);

    ComRef<ID3DXFileSaveData> root = sample.AddTop(save.Get(), TID_D3DRMFrame, "Root");
    sample.Add(root.Get(), TID_D3DRMFrameTransformMatrix, nullptr, IdentityMatrix(0, 0, 0));
    ComRef<ID3DXFileSaveData> bone = sample.Add(root.Get(), TID_D3DRMFrame, "Bone1");
    sample.Add(bone.Get(), TID_D3DRMFrameTransformMatrix, nullptr, IdentityMatrix(0, 1, 0));

    XPayloadWriter mesh;
    mesh.Dword(4).Floats({-1, 0, -1, -1, 0, 1, 1, 0, 1, 1, 0, -1});
    mesh.Dword(2).Dwords({3, 0, 1, 2, 3, 0, 2, 3});
    ComRef<ID3DXFileSaveData> quad = sample.Add(root.Get(), TID_D3DRMMesh, "Quad", mesh);

    XPayloadWriter normals;
    normals.Dword(1).Floats({0, 1, 0}).Dword(2).Dwords({3, 0, 0, 0, 3, 0, 0, 0});
    sample.Add(quad.Get(), TID_D3DRMMeshNormals, nullptr, normals);
    XPayloadWriter uvs;
    uvs.Dword(4).Floats({0, 1, 0, 0, 1, 0, 1, 1});
    sample.Add(quad.Get(), TID_D3DRMMeshTextureCoords, nullptr, uvs);

    XPayloadWriter list;
    list.Dword(1).Dword(2).Dwords({0, 0});
    ComRef<ID3DXFileSaveData> materials =
        sample.Add(quad.Get(), TID_D3DRMMeshMaterialList, nullptr, list);
    XPayloadWriter material;
    material.Floats({1, 1, 1, 1, 10, 1, 1, 1, 0, 0, 0});
    ComRef<ID3DXFileSaveData> checker =
        sample.Add(materials.Get(), TID_D3DRMMaterial, "Checker", material);
    XPayloadWriter texture;
    texture.String("checker.png");
    sample.Add(checker.Get(), TID_D3DRMTextureFilename, nullptr, texture);

    XPayloadWriter header;
    header.Word(1).Word(1).Word(1);
    sample.Add(quad.Get(), DXFILEOBJ_XSkinMeshHeader, nullptr, header);
    XPayloadWriter weights;
    weights.String("Bone1").Dword(4).Dwords({0, 1, 2, 3}).Floats({1, 1, 1, 1});
    weights.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1});
    sample.Add(quad.Get(), DXFILEOBJ_SkinWeights, nullptr, weights);

    ComRef<ID3DXFileSaveData> set = sample.AddTop(save.Get(), TID_D3DRMAnimationSet, "Wave");
    ComRef<ID3DXFileSaveData> animation = sample.Add(set.Get(), TID_D3DRMAnimation, nullptr);
    sample.Reference(animation.Get(), "Bone1");
    XPayloadWriter key;
    key.Dword(0).Dword(2);
    key.Dword(0).Dword(4).Floats({1, 0, 0, 0});
    key.Dword(4800).Dword(4).Floats({0.707107f, 0.707107f, 0, 0});
    sample.Add(animation.Get(), TID_D3DRMAnimationKey, nullptr, key);

    if (FAILED(sample.Result())) return sample.Result();
    return save->Save();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(
            "usage: xsample OUTPUT-PREFIX\n"
            "Writes OUTPUT-PREFIX-text.x, -binary.x and -compressed.x, reads each back and\n"
            "prints its tree.\n",
            argc == 2 ? stdout : stderr);
        return argc == 2 ? 0 : 2;
    }
    ComRef<ID3DXFile> file;
    if (FAILED(D3DXFileCreate(file.Put()))) return 1;
    if (FAILED(RegisterStandardTemplateSets(file.Get()))) {
        std::fputs("xsample: the standard template sets did not register\n", stderr);
        return 1;
    }

    struct Form {
        const char* suffix;
        D3DXF_FILEFORMAT format;
    } forms[] = {{"-text.x", D3DXF_FILEFORMAT_TEXT},
                 {"-binary.x", D3DXF_FILEFORMAT_BINARY},
                 {"-compressed.x", D3DXF_FILEFORMAT_BINARY | D3DXF_FILEFORMAT_COMPRESSED}};
    int status = 0;
    for (const Form& form : forms) {
        std::string path = std::string(argv[1]) + form.suffix;
        HRESULT hr = WriteSample(file.Get(), path, form.format);
        d3dx::XFileContents contents;
        d3dx::XReadError error;
        if (FAILED(hr)) {
            std::fprintf(stderr, "xsample: cannot write %s (0x%08X)\n", path.c_str(),
                         static_cast<unsigned>(hr));
            status = 1;
        } else if (FAILED(d3dx::ReadXFile(path, d3dx::StandardTemplates(), contents, &error))) {
            std::fprintf(stderr, "xsample: %s\n", error.message.c_str());
            status = 1;
        } else {
            std::printf("== %s\n%s\n", path.c_str(), d3dx::DumpText(contents).c_str());
        }
    }
    return status;
}
