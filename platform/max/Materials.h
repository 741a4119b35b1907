// Materials and texture maps: the standard material, multi-materials, bitmap textures,
// the DirectX shader material with its effect interface, and parameter blocks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/max/Bitmap.h"
#include "platform/max/MaxMath.h"
#include "platform/max/MaxTypes.h"
#include "platform/max/Node.h"
#include "platform/max/ParamTypes.h"
#include "platform/max/SceneData.h"

class Texmap;

using ParamID = short;

// The definition of one parameter: its id, internal name and type.
struct ParamDef {
    ParamID ID = 0;
    const MCHAR* int_name = nullptr;
    ParamType2 type = TYPE_FLOAT;
};

// A bitmap parameter's value: the image's description and, once loaded, the image.
class PBBitmap {
  public:
    BitmapInfo bi;
    Bitmap* bm = nullptr;
};

// A parameter block: named, typed values by index or id. Values are not animated, so every
// time gives the same value; only table index 0 exists. Reading a value as the wrong type
// gives that type's zero.
class IParamBlock2 {
  public:
    struct Param {
        ParamDef def;
        std::string name;
        double number = 0.0;
        Point4 vector;
        std::string text;
        std::unique_ptr<PBBitmap> bitmap;
    };

    int NumParams() const { return static_cast<int>(m_params.size()); }
    ParamID IndextoID(int index) const;
    int IDtoIndex(ParamID id) const;
    ParamDef& GetParamDef(ParamID id);
    ParamType2 GetParameterType(ParamID id);
    float GetFloat(ParamID id, TimeValue t = 0, int tabIndex = 0);
    int GetInt(ParamID id, TimeValue t = 0, int tabIndex = 0);
    Point3 GetPoint3(ParamID id, TimeValue t = 0, int tabIndex = 0);
    Point4 GetPoint4(ParamID id, TimeValue t = 0, int tabIndex = 0);
    AColor GetAColor(ParamID id, TimeValue t = 0, int tabIndex = 0);
    const MCHAR* GetStr(ParamID id, TimeValue t = 0, int tabIndex = 0);
    // The bitmap parameter's value (null when it holds no bitmap); the validity becomes
    // FOREVER.
    BOOL GetValue(ParamID id, TimeValue t, PBBitmap*& v, Interval& ivalid, int tabIndex = 0);

  private:
    friend class HostScene;
    Param* Find(ParamID id);
    std::vector<std::unique_ptr<Param>> m_params;
    ParamDef m_missing;
};

// Materials and maps share a name and sub-maps.
class MtlBase : public ReferenceTarget {
  public:
    MSTR& GetName() { return m_name; }
    void SetName(const MSTR& name) { m_name = name; }
    virtual int NumSubTexmaps() { return 0; }
    virtual Texmap* GetSubTexmap(int) { return nullptr; }

  protected:
    MSTR m_name;
};

class Texmap : public MtlBase {
  public:
    SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
};

// A texture map of a class other than the bitmap texture.
class OtherTexmap : public Texmap {
  public:
    explicit OtherTexmap(std::string className) : m_className(std::move(className)) {}
    Class_ID ClassID() override { return OTHER_CLASS_ID; }
    void GetClassName(MSTR& s) override { s = m_className; }

  private:
    std::string m_className;
};

// A texture that shows an image file.
class BitmapTex : public Texmap {
  public:
    BitmapTex(std::string storedPath, std::string loadPath)
        : m_mapName(std::move(storedPath)), m_loadPath(std::move(loadPath)) {}
    ~BitmapTex() override;
    Class_ID ClassID() override { return BMTEX_CLASS_ID; }
    void GetClassName(MSTR& s) override { s = "Bitmap"; }
    // The image file's path, as the host hands it out: absolute and native.
    const MCHAR* GetMapName() const { return m_loadPath.c_str(); }
    // The image, loaded on first use; null when the file cannot be read. The map owns it.
    Bitmap* GetBitmap(TimeValue t);

  private:
    std::string m_mapName;
    std::string m_loadPath;
    Bitmap* m_bitmap = nullptr;
    bool m_tried = false;
};

// A material. The generic values (diffuse, transparency, self-illumination colour) are
// what every material class answers; sub-materials and sub-maps are by slot and may be
// null.
class Mtl : public MtlBase {
  public:
    SClass_ID SuperClassID() override { return MATERIAL_CLASS_ID; }
    virtual int NumSubMtls() { return 0; }
    virtual Mtl* GetSubMtl(int) { return nullptr; }
    virtual Color GetAmbient(int mtlNum = 0, BOOL backFace = FALSE);
    virtual Color GetDiffuse(int mtlNum = 0, BOOL backFace = FALSE);
    virtual Color GetSpecular(int mtlNum = 0, BOOL backFace = FALSE);
    virtual float GetShininess(int mtlNum = 0, BOOL backFace = FALSE);
    virtual float GetShinStr(int mtlNum = 0, BOOL backFace = FALSE);
    virtual float GetXParency(int mtlNum = 0, BOOL backFace = FALSE);
    virtual Color GetSelfIllumColor(int mtlNum = 0, BOOL backFace = FALSE);

