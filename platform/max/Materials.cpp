#include "platform/max/Materials.h"

#include <cmath>

using tarvo::scene::MaterialData;

// ---- IParamBlock2 ----

IParamBlock2::Param* IParamBlock2::Find(ParamID id) {
    int index = IDtoIndex(id);
    return index < 0 ? nullptr : m_params[static_cast<std::size_t>(index)].get();
}

ParamID IParamBlock2::IndextoID(int index) const {
    if (index < 0 || index >= NumParams()) return -1;
    return m_params[static_cast<std::size_t>(index)]->def.ID;
}

int IParamBlock2::IDtoIndex(ParamID id) const {
    for (std::size_t i = 0; i < m_params.size(); ++i)
        if (m_params[i]->def.ID == id) return static_cast<int>(i);
    return -1;
}

ParamDef& IParamBlock2::GetParamDef(ParamID id) {
    Param* param = Find(id);
    return param ? param->def : m_missing;
}

ParamType2 IParamBlock2::GetParameterType(ParamID id) {
    return GetParamDef(id).type;
}

namespace {

bool IsNumber(ParamType2 type) {
    return type == TYPE_FLOAT || type == TYPE_INT || type == TYPE_BOOL;
}

bool IsVector(ParamType2 type) {
    return type == TYPE_RGBA || type == TYPE_POINT3 || type == TYPE_POINT4 || type == TYPE_FRGBA;
}

bool IsText(ParamType2 type) {
    return type == TYPE_STRING || type == TYPE_FILENAME || type == TYPE_BITMAP;
}

}  // namespace

float IParamBlock2::GetFloat(ParamID id, TimeValue, int) {
    Param* p = Find(id);
    return p && IsNumber(p->def.type) ? static_cast<float>(p->number) : 0.0f;
}

int IParamBlock2::GetInt(ParamID id, TimeValue, int) {
    Param* p = Find(id);
    return p && IsNumber(p->def.type) ? static_cast<int>(std::lround(p->number)) : 0;
}

Point3 IParamBlock2::GetPoint3(ParamID id, TimeValue, int) {
    Param* p = Find(id);
    return p && IsVector(p->def.type) ? Point3(p->vector.x, p->vector.y, p->vector.z) : Point3();
}

Point4 IParamBlock2::GetPoint4(ParamID id, TimeValue, int) {
    Param* p = Find(id);
    return p && IsVector(p->def.type) ? p->vector : Point4();
}

AColor IParamBlock2::GetAColor(ParamID id, TimeValue, int) {
    Point4 v = GetPoint4(id);
    return AColor(v.x, v.y, v.z, v.w);
}

const MCHAR* IParamBlock2::GetStr(ParamID id, TimeValue, int) {
    Param* p = Find(id);
    return p && IsText(p->def.type) ? p->text.c_str() : nullptr;
}

BOOL IParamBlock2::GetValue(ParamID id, TimeValue, PBBitmap*& v, Interval& ivalid, int) {
    Param* p = Find(id);
    if (!p || p->def.type != TYPE_BITMAP) return FALSE;
    v = p->bitmap.get();
    ivalid = FOREVER;
    return TRUE;
}

// ---- Generic material values ----

Color Mtl::GetAmbient(int, BOOL) {
    return m_data ? m_data->diffuse : Color();
}
Color Mtl::GetDiffuse(int, BOOL) {
    return m_data ? m_data->diffuse : Color();
}
Color Mtl::GetSpecular(int, BOOL) {
    return m_data ? m_data->specular : Color();
}
float Mtl::GetShininess(int, BOOL) {
    return m_data ? m_data->shininess : 0.0f;
}
float Mtl::GetShinStr(int, BOOL) {
    return m_data ? m_data->specularLevel : 0.0f;
}
float Mtl::GetXParency(int, BOOL) {
    return m_data ? m_data->transparency : 0.0f;
}
Color Mtl::GetSelfIllumColor(int, BOOL) {
    return m_data ? m_data->selfIllumColor : Color();
}

namespace {

template <typename T>
T* SlotOf(const std::vector<T*>& slots, int i) {
    return i >= 0 && i < static_cast<int>(slots.size()) ? slots[static_cast<std::size_t>(i)]
                                                        : nullptr;
}

}  // namespace

// ---- StdMat ----

Texmap* StdMat::GetSubTexmap(int i) {
    return SlotOf(m_subTexmaps, i);
}
Mtl* StdMat::GetSubMtl(int i) {
    return SlotOf(m_subMtls, i);
}
Color StdMat::GetAmbient(TimeValue) {
    return m_data->diffuse;
}
Color StdMat::GetDiffuse(TimeValue) {
    return m_data->diffuse;
}
Color StdMat::GetSpecular(TimeValue) {
    return m_data->specular;
}
float StdMat::GetShininess(TimeValue) {
    return m_data->shininess;
}
float StdMat::GetShinStr(TimeValue) {
    return m_data->specularLevel;
}
float StdMat::GetSelfIllum(TimeValue) {
    return m_data->selfIllumination;
}
Color StdMat::GetSelfIllumColor(TimeValue) {
    return m_data->selfIllumColor;
}
float StdMat::GetOpacity(TimeValue) {
    return 1.0f - m_data->transparency;
}
float StdMat::GetXParency(int, BOOL) {
    return m_data->transparency;
}

BOOL StdMat::MapEnabled(int i) {
    return i >= 0 && i < static_cast<int>(m_mapEnabled.size()) &&
                   m_mapEnabled[static_cast<std::size_t>(i)]
               ? TRUE
               : FALSE;
}

// ---- Other classes ----

Mtl* MultiMtl::GetSubMtl(int i) {
    return SlotOf(m_subMtls, i);
}
Mtl* OtherMtl::GetSubMtl(int i) {
    return SlotOf(m_subMtls, i);
}
Texmap* OtherMtl::GetSubTexmap(int i) {
    return SlotOf(m_subTexmaps, i);
}
Mtl* DxMaterial::GetSubMtl(int i) {
    return SlotOf(m_subMtls, i);
}
Texmap* DxMaterial::GetSubTexmap(int i) {
    return SlotOf(m_subTexmaps, i);
}

BaseInterface* DxMaterial::GetInterface(Interface_ID id) {
    return id == IDXMATERIAL_INTERFACE ? static_cast<IDxMaterial*>(this) : nullptr;
}

int DxMaterial::NumParamBlocks() {
    return static_cast<int>(m_blocks.size());
}

IParamBlock2* DxMaterial::GetParamBlock(int i) {
    return i >= 0 && i < NumParamBlocks() ? m_blocks[static_cast<std::size_t>(i)].get() : nullptr;
}

MaxSDK::AssetManagement::AssetUser DxMaterial::GetEffectFile() {
    return MaxSDK::AssetManagement::AssetUser(m_data->effectFile);
}

// ---- BitmapTex ----

BitmapTex::~BitmapTex() {
    if (m_bitmap) m_bitmap->DeleteThis();
}

Bitmap* BitmapTex::GetBitmap(TimeValue) {
    if (!m_tried && !m_loadPath.empty()) {
        m_tried = true;
        BitmapInfo info(m_loadPath.c_str());
        m_bitmap = TheManager->Load(&info);
    }
    return m_bitmap;
}
