// Effect instances of DirectX shader materials and their parameters.
#include <cstring>

#include "material/Materials.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

namespace {

// Where a failed EffectInstance add is reported from, in the save error's text.
constexpr const char* kEffectInstanceCall =
    "pxofobj->AddDataObject(DXFILEOBJ_EffectInstance, NULL, NULL, strlen( szEName) + 1, "
    "szEName, &pxofobjEffectInst)";
constexpr const char* kEffectSourceName = "Materials";
constexpr int kEffectInstanceLine = 674;

// The blocks of a shader material that hold the effect's values, in writing order.
constexpr int kEffectParamBlocks[] = {0, 3};

constexpr TimeValue kParamTime = 0;
constexpr std::size_t kDwordBytes = sizeof(std::uint32_t);
constexpr std::size_t kFloatBytes = sizeof(float);

std::size_t StringBytes(const char* text) {
    return std::strlen(text) + 1;
}

// A parameter's child: its template and payload; no template for a parameter not written.
struct ParamChild {
    const GUID* templateId = nullptr;
    d3dx::XPayloadWriter payload;
};

void Floats(ParamChild& child, const char* name, std::initializer_list<float> values) {
    child.templateId = &DXFILEOBJ_EffectParamFloats;
    if (!child.payload.Reserve(StringBytes(name) + kDwordBytes + values.size() * kFloatBytes))
        return;
    child.payload.String(name).Dword(static_cast<std::uint32_t>(values.size())).Floats(values);
}

void DwordValue(ParamChild& child, const char* name, std::uint32_t value) {
    child.templateId = &DXFILEOBJ_EffectParamDWord;
    if (!child.payload.Reserve(StringBytes(name) + kDwordBytes)) return;
    child.payload.String(name).Dword(value);
}

void StringValue(ParamChild& child, const char* name, const char* value) {
    child.templateId = &DXFILEOBJ_EffectParamString;
    if (!child.payload.Reserve(StringBytes(name) + StringBytes(value))) return;
    child.payload.String(name).String(value);
}

// The child of one parameter as its type says; unsupported types are reported and skipped,
// and a bitmap parameter without a bitmap is skipped without a word.
ParamChild BuildParamChild(IParamBlock2& block, ParamID id, const char* name, ParamType2 type) {
    ParamChild child;
    switch (type) {
        case TYPE_FLOAT:
            Floats(child, name, {block.GetFloat(id, kParamTime, 0)});
            break;
        case TYPE_INT:
        case TYPE_BOOL:
            DwordValue(child, name, static_cast<std::uint32_t>(block.GetInt(id, kParamTime, 0)));
            break;
        case TYPE_RGBA:
        case TYPE_POINT4: {
            const Point4 p = block.GetPoint4(id, kParamTime, 0);
            Floats(child, name, {p.x, p.y, p.z, p.w});
            break;
        }
        case TYPE_POINT3: {
            const Point3 p = block.GetPoint3(id, kParamTime, 0);
            Floats(child, name, {p.x, p.y, p.z});
            break;
        }
        case TYPE_FRGBA: {
            const AColor c = block.GetAColor(id, kParamTime, 0);
            Floats(child, name, {c.r, c.g, c.b, c.a});
            break;
        }
        case TYPE_STRING:
        case TYPE_FILENAME: {
            const char* text = block.GetStr(id, kParamTime, 0);
            StringValue(child, name, text != nullptr ? text : "");
            break;
        }
        case TYPE_BITMAP: {
            PBBitmap* bitmap = nullptr;
            Interval valid = FOREVER;
            block.GetValue(id, kParamTime, bitmap, valid, 0);
            if (bitmap != nullptr) StringValue(child, name, bitmap->bi.Filename());
            break;
        }
        default:
            DebugPrint("Don't Know this one\n");
            break;
    }
    return child;
}

}  // namespace

void WriteEffectInstance(TarvoDirectXMaxExporter& exporter, Mtl* material,
                         ID3DXFileSaveData* materialObject) {
    if (!IsEffectMaterial(material)) return;
    auto* effect = static_cast<IDxMaterial*>(material->GetInterface(IDXMATERIAL_INTERFACE));
    const MSTR fileName = effect->GetEffectFile().GetFileName();
    DebugPrint("DX9 Effect Filename = %s\n", fileName.c_str());
    const std::string text = TextureFileName(fileName, nullptr, exporter.options.texFullPath != 0);
    const char* szEName = exporter.options.xFileType == kXFileText
                              ? exporter.stringPool.AddPathString(text.c_str())
                              : exporter.stringPool.AddString(text.c_str());
    if (szEName == nullptr) szEName = "";
    ComRef<ID3DXFileSaveData> pxofobjEffectInst;
    const HRESULT hr =
        materialObject->AddDataObject(DXFILEOBJ_EffectInstance, nullptr, nullptr,
                                      std::strlen(szEName) + 1, szEName, pxofobjEffectInst.Put());
    if (FAILED(hr)) ThrowSaveError(kEffectInstanceCall, kEffectSourceName, kEffectInstanceLine, hr);
    if (!exporter.options.getFxParams) return;
    for (int block : kEffectParamBlocks)
        WriteEffectParams(exporter, block, material, pxofobjEffectInst.Get());
}

void WriteEffectParams(TarvoDirectXMaxExporter& exporter, int blockIndex, Mtl* material,
                       ID3DXFileSaveData* effectObject) {
    (void)exporter;
    IParamBlock2* block = material->GetParamBlock(blockIndex);
    if (block == nullptr || block->NumParams() < 1) return;
    for (int i = 0; i < block->NumParams(); ++i) {
        const ParamID id = block->IndextoID(i);
        const ParamDef definition = block->GetParamDef(id);
        const char* name = definition.int_name != nullptr ? definition.int_name : "";
        const ParamType2 type = block->GetParameterType(id);
        DebugPrint("%d:%d:%s:%d\n", i, static_cast<int>(id), name, static_cast<int>(type));
        ParamChild child = BuildParamChild(*block, id, name, type);
        if (child.templateId == nullptr || child.payload.Size() == 0) continue;
        // A parameter that cannot be added is left out; the others are still written.
        (void)XParent(effectObject)
            .AddLeaf(*child.templateId, nullptr, child.payload.Size(), child.payload.Data());
    }
}