    // The scene's record of this material (for the generic values).
    const tarvo::scene::MaterialData* Data() const { return m_data; }

  protected:
    friend class HostScene;
    const tarvo::scene::MaterialData* m_data = nullptr;
    std::vector<Texmap*> m_subTexmaps;
    std::vector<Mtl*> m_subMtls;
};

// The standard material.
class StdMat : public Mtl {
  public:
    Class_ID ClassID() override { return DMTL_CLASS_ID; }
    void GetClassName(MSTR& s) override { s = "Standard"; }
    int NumSubTexmaps() override { return static_cast<int>(m_subTexmaps.size()); }
    Texmap* GetSubTexmap(int i) override;
    int NumSubMtls() override { return static_cast<int>(m_subMtls.size()); }
    Mtl* GetSubMtl(int i) override;
    // Values at a time (not animated here).
    Color GetAmbient(TimeValue t);
    Color GetDiffuse(TimeValue t);
    Color GetSpecular(TimeValue t);
    float GetShininess(TimeValue t);
    float GetShinStr(TimeValue t);
    float GetSelfIllum(TimeValue t);
    Color GetSelfIllumColor(TimeValue t);
    float GetOpacity(TimeValue t);
    float GetXParency(int mtlNum = 0, BOOL backFace = FALSE) override;
    // Whether the map in a slot is switched on.
    BOOL MapEnabled(int i);

  private:
    friend class HostScene;
    std::vector<bool> m_mapEnabled;
};

// A material of several sub-materials chosen by material id; slots may be empty.
class MultiMtl : public Mtl {
  public:
    Class_ID ClassID() override { return MULTI_CLASS_ID; }
    void GetClassName(MSTR& s) override { s = "Multi/Sub-Object"; }
    int NumSubMtls() override { return static_cast<int>(m_subMtls.size()); }
    Mtl* GetSubMtl(int i) override;
};

// The interface of the DirectX shader material.
constexpr Interface_ID IDXMATERIAL_INTERFACE{0x55B3201D, 0x29AB7FC3};

namespace MaxSDK::AssetManagement {
// A reference to a file the scene uses.
class AssetUser {
  public:
    AssetUser() = default;
    explicit AssetUser(MSTR fileName) : m_fileName(std::move(fileName)) {}
    const MSTR& GetFileName() const { return m_fileName; }

  private:
    MSTR m_fileName;
};
}  // namespace MaxSDK::AssetManagement

class IDxMaterial : public BaseInterface {
  public:
    Interface_ID GetID() const override { return IDXMATERIAL_INTERFACE; }
    virtual MaxSDK::AssetManagement::AssetUser GetEffectFile() = 0;
};

// The DirectX shader material: an effect file and parameter blocks (0 and 3 hold the
// effect's values). Its sub-maps and sub-materials are those the scene gives it.
class DxMaterial : public Mtl, public IDxMaterial {
  public:
    Class_ID ClassID() override { return DXMATERIAL_CLASS_ID; }
    void GetClassName(MSTR& s) override { s = "DirectX Shader"; }
    BaseInterface* GetInterface(Interface_ID id) override;
    int NumParamBlocks() override;
    IParamBlock2* GetParamBlock(int i) override;
    int NumSubMtls() override { return static_cast<int>(m_subMtls.size()); }
    Mtl* GetSubMtl(int i) override;
    int NumSubTexmaps() override { return static_cast<int>(m_subTexmaps.size()); }
    Texmap* GetSubTexmap(int i) override;
    MaxSDK::AssetManagement::AssetUser GetEffectFile() override;

  private:
    friend class HostScene;
    std::vector<std::unique_ptr<IParamBlock2>> m_blocks;  // by block index, may hold nulls
};

// A material of any other class: it answers the generic values only.
class OtherMtl : public Mtl {
  public:
    explicit OtherMtl(Class_ID id, std::string className)
        : m_classId(id), m_className(std::move(className)) {}
    Class_ID ClassID() override { return m_classId; }
    void GetClassName(MSTR& s) override { s = m_className; }
    int NumSubMtls() override { return static_cast<int>(m_subMtls.size()); }
    Mtl* GetSubMtl(int i) override;
    int NumSubTexmaps() override { return static_cast<int>(m_subTexmaps.size()); }
    Texmap* GetSubTexmap(int i) override;

  private:
    Class_ID m_classId;
    std::string m_className;
};
