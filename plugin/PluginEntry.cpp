// How the host finds the exporter: the library's entry points, its one class descriptor,
// and the string table that supplies its texts.
#include <map>

#include "platform/win/WinUser.h"
#include "plugin/Exporter.h"

#define TARVO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

HINSTANCE g_module = nullptr;

const std::map<UINT, std::string>& StringTable() {
    static const std::map<UINT, std::string> table = {
        {IDS_LIBDESCRIPTION, "Directx Exporter"},
        {IDS_CATEGORY, "Exporter"},
        {IDS_CLASS_NAME, "TarvoDirectXMaxExporter"},
        {IDS_EXTENSION, "X"},
        {IDS_SHORT_DESC, "Tarvo DirectX"},
        {IDS_LONG_DESC, "Tarvo DirectX,  for use with 3D Studio MAX"},
        {IDS_AUTHOR, "Tarvo DirectX team"},
        {IDS_COPYRIGHT, "Copyright (c) Tarvo DirectX. All rights reserved."},
        {IDS_EXPORTING_FILE, "Exporting file..."},
        {IDS_EXPORTING_DATA, "Exporting data..."},
        {IDS_MATERIALS, " materials."},
        {IDS_ANIMATION_SETS, " animation sets."},
        {IDS_MESH, " mesh."},
        {IDS_NORMALS, " normals."},
        {IDS_TEX_COORDS, " tex coords."},
    };
    return table;
}

// The library's entry routine: runs when the library is loaded, stores the module handle
// and makes the string table known under it.
__attribute__((constructor)) void LibraryLoaded() {
    g_module = ModuleHandleOf(reinterpret_cast<const void*>(&LibraryLoaded));
    RegisterStringTable(g_module, StringTable());
}

class TarvoDirectXMaxExporterClassDesc : public ClassDesc2 {
  public:
    int IsPublic() override { return 1; }
    void* Create(BOOL loading) override {
        (void)loading;
        return new (std::nothrow) TarvoDirectXMaxExporter();
    }
    const MCHAR* ClassName() override { return LoadResString(IDS_CLASS_NAME); }
    SClass_ID SuperClassID() override { return SCENE_EXPORT_CLASS_ID; }
    Class_ID ClassID() override { return TARVO_DIRECTX_CLASS_ID; }
    const MCHAR* Category() override { return LoadResString(IDS_CATEGORY); }
    const MCHAR* InternalName() override { return "TarvoDirectXMaxExporter"; }
    HINSTANCE HInstance() override { return g_module; }
};

TarvoDirectXMaxExporterClassDesc g_classDesc;

}  // namespace

HINSTANCE PluginModule() {
    return g_module;
}

ClassDesc2* GetTarvoDirectXClassDesc() {
    return &g_classDesc;
}

const char* LoadResString(int id) {
    static char buffer[256];
    if (g_module == nullptr) return nullptr;
    if (LoadStringA(g_module, static_cast<UINT>(id), buffer, sizeof buffer) == 0) return nullptr;
    return buffer;
}

TARVO_EXPORT const MCHAR* LibDescription() {
    return LoadResString(IDS_LIBDESCRIPTION);
}
TARVO_EXPORT int LibNumberClasses() {
    return 1;
}
TARVO_EXPORT ClassDesc* LibClassDesc(int i) {
    return i == 0 ? &g_classDesc : nullptr;
}
TARVO_EXPORT ULONG LibVersion() {
    return kTarvoLibVersion;
}
