// The exporter object the host creates for each export, with the user's options and the
// state of the export in progress; the export driver; the plug-in's identity and texts.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3dx/D3DXFile.h"
#include "platform/max/Max.h"
#include "platform/win/ComRef.h"
#include "plugin/ExportOptions.h"
#include "xfile/XFile.h"

class TarvoDirectXMaxExporter : public SceneExport {
  public:
    TarvoDirectXMaxExporter() = default;
    ~TarvoDirectXMaxExporter() override;

    int ExtCount() override;
    const MCHAR* Ext(int n) override;
    const MCHAR* LongDesc() override;
    const MCHAR* ShortDesc() override;
    const MCHAR* AuthorName() override;
    const MCHAR* CopyrightMessage() override;
    const MCHAR* OtherMessage1() override;
    const MCHAR* OtherMessage2() override;
    unsigned int Version() override;
    void ShowAbout(HWND hWnd) override;
    int DoExport(const MCHAR* name, ExpInterface* ei, Interface* i, BOOL suppressPrompts = FALSE,
                 DWORD options = 0) override;
    BOOL SupportsOptions(int ext, DWORD options) override;

    // The user's choices.
    ExportOptions options;

    // The export in progress.
    Interface* hostInterface = nullptr;
    ComRef<ID3DXFileSaveObject> saveObject;  // held while the file is open
    std::int32_t exportSelected = 0;
    std::string outputDir;  // with a trailing separator
    std::int32_t totalNodeCount = 0;
    std::int32_t visitedNodeCount = 0;
    TimeValue staticTime = 0;
    std::vector<Mtl*> sceneMaterials;  // distinct, no nulls; the host owns them
    StringPool stringPool;
    UniqueNames frameNames;     // the Frame name of each host node written
    UniqueNames materialNames;  // the name of each top-level Material written
    // Stable keys for materialNames of the entries a multi-material expands into (the
    // multi-material and the slot), since one host material may be written under several.
    std::set<std::pair<const Mtl*, int>> materialSlotKeys;
    // The source image of each texture file written or copied in this export, so that two
    // images aiming at one destination are noticed.
    std::map<std::string, std::string> textureSources;
    // Nodes of this export whose evaluation gave no object: the first few are named in a
    // warning each, the rest counted in one line at the end of the walk.
    std::int32_t nodesWithoutObject = 0;
    float igameVersion = 0.0f;

  private:
    // The steps of DoExport after the options are settled; returns DoExport's result.
    int WriteFile(const MCHAR* name, BOOL suppressPrompts, DWORD exportOptions);
    [[nodiscard]] HRESULT RegisterTemplateSets(ID3DXFile* file);
    // The counters and the names given out by an earlier export on this object.
    void ResetWalkState();
    void WalkTopLevelNodes();
};

// The exporter whose export is running; the option pages find the options through it.
extern TarvoDirectXMaxExporter* currentExporter;

// A string-table text by id, in one shared 256-byte buffer; null when the plug-in's module
// is not known or the string does not exist.
const char* LoadResString(int id);

// Identity of the exporter class.
constexpr Class_ID TARVO_DIRECTX_CLASS_ID{0x7993F6FD, 0x97D9806F};
constexpr ULONG kTarvoLibVersion = 0x36B02600;  // host release 14000, interface 38, SDK 0
constexpr unsigned int kExporterVersion = 480;

// String-table ids.
enum : int {
    IDS_LIBDESCRIPTION = 1,
    IDS_CATEGORY = 2,
    IDS_CLASS_NAME = 3,
    IDS_EXTENSION = 5,
    IDS_SHORT_DESC = 6,
    IDS_LONG_DESC = 7,
    IDS_AUTHOR = 8,
    IDS_COPYRIGHT = 9,
    IDS_EXPORTING_FILE = 10,
    IDS_EXPORTING_DATA = 11,
    IDS_MATERIALS = 12,
    IDS_ANIMATION_SETS = 13,
    IDS_MESH = 14,
    IDS_NORMALS = 15,
    IDS_TEX_COORDS = 16,
};

// The module handle the plug-in's resources belong to (null until the library is loaded).
HINSTANCE PluginModule();
ClassDesc2* GetTarvoDirectXClassDesc();
