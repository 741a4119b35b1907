// xsample: writes a small sample scene with the .X file library in the text, binary and
// compressed binary forms, reads each file back and prints its tree.
#include <cstdio>
#include <string>

#include "platform/d3dx/D3DXFile.h"
#include "platform/d3dx/XDump.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XReader.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

using d3dx::XPayloadWriter;

HRESULT Add(ID3DXFileSaveData* parent, const GUID& tmpl, const char* name,
            const XPayloadWriter& payload, ID3DXFileSaveData** child = nullptr) {
    return parent->AddDataObject(tmpl, name, nullptr, payload.Size(),
                                 payload.Size() ? payload.Data() : nullptr, child);
}

XPayloadWriter IdentityMatrix(float x, float y, float z) {
    XPayloadWriter m;
    m.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
    return m;
}

// A textured quad under a root frame with one bone, skinned to it, and a two-key rotation.
HRESULT WriteSample(ID3DXFile* file, const std::string& path, D3DXF_FILEFORMAT format) {
    ID3DXFileSaveObject* save = nullptr;
    HRESULT hr = file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save);
    if (FAILED(hr)) return hr;

    XPayloadWriter ticks;
    ticks.Dword(4800);
    save->AddDataObject(DXFILEOBJ_AnimTicksPerSecond, nullptr, nullptr, ticks.Size(), ticks.Data(),
                        nullptr);

    ID3DXFileSaveData* root = nullptr;
    save->AddDataObject(TID_D3DRMFrame, "Root", nullptr, 0, nullptr, &root);
    Add(root, TID_D3DRMFrameTransformMatrix, nullptr, IdentityMatrix(0, 0, 0));
    ID3DXFileSaveData* bone = nullptr;
    Add(root, TID_D3DRMFrame, "Bone1", {}, &bone);
    Add(bone, TID_D3DRMFrameTransformMatrix, nullptr, IdentityMatrix(0, 1, 0));
    bone->Release();

    XPayloadWriter mesh;
    mesh.Dword(4).Floats({-1, 0, -1, -1, 0, 1, 1, 0, 1, 1, 0, -1});
    mesh.Dword(2).Dwords({3, 0, 1, 2, 3, 0, 2, 3});
    ID3DXFileSaveData* quad = nullptr;
    Add(root, TID_D3DRMMesh, "Quad", mesh, &quad);

    XPayloadWriter normals;
    normals.Dword(1).Floats({0, 1, 0}).Dword(2).Dwords({3, 0, 0, 0, 3, 0, 0, 0});
    Add(quad, TID_D3DRMMeshNormals, nullptr, normals);
    XPayloadWriter uvs;
    uvs.Dword(4).Floats({0, 1, 0, 0, 1, 0, 1, 1});
    Add(quad, TID_D3DRMMeshTextureCoords, nullptr, uvs);

    XPayloadWriter list;
    list.Dword(1).Dword(2).Dwords({0, 0});
    ID3DXFileSaveData* materials = nullptr;
    Add(quad, TID_D3DRMMeshMaterialList, nullptr, list, &materials);
    XPayloadWriter material;
    material.Floats({1, 1, 1, 1, 10, 1, 1, 1, 0, 0, 0});
    ID3DXFileSaveData* mat = nullptr;
    Add(materials, TID_D3DRMMaterial, "Checker", material, &mat);
    XPayloadWriter texture;
    texture.String("checker.png");
    Add(mat, TID_D3DRMTextureFilename, nullptr, texture);
    mat->Release();
    materials->Release();

    XPayloadWriter header;
    header.Word(1).Word(1).Word(1);
    Add(quad, DXFILEOBJ_XSkinMeshHeader, nullptr, header);
    XPayloadWriter weights;
    weights.String("Bone1").Dword(4).Dwords({0, 1, 2, 3}).Floats({1, 1, 1, 1});
    weights.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1});
    Add(quad, DXFILEOBJ_SkinWeights, nullptr, weights);
    quad->Release();
    root->Release();

    ID3DXFileSaveData* set = nullptr;
    save->AddDataObject(TID_D3DRMAnimationSet, "Wave", nullptr, 0, nullptr, &set);
    ID3DXFileSaveData* animation = nullptr;
    Add(set, TID_D3DRMAnimation, nullptr, {}, &animation);
    animation->AddDataReference("Bone1", nullptr);
    XPayloadWriter key;
    key.Dword(0).Dword(2);
    key.Dword(0).Dword(4).Floats({1, 0, 0, 0});
    key.Dword(4800).Dword(4).Floats({0.707107f, 0.707107f, 0, 0});
    Add(animation, TID_D3DRMAnimationKey, nullptr, key);
    animation->Release();
    set->Release();

    hr = save->Save();
    save->Release();
    return hr;
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
    ID3DXFile* file = nullptr;
    if (FAILED(D3DXFileCreate(&file))) return 1;
    if (FAILED(RegisterStandardTemplateSets(file))) {
        std::fputs("xsample: the standard template sets did not register\n", stderr);
        file->Release();
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
        HRESULT hr = WriteSample(file, path, form.format);
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
    file->Release();
    return status;
}
