// The export driver: one whole export from the stored settings to the saved file.
#include <exception>

#include "anim/Animation.h"
#include "material/Materials.h"
#include "platform/win/WinUser.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"
#include "ui/OptionsSheet.h"

namespace {

constexpr const char* kCaption = "TarvoExporter";
constexpr const char* kMissingComponent =
    "Tarvo DX Exporter requires the DX SDK August 2008 edition be installed. Can't continue.";
constexpr const char* kMajorProblem = "Exporter has encountered a major problem. Can't continue.";
// The debug output says which of the two it was.
constexpr const char* kOptionsNotShown =
    "the export options could not be shown (no dialog library, or no display that answers); "
    "nothing was exported\n";
// The property sheet's result when it could not be shown at all.
constexpr INT_PTR kSheetNotShown = -1;

DWORD NoWork(LPVOID) {
    return 0;
}

D3DXF_FILEFORMAT FileFormatOf(std::int32_t xFileType) {
    switch (xFileType) {
        case kXFileBinary:
            return D3DXF_FILEFORMAT_BINARY;
        case kXFileCompressed:
            return D3DXF_FILEFORMAT_COMPRESSED;
        default:
            return D3DXF_FILEFORMAT_TEXT;
    }
}

// The directory part of a path with a trailing separator.
std::string OutputDirectoryOf(const char* name) {
    char directory[4096] = {};
    BMMSplitFilename(name, directory, nullptr, nullptr);
    BMMAppendSlash(directory);
    return directory;
}

}  // namespace

int TarvoDirectXMaxExporter::DoExport(const MCHAR* name, ExpInterface* ei, Interface* i,
                                      BOOL suppressPrompts, DWORD exportOptions) {
    (void)ei;
    hostInterface = i;
    if (name == nullptr) return 0;
    try {
        outputDir = OutputDirectoryOf(name);
        if (!LoadSettings(options, *hostInterface)) return 0;
        igameVersion = GetIGameVersion();
        currentExporter = this;
        if (!suppressPrompts) {
            const INT_PTR sheet = OptionsSheet(*this, hostInterface->GetMAXHWnd());
            // The user never saw the options, so nothing was chosen: a failure, not a cancel.
            if (sheet <= kSheetNotShown) {
                OutputDebugStringA(kOptionsNotShown);
                return 0;
            }
            // A cancel is the user's choice: the export ends, successfully, having written
            // nothing and stored no settings.
            if (sheet == 0) return 1;
        }
        return WriteFile(name, suppressPrompts, exportOptions);
    } catch (...) {
        if (!suppressPrompts) MessageBoxA(nullptr, kMajorProblem, kCaption, MB_OK);
        return 0;
    }
}

int TarvoDirectXMaxExporter::WriteFile(const MCHAR* name, BOOL suppressPrompts,
                                       DWORD exportOptions) {
    D3DXF_FILEFORMAT format = FileFormatOf(options.xFileType);
    exportSelected = static_cast<std::int32_t>(exportOptions & SCENE_EXPORT_SELECTED);
    hostInterface->ProgressStart(LoadResString(IDS_EXPORTING_DATA), TRUE, NoWork, nullptr);
    // Every way out of here ends the progress display first.
    struct ProgressScope {
        Interface* host;
        ~ProgressScope() {
            if (host != nullptr) host->ProgressEnd();
        }
    } progress{hostInterface};

    bool animatedFrames = options.exportAnimation && options.frameSetting > kFrameSettingNoFrames;
    staticTime = animatedFrames ? 0 : hostInterface->GetTime();

    ComRef<ID3DXFile> file;
    if (FAILED(D3DXFileCreate(file.Put()))) {
        if (!suppressPrompts) MessageBoxA(nullptr, kMissingComponent, kCaption, MB_OK);
        return 0;
    }
    if (FAILED(file->CreateSaveObject(name, D3DXF_FILESAVE_TOFILE, format, saveObject.Put())))
        return 0;
    if (FAILED(RegisterTemplateSets(file.Get()))) return 0;

    ResetWalkState();
    CountNodes(*this, hostInterface->GetRootNode(), totalNodeCount);
    if (options.exportMaterials && !options.inlineMaterials)
        WriteTopLevelMaterials(*this, XParent(saveObject.Get()));

    GetConversionManager()->SetCoordSystem(IGameConversionManager::IGAME_MAX);
    IGameScene* scene = GetIGameInterface();
    scene->InitialiseIGame(false);
    // IGame takes the static moment as a frame number; staticTime is in ticks.
    scene->SetStaticFrame(staticTime / GetTicksPerFrame());
    WalkTopLevelNodes();
    // Animation follows the walk: it needs the nodes the walk registered.
    if (options.exportAnimation && options.frameSetting != kFrameSettingNoFrames)
        WriteAnimationSets(*this, XParent(saveObject.Get()));

    if (saveObject) {
        // A file that could not be written is a failed export, not a finished one.
        HRESULT saved = saveObject->Save();
        if (FAILED(saved))
            ThrowSaveError("saveObject->Save()", "TarvoDirectXMaxExporter", __LINE__, saved);
        saveObject.Reset();
    }
    scene->ReleaseIGame();
    hostInterface->ProgressUpdate(100, FALSE, LoadResString(IDS_EXPORTING_DATA));
    // The display ends before the settings are stored.
    progress.host->ProgressEnd();
    progress.host = nullptr;
    SaveSettings(options, *hostInterface);
    return 1;
}

void TarvoDirectXMaxExporter::ResetWalkState() {
    totalNodeCount = 0;
    visitedNodeCount = 0;
    frameNames = UniqueNames();
    materialNames = UniqueNames();
    materialSlotKeys.clear();
    textureSources.clear();
    nodesWithoutObject = 0;
}

HRESULT TarvoDirectXMaxExporter::RegisterTemplateSets(ID3DXFile* file) {
    return RegisterStandardTemplateSets(file);
}

void TarvoDirectXMaxExporter::WalkTopLevelNodes() {
    IGameScene* scene = GetIGameInterface();
    for (int i = 0; i < scene->GetTopLevelNodeCount(); ++i) {
        IGameNode* node = scene->GetTopLevelNode(i);
        DebugPrint("GameInterface Node: %ld, Name: %s\n", static_cast<long>(i), node->GetName());
        if (hostInterface->GetCancel()) break;
        // A stop (cancel) is seen through GetCancel above at the next top-level node.
        (void)WalkNode(*this, node, hostInterface, XParent(saveObject.Get()));
    }
    WarnOfMoreNodesWithoutObject(*this);
}
