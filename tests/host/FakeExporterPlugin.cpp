// A small exporter plug-in for testing tarvo-x-export: a module with the four entry points
// whose exporter behaves as the environment variable TARVO_FAKE_EXPORTER says:
//   write (or unset)  writes a report of what the host handed over and returns 1
//   fail-with-error   sends debug lines and a save error to the debugger output, returns 0
//   fail-silently     sends only DebugPrint lines and returns 0
//   message-box       shows a message box and returns 0
//   no-file           returns 1 without writing anything
//   warn              sends three "Warning: " lines (two of them in one DebugPrint) and an
//                     ordinary DebugPrint line, then writes as "write" does
//   wait-for-cancel   polls the host's cancel flag (leaving the marker "waiting" once it
//                     does) and, when a cancel comes, writes OUTPUT and returns 1
//   ignore-cancel     like wait-for-cancel, but on a cancel only leaves "cancel-seen" and
//                     goes on waiting
//   write-when-told   leaves "waiting", waits for a file "go" among the markers, then writes
//                     OUTPUT through the Windows layer's atomic writer, returning 0 with the
//                     reason on the debugger output when that fails
// Markers are files in the directory TARVO_FAKE_MARKERS names (beside OUTPUT without it).
// Built in variants (compile definitions) for the loader's failure cases.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/max/Max.h"
#include "platform/win/FileIO.h"
#include "platform/win/WinUser.h"

#ifndef FAKE_LIB_VERSION
#define FAKE_LIB_VERSION VERSION_3DSMAX
#endif

