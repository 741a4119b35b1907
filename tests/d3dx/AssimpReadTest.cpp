// Files written by the library, read by Assimp as an independent reader, in every form.
#include <gtest/gtest.h>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include "XTestSupport.h"
#include "platform/d3dx/XTemplateGuids.h"

namespace {

using d3dx::XPayloadWriter;
using xtest::AddTo;

// A skinned, textured, coloured quad under two frames, with a rotation animation, a second
// texture channel and an effect: objects of templates outside the D3DRM set, whose
// definitions the file carries.
void WriteSkinnedQuad(const std::string& path, D3DXF_FILEFORMAT format) {
    xtest::StandardFile standard;
    ID3DXFileSaveObject* save = nullptr;
    ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE, format, &save),
              S_OK);
    ID3DXFileSaveData* root = nullptr;
    ASSERT_EQ(AddTo(save, TID_D3DRMFrame, "Root", {}, &root), S_OK);
    XPayloadWriter identity;
    identity.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    ASSERT_EQ(AddTo(root, TID_D3DRMFrameTransformMatrix, nullptr, identity), S_OK);
    ID3DXFileSaveData* bone = nullptr;
    ASSERT_EQ(AddTo(root, TID_D3DRMFrame, "Bone_1", {}, &bone), S_OK);
    XPayloadWriter moved;
    moved.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2.5f, -1, 0.125f, 1});
    ASSERT_EQ(AddTo(bone, TID_D3DRMFrameTransformMatrix, nullptr, moved), S_OK);
    bone->Release();

    XPayloadWriter mesh;
    mesh.Dword(4)
        .Floats({-1, 0, -1, -1, 0, 1, 1, 0, 1, 1, 0.5f, -1})
        .Dword(2)
        .Dwords({3, 0, 1, 2, 3, 0, 2, 3});
    ID3DXFileSaveData* quad = nullptr;
    ASSERT_EQ(AddTo(root, TID_D3DRMMesh, "Quad", mesh, &quad), S_OK);
    XPayloadWriter normals;
    normals.Dword(1).Floats({0, 1, 0}).Dword(2).Dwords({3, 0, 0, 0, 3, 0, 0, 0});
    ASSERT_EQ(AddTo(quad, TID_D3DRMMeshNormals, nullptr, normals), S_OK);
    XPayloadWriter uvs;
    uvs.Dword(4).Floats({0, 1, 0, 0, 1, 0, 0.75f, 0.25f});
    ASSERT_EQ(AddTo(quad, TID_D3DRMMeshTextureCoords, nullptr, uvs), S_OK);
    XPayloadWriter colors;
    colors.Dword(4);
    for (std::uint32_t i = 0; i < 4; ++i) colors.Dword(i).Floats({0.25f * float(i), 0.5f, 1, 1});
    ASSERT_EQ(AddTo(quad, TID_D3DRMMeshVertexColors, nullptr, colors), S_OK);
    XPayloadWriter list;
    list.Dword(1).Dword(2).Dwords({0, 0});
    ID3DXFileSaveData* materials = nullptr;
    ASSERT_EQ(AddTo(quad, TID_D3DRMMeshMaterialList, nullptr, list, &materials), S_OK);
    XPayloadWriter material;
    material.Floats({0.5f, 0.25f, 1, 1, 12, 1, 1, 1, 0, 0, 0});
    ID3DXFileSaveData* mat = nullptr;
    ASSERT_EQ(AddTo(materials, TID_D3DRMMaterial, "Paint", material, &mat), S_OK);
    XPayloadWriter texture;
    texture.String("maps/paint.png");
    ASSERT_EQ(AddTo(mat, TID_D3DRMTextureFilename, nullptr, texture), S_OK);
    XPayloadWriter effectFile;
    effectFile.String("paint.fx");
    ID3DXFileSaveData* effect = nullptr;
    ASSERT_EQ(AddTo(mat, DXFILEOBJ_EffectInstance, nullptr, effectFile, &effect), S_OK);
    XPayloadWriter passes;
    passes.String("passes").Dword(2);
    ASSERT_EQ(AddTo(effect, DXFILEOBJ_EffectParamDWord, nullptr, passes), S_OK);
    effect->Release();
    mat->Release();
    materials->Release();
    XPayloadWriter header;
    header.Word(1).Word(1).Word(1);
    ASSERT_EQ(AddTo(quad, DXFILEOBJ_XSkinMeshHeader, nullptr, header), S_OK);
    XPayloadWriter weights;
    weights.String("Bone_1").Dword(3).Dwords({0, 1, 3}).Floats({1, 0.5f, 0.25f});
    weights.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -2.5f, 1, -0.125f, 1});
    ASSERT_EQ(AddTo(quad, DXFILEOBJ_SkinWeights, nullptr, weights), S_OK);
    constexpr std::uint32_t kOneTexCoordFvf = 0x100;  // D3DFVF_TEX1: one (u, v) pair per vertex
    XPayloadWriter secondUvs;
    secondUvs.Dword(kOneTexCoordFvf).Dword(8).Floats({0, 0, 0, 1, 1, 1, 1, 0});
    ASSERT_EQ(AddTo(quad, DXFILEOBJ_FVFData, nullptr, secondUvs), S_OK);
    quad->Release();
    root->Release();

    ID3DXFileSaveData* set = nullptr;
    ASSERT_EQ(AddTo(save, TID_D3DRMAnimationSet, "Wave", {}, &set), S_OK);
    ID3DXFileSaveData* animation = nullptr;
    ASSERT_EQ(AddTo(set, TID_D3DRMAnimation, nullptr, {}, &animation), S_OK);
    ASSERT_EQ(animation->AddDataReference("Bone_1", nullptr), S_OK);
    XPayloadWriter rotation;
    rotation.Dword(0)
        .Dword(2)
        .Dword(0)
        .Dword(4)
        .Floats({1, 0, 0, 0})
        .Dword(4800)
        .Dword(4)
        .Floats({0.5f, 0.5f, 0.5f, 0.5f});
    ASSERT_EQ(AddTo(animation, TID_D3DRMAnimationKey, nullptr, rotation), S_OK);
    XPayloadWriter position;
    position.Dword(2).Dword(1).Dword(2400).Dword(3).Floats({3, 4, 5});
    ASSERT_EQ(AddTo(animation, TID_D3DRMAnimationKey, nullptr, position), S_OK);
    animation->Release();
    set->Release();
    ASSERT_EQ(save->Save(), S_OK);
    save->Release();
}