namespace {

std::string Mode() {
    const char* mode = std::getenv("TARVO_FAKE_EXPORTER");
    return mode ? mode : "write";
}

// Where the tests find the marker `name`.
std::string Marker(const MCHAR* output, const std::string& name) {
    const char* directory = std::getenv("TARVO_FAKE_MARKERS");
    if (directory != nullptr) return (std::filesystem::path(directory) / name).string();
    return std::string(output) + "." + name;
}

void WriteNodes(std::ofstream& out, INode* node) {
    for (int i = 0; i < node->NumberOfChildren(); ++i) {
        INode* child = node->GetChildNode(i);
        out << "node " << child->GetName() << " selected " << child->Selected() << '\n';
        WriteNodes(out, child);
    }
}

// Leaves a mark in the scene's file properties, as the exporter does with its settings.
void MarkScene(Interface* ip, const std::string& value) {
    std::wstring name = L"FakeExporterOutput";
    PROPSPEC spec;
    spec.ulKind = PRSPEC_LPWSTR;
    spec.lpwstr = name.data();
    ip->DeleteProperty(PROPSET_USERDEFINED, &spec);
    std::string text = value;
    PROPVARIANT var;
    var.vt = VT_LPSTR;
    var.pszVal = text.data();
    ip->AddProperty(PROPSET_USERDEFINED, &spec, &var);
}

int WriteReport(const MCHAR* name, Interface* ip, BOOL suppressPrompts, DWORD options) {
    ip->ProgressStart("Exporting data...", TRUE, nullptr, nullptr);
    ip->ProgressUpdate(50, TRUE, "Box01 mesh.");
    DebugPrint("fake: writing %s\n", name);
    std::ofstream out(name);
    out << "suppressPrompts " << suppressPrompts << '\n';
    out << "options " << options << '\n';
    out << "plugcfg " << ip->GetDir(APP_PLUGCFG_DIR) << '\n';
    WriteNodes(out, ip->GetRootNode());
    ip->ProgressUpdate(100, TRUE, "Exporting data...");
    ip->ProgressEnd();
    MarkScene(ip, name);
    return out ? 1 : 0;
}

int WaitForCancel(const MCHAR* name, Interface* ip, bool stopOnCancel) {
    ip->ProgressStart("Waiting for a cancel", TRUE, nullptr, nullptr);
    std::ofstream(Marker(name, "waiting")) << "polling\n";
    bool seen = false;
    for (int poll = 0; poll < 2000; ++poll) {
        if (ip->GetCancel() && !stopOnCancel && !seen) {
            std::ofstream(Marker(name, "cancel-seen")) << "going on\n";
            seen = true;
        }
        if (ip->GetCancel() && stopOnCancel) {
            ip->ProgressEnd();
            std::ofstream(name) << "cancelled\n";
            MarkScene(ip, name);
            return 1;
        }
        ip->ProgressUpdate(poll % 100, TRUE, "Waiting for a cancel");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ip->ProgressEnd();
    OutputDebugStringA("fake: no cancel arrived");
    return 0;
}

int WriteWhenTold(const MCHAR* name) {
    std::ofstream(Marker(name, "waiting")) << "waiting for go\n";
    const std::string go = Marker(name, "go");
    for (int poll = 0; poll < 2000 && !std::filesystem::exists(go); ++poll)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string text = "written when told\n";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (SUCCEEDED(WriteFileAtomically(name, {bytes, text.size()}))) return 1;
    OutputDebugStringA("fake: the file could not be written");
    return 0;
}

class FakeExporter : public SceneExport {
  public:
    int ExtCount() override { return 2; }
    const MCHAR* Ext(int n) override { return n == 0 ? "fake" : n == 1 ? FAKE_EXTENSION : ""; }
    const MCHAR* LongDesc() override { return "Fake exporter for host tests"; }
    const MCHAR* ShortDesc() override { return "Fake"; }
    const MCHAR* AuthorName() override { return "Tarvo"; }
    const MCHAR* CopyrightMessage() override { return ""; }
    const MCHAR* OtherMessage1() override { return ""; }
    const MCHAR* OtherMessage2() override { return ""; }
    unsigned int Version() override { return 1; }
    void ShowAbout(HWND) override {}

    int DoExport(const MCHAR* name, ExpInterface*, Interface* ip, BOOL suppressPrompts,
                 DWORD options) override {
        const std::string mode = Mode();
        if (mode == "fail-with-error") {
            DebugPrint("GameInterface Node: 0, Name: Box01\n");
            OutputDebugStringA("fake save error: AddDataObject failed (E_FAIL)\n");
            DebugPrint("after the error\n");
            return 0;
        }
        if (mode == "fail-silently") {
            DebugPrint("GameInterface Node: 0, Name: Box01\n");
            return 0;
        }
        if (mode == "no-file") return 1;
        if (mode == "message-box") {
            MessageBoxA(nullptr, "Exporter has encountered a major problem.\nCan't continue.",
                        "TarvoExporter", MB_OK);
            return 0;
        }
        if (mode == "warn") {
            DebugPrint("Warning: texture %s cannot be written\n", "brick.png");
            DebugPrint("Current Node: 1  Name: Box01 Children: 0 \n");
            DebugPrint("Warning: texture image %s cannot be read\nWarning: second line\n",
                       "gone.png");
        }
        if (mode == "write-when-told") return WriteWhenTold(name);
        if (mode == "wait-for-cancel") return WaitForCancel(name, ip, true);
        if (mode == "ignore-cancel") return WaitForCancel(name, ip, false);
        return WriteReport(name, ip, suppressPrompts, options);
    }
};

class FakeExporterClassDesc : public ClassDesc2 {
  public:
    int IsPublic() override { return 1; }
    void* Create(BOOL) override { return new FakeExporter; }
    const MCHAR* ClassName() override { return "FakeExporter"; }
    SClass_ID SuperClassID() override { return SCENE_EXPORT_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(0x1234, 0x5678); }
    const MCHAR* Category() override { return "Tests"; }
};

// A class of another kind before the exporter: the host must not take it for an exporter.
int nonExportCreateCalls = 0;

class FakeMaterialClassDesc : public ClassDesc2 {
  public:
    int IsPublic() override { return 1; }
    void* Create(BOOL) override {
        ++nonExportCreateCalls;
        return nullptr;
    }
    const MCHAR* ClassName() override { return "FakeMaterial"; }
    SClass_ID SuperClassID() override { return MATERIAL_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(0x1234, 0x5679); }
    const MCHAR* Category() override { return "Tests"; }
};

FakeMaterialClassDesc materialClassDesc;
FakeExporterClassDesc exporterClassDesc;

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT const MCHAR* LibDescription() {
    return "Fake exporter plug-in";
}
FAKE_EXPORT int LibNumberClasses() {
    return 2;
}
FAKE_EXPORT ClassDesc* LibClassDesc(int i) {
    return i == 0   ? static_cast<ClassDesc*>(&materialClassDesc)
           : i == 1 ? static_cast<ClassDesc*>(&exporterClassDesc)
                    : nullptr;
}
#ifndef FAKE_WITHOUT_LIB_VERSION
FAKE_EXPORT ULONG LibVersion() {
    return FAKE_LIB_VERSION;
}
#endif
// For the tests only: how often the host created an object of the non-export class.
FAKE_EXPORT int FakeNonExportCreateCalls() {
    return nonExportCreateCalls;
}