const aiNode* FindNode(const aiNode* node, const char* name) {
    if (node->mName == aiString(name)) return node;
    for (unsigned i = 0; i < node->mNumChildren; ++i) {
        if (const aiNode* found = FindNode(node->mChildren[i], name)) return found;
    }
    return nullptr;
}

struct AssimpForm {
    const char* name;
    D3DXF_FILEFORMAT format;
};

class AssimpRead : public ::testing::TestWithParam<AssimpForm> {};

TEST_P(AssimpRead, SeesTheCountsAndValuesWritten) {
    tarvo::testsupport::TempDir dir;
    std::string path = dir.File("quad.x");
    WriteSkinnedQuad(path, GetParam().format);
    // The file is complete on its own: our reader needs no registered template for it.
    auto contents = xtest::ReadBackWith(path, {});
    ASSERT_EQ(contents.objects.size(), 2u);  // the root frame and the animation set
    for (const char* name : {"XSkinMeshHeader", "SkinWeights", "FVFData", "EffectInstance"}) {
        EXPECT_NE(contents.templates.FindByName(name), nullptr) << name;
    }

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();

    // Assimp turns the left-handed .X data right-handed: z is negated and the corners of
    // each face are reversed. Its matrices are the transpose of the .X rows.
    const aiNode* bone = FindNode(scene->mRootNode, "Bone_1");
    ASSERT_NE(bone, nullptr);
    EXPECT_EQ(bone->mTransformation.a4, 2.5f);
    EXPECT_EQ(bone->mTransformation.b4, -1.0f);
    EXPECT_EQ(bone->mTransformation.c4, -0.125f);

    ASSERT_EQ(scene->mNumMeshes, 1u);
    const aiMesh* mesh = scene->mMeshes[0];
    ASSERT_EQ(mesh->mNumFaces, 2u);
    ASSERT_EQ(mesh->mNumVertices, 6u);  // Assimp unshares the corners of each face
    EXPECT_EQ(mesh->mFaces[1].mNumIndices, 3u);
    // The corner of the fourth vertex: position, texture coordinate and colour.
    unsigned fourth = mesh->mFaces[1].mIndices[0];
    EXPECT_EQ(mesh->mVertices[fourth], aiVector3D(1, 0.5f, 1));
    ASSERT_TRUE(mesh->HasNormals());
    EXPECT_EQ(mesh->mNormals[0], aiVector3D(0, 1, 0));
    ASSERT_TRUE(mesh->HasTextureCoords(0));
    EXPECT_FLOAT_EQ(mesh->mTextureCoords[0][fourth].x, 0.75f);
    ASSERT_TRUE(mesh->HasVertexColors(0));
    EXPECT_FLOAT_EQ(mesh->mColors[0][fourth].r, 0.75f);

    ASSERT_EQ(mesh->mNumBones, 1u);
    EXPECT_EQ(std::string(mesh->mBones[0]->mName.C_Str()), "Bone_1");
    EXPECT_EQ(mesh->mBones[0]->mOffsetMatrix.a4, -2.5f);
    float total = 0;
    for (unsigned i = 0; i < mesh->mBones[0]->mNumWeights; ++i)
        total += mesh->mBones[0]->mWeights[i].mWeight;
    EXPECT_FLOAT_EQ(total, 1.0f + 1.0f + 0.5f + 0.25f);  // vertex 0 is a corner of both faces

    ASSERT_EQ(scene->mNumMaterials, 1u);
    aiColor4D diffuse;
    ASSERT_EQ(scene->mMaterials[0]->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse), aiReturn_SUCCESS);
    EXPECT_EQ(diffuse.g, 0.25f);
    aiString texture;
    ASSERT_EQ(scene->mMaterials[0]->GetTexture(aiTextureType_DIFFUSE, 0, &texture),
              aiReturn_SUCCESS);
    EXPECT_EQ(std::string(texture.C_Str()), "maps/paint.png");

    ASSERT_EQ(scene->mNumAnimations, 1u);
    const aiAnimation* animation = scene->mAnimations[0];
    EXPECT_EQ(std::string(animation->mName.C_Str()), "Wave");
    ASSERT_EQ(animation->mNumChannels, 1u);
    const aiNodeAnim* channel = animation->mChannels[0];
    EXPECT_EQ(std::string(channel->mNodeName.C_Str()), "Bone_1");
    ASSERT_EQ(channel->mNumRotationKeys, 2u);
    EXPECT_EQ(channel->mRotationKeys[1].mTime, 4800.0);
    EXPECT_FLOAT_EQ(std::abs(channel->mRotationKeys[1].mValue.w), 0.5f);
    ASSERT_EQ(channel->mNumPositionKeys, 1u);
    EXPECT_EQ(channel->mPositionKeys[0].mValue, aiVector3D(3, 4, -5));
    EXPECT_EQ(channel->mPositionKeys[0].mTime, 2400.0);
}

INSTANTIATE_TEST_SUITE_P(
    AllForms, AssimpRead,
    ::testing::Values(
        AssimpForm{"text", D3DXF_FILEFORMAT_TEXT}, AssimpForm{"binary", D3DXF_FILEFORMAT_BINARY},
        AssimpForm{"compressed_binary", D3DXF_FILEFORMAT_BINARY | D3DXF_FILEFORMAT_COMPRESSED},
        AssimpForm{"compressed_text", D3DXF_FILEFORMAT_TEXT | D3DXF_FILEFORMAT_COMPRESSED}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
