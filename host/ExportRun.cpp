#include "host/ExportRun.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <variant>
#include <vector>

#include "host/CancelSignals.h"
#include "host/PluginLoader.h"
#include "host/WriteTarget.h"
#include "host/import/AssimpImport.h"
#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "platform/max/Interface.h"
#include "platform/max/Node.h"
#include "platform/win/FileIO.h"
#include "platform/win/WinUser.h"

namespace tarvo::hostapp {

namespace fs = std::filesystem;

namespace {

// ---- Messages ----

// A text as one line: plug-in messages and system errors may hold line breaks.
std::string Flatten(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// A failure is always one line that says why.
void Fail(Console& console, const std::string& why) {
    console.Print(std::string(kProgramName) + ": " + Flatten(why));
}

// ---- The display --prompt needs ----

bool Named(const char* value) {
    return value != nullptr && *value != '\0';
}

// Checked before any work, so that a run that could never show its options costs nothing.
bool CheckPromptDisplay(const CommandLine& line, Console& console) {
    if (!line.prompt || DisplayNamed(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"),
                                     std::getenv("QT_QPA_PLATFORM")))
        return true;
    Fail(console,
         "--prompt needs a display to show the options on, and neither DISPLAY nor "
         "WAYLAND_DISPLAY (nor QT_QPA_PLATFORM) is set");
    return false;
}

// ---- Files the run replaces ----

// The exporter keeps its settings in this file of the plug-in configuration directory.
constexpr const char* kExporterSettingsFile = "TarvoDXExport.xml";

// The exporter makes its settings directory, and keeps going without its settings when it
// cannot write them, so only what stands at the file's own name is checked.
TargetRules SettingsFileRules() {
    TargetRules rules;
    rules.directoryMustBeWritable = false;
    rules.refuseHardLinks = false;
    return rules;
}

// True when the target may be replaced; otherwise reports why.
bool Accepted(const TargetCheck& check, Console& console, const std::string& context = {}) {
    if (check.target) return true;
    Fail(console, context + check.problem);
    return false;
}

// A file written beside the export (the scene copy, an embedded image) may replace what the
// rules allow, but neither the scene read nor the output.
bool AcceptedBeside(const std::string& path, const std::string& subject, const CommandLine& line,
                    const WriteTarget& output, Console& console, const std::string& context) {
    TargetRules rules;
    rules.scene = line.scene;
    const TargetCheck check = CheckWriteTarget(path, subject, rules);
    if (!Accepted(check, console, context)) return false;
    if (check.target->path != output.path) return true;
    Fail(console, context + subject + " is the output file " + line.output);
    return false;
}

bool AcceptedSceneCopy(const CommandLine& line, const WriteTarget& output, Console& console) {
    return AcceptedBeside(line.writeScene, "the scene file " + line.writeScene, line, output,
                          console, "--write-scene: ");
}

// Checks every file the run may replace before any work is done, so that a refusal costs
// nothing and changes nothing. Returns the output's target, or nothing after reporting why.
std::optional<WriteTarget> CheckWriteTargets(const CommandLine& line, Console& console) {
    TargetRules outputRules;
    outputRules.scene = line.scene;
    const TargetCheck output = CheckWriteTarget(line.output, line.output, outputRules);
    if (!Accepted(output, console)) return std::nullopt;
    const std::string settings = (fs::path(line.plugCfgDir) / kExporterSettingsFile).string();
    if (!Accepted(CheckWriteTarget(settings, "the settings file " + settings, SettingsFileRules()),
                  console))
        return std::nullopt;
    if (line.saveScene &&
        !Accepted(CheckWriteTarget(line.scene, "the scene file " + line.scene, {}), console,
                  "--save-scene: "))
        return std::nullopt;
    if (!line.writeScene.empty() && !AcceptedSceneCopy(line, *output.target, console))
        return std::nullopt;
    return output.target;
}

// ---- Plug-ins ----

bool LoadPlugins(PluginLoader& loader, const CommandLine& line, Console& console) {
    if (!loader.LoadDirectory(line.pluginDir)) {
        Fail(console, "cannot read the plug-in directory " + line.pluginDir + ": " +
                          loader.DirectoryError());
        return false;
    }
    if (line.debug) {
        for (const PluginModule& module : loader.Modules())
            console.Print("loaded plug-in " + module.file + ": " + module.description);
        for (const PluginLoadFailure& failure : loader.Failures())
            console.Print("skipped " + failure.file + ": " + failure.reason);
    }
    return true;
}

void ReportNoExporter(const PluginLoader& loader, const CommandLine& line, Console& console) {
    std::string why = std::string("no plug-in in ") + line.pluginDir + " exports the extension \"" +
                      kExportExtension + "\"";
    const auto& failures = loader.Failures();
    if (!failures.empty()) {
        why += "; " + failures.front().file + " was not loaded: " + failures.front().reason;
        if (failures.size() > 1)
            why += " (and " + std::to_string(failures.size() - 1) + " more; --debug lists them)";
    }
    Fail(console, why);
}

// ---- Scene ----

// A scene file's records come checked by its reader; an imported scene's are checked when
// the host scene is built from them.
using LoadedRecords = std::variant<scene::SceneData, scene::CheckedScene>;

const scene::SceneData& RecordsOf(const LoadedRecords& loaded) {
    if (const auto* checked = std::get_if<scene::CheckedScene>(&loaded)) return checked->Records();
    return std::get<scene::SceneData>(loaded);
}

std::optional<LoadedRecords> LoadSceneFile(const std::string& file, Console& console) {
    try {
        return scenefile::LoadCheckedSceneFile(file);
    } catch (const scenefile::SceneFileError& error) {
        Fail(console, error.what());
    } catch (const std::exception& error) {
        Fail(console, file + ": " + error.what());
    }
    return std::nullopt;
}

// The images an imported file holds inside are written beside the output before the export,
// which reads them as it reads any texture; each is checked as the output was.
bool WriteEmbeddedImages(const assimpimport::ImportReport& report, const CommandLine& line,
                         const WriteTarget& output, Console& console) {
    for (const assimpimport::EmbeddedImage& image : report.images) {
        if (!AcceptedBeside(image.path, "the embedded image " + image.path, line, output, console,
                            ""))
            return false;
        if (const std::string problem = assimpimport::WriteEmbeddedImage(image); !problem.empty()) {
            Fail(console, problem);
            return false;
        }
    }
    return true;
}

std::optional<scene::SceneData> ImportForeignScene(const CommandLine& line,
                                                   const WriteTarget& output, Console& console) {
    assimpimport::ImportOptions options;
    // The exporter writes its textures beside the file the output finally is.
    options.outputFile = output.path;
    options.oneSegment = line.oneSegment;
    assimpimport::ImportReport report;
    std::optional<scene::SceneData> records;
    try {
        records = assimpimport::ImportScene(line.scene, options, report);
    } catch (const assimpimport::ImportError& error) {
        Fail(console, error.what());
        return std::nullopt;
    } catch (const std::exception& error) {
        Fail(console, line.scene + ": " + error.what());
        return std::nullopt;
    }
    // What has no place in the host's scene is said once, never dropped without a word.
    if (const std::string unmapped = assimpimport::DescribeUnmapped(report.unmapped);
        !unmapped.empty())
        console.Print(std::string(kProgramName) + ": not converted: " + unmapped);
    if (!WriteEmbeddedImages(report, line, output, console)) return std::nullopt;
    return records;
}

// The scene file format has its own loader; any other file is imported.
std::optional<LoadedRecords> LoadScene(const CommandLine& line, const WriteTarget& output,
                                       Console& console) {
    if (assimpimport::IsHostSceneFile(line.scene)) return LoadSceneFile(line.scene, console);
    if (auto imported = ImportForeignScene(line, output, console)) return std::move(*imported);
    return std::nullopt;
}

// --write-scene: what was loaded, as a scene file, before the export changes anything.
bool WriteSceneCopy(const scene::SceneData& records, const std::string& file, Console& console) {
    try {
        scenefile::SaveSceneFile(records, file);
        return true;
    } catch (const std::exception& error) {
        Fail(console, std::string("--write-scene: ") + error.what());
        return false;
    }
}

std::unique_ptr<HostScene> BuildScene(LoadedRecords loaded, const std::string& file,
                                      Console& console) {
    try {
        return std::visit(
            [](auto&& records) { return std::make_unique<HostScene>(std::move(records)); },
            std::move(loaded));
    } catch (const std::exception& error) {
        Fail(console, file + ": " + error.what());
        return nullptr;
    }
}

// Selects every node named on the command line (all nodes of a name, since names need not
// be unique). Returns false, after reporting it, when a name is not in the scene.
bool SelectNodes(Interface& ip, HostScene& scene, const CommandLine& line, Console& console) {
    bool clearSelection = true;
    for (const std::string& name : line.selected) {
        bool found = false;
        for (int i = 0; i < scene.NodeCount(); ++i) {
            if (name != scene.Node(i)->GetName()) continue;
            ip.SelectNode(scene.Node(i), clearSelection ? 1 : 0);
            clearSelection = false;
            found = true;
        }
        if (!found) {
            Fail(console, "--selected: no node named \"" + name + "\" in " + line.scene);
            return false;
        }
    }
    return true;
}

// What a run changes in the scene's records besides the file properties. The host scene
// owns the only copy of the records (a large mesh would otherwise be held twice for the whole
// export), so this little is kept aside to put back before the scene is saved.
struct RunChanges {
    std::vector<bool> selected;  // per node, as read
    TimeValue currentTime = 0;
};

RunChanges RecordRunChanges(const HostScene& scene) {
    RunChanges asRead;
    asRead.currentTime = scene.CurrentTime();
    for (const scene::NodeData& node : scene.Data().nodes) asRead.selected.push_back(node.selected);
    return asRead;
}

void UndoRunChanges(HostScene& scene, const RunChanges& asRead) {
    for (std::size_t i = 0; i < asRead.selected.size(); ++i)
        scene.SetSelected(static_cast<int>(i), asRead.selected[i]);
    scene.SetCurrentTime(asRead.currentTime);
}

// Writes the scene file back with the file properties the export left in the scene (the
// exporter keeps its settings there). The rest is written as it was read, so the selection
// made for this run does not stick to the scene.
bool SaveScene(HostScene& scene, const RunChanges& asRead, const std::string& file,
               Console& console) {
    UndoRunChanges(scene, asRead);
    try {
        scenefile::SaveSceneFile(scene.Data(), file);
        return true;
    } catch (const std::exception& error) {
        Fail(console,
             std::string("the export succeeded but the scene was not saved: ") + error.what());
        return false;
    }
}

void EnsurePlugCfgDir(const std::string& directory, Console& console) {
    std::error_code error;
    fs::create_directories(directory, error);
    // Not fatal: the exporter still writes its file, only its settings are not kept.
    if (error)
        console.Print(std::string(kProgramName) + ": warning: cannot create " + directory + ": " +
                      error.message() + "; the export settings will not be saved");
}

// ---- Sinks for the duration of one export ----

// The plug-ins mark what the user should know but what does not stop the export.
constexpr std::string_view kWarningMark = "Warning: ";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(Flatten(text.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

// Warnings always reach the user, one line each; the rest of the debug output only with
// --debug.
void PrintDebugLine(Console& console, const std::string& line, bool debug) {
    if (line.starts_with(kWarningMark))
        console.Print(std::string(kProgramName) + ": warning: " + line.substr(kWarningMark.size()));
    else if (debug && !line.empty())
        console.Print(line);
}

// Routes the plug-ins' message boxes and debug output to the console, and keeps the last
// text sent to the debugger output: the exporter's formatted save error goes there.
class MessageRouting {
  public:
    MessageRouting(Console& console, bool debug) {
        SetMessageBoxSink(
            [&console](HWND, const std::string& text, const std::string& caption, UINT type) {
                console.Print(Flatten(caption) + ": " + Flatten(text));
                return UnattendedAnswer(type);
            });
        SetDebugOutputSink([this, &console, debug](const std::string& text) {
            if (!Flatten(text).empty()) m_lastDebuggerOutput = Flatten(text);
            if (debug) console.Print(text);
        });
        SetDebugPrintSink([&console, debug](const std::string& text) {
            for (const std::string& line : Lines(text)) PrintDebugLine(console, line, debug);
        });
    }
    ~MessageRouting() {
        SetMessageBoxSink(nullptr);
        SetDebugOutputSink(nullptr);
        SetDebugPrintSink(nullptr);
    }
    MessageRouting(const MessageRouting&) = delete;
    MessageRouting& operator=(const MessageRouting&) = delete;

    const std::string& LastDebuggerOutput() const { return m_lastDebuggerOutput; }

  private:
    std::string m_lastDebuggerOutput;
};

// ---- The export ----

struct ExportOutcome {
    int result = 0;  // DoExport's
    bool cancelled = false;
    std::string lastDebuggerOutput;
    FileWriteFailure writeFailure;  // the last file the exporter could not write
};

ExportOutcome CallDoExport(SceneExport& exporter, Interface& ip, const std::string& file,
                           const CommandLine& line, Console& console, CancelSignals& signals) {
    MessageRouting routing(console, line.debug);
    ExpInterface exportInterface;
    const DWORD options = line.selected.empty() ? 0 : SCENE_EXPORT_SELECTED;
    ForgetFileWriteFailure();
    signals.Attach(ip);
    ExportOutcome outcome;
    // A signal that came while the scene loaded cancels before the exporter starts.
    if (!ip.GetCancel())
        outcome.result = exporter.DoExport(file.c_str(), &exportInterface, &ip,
                                           line.prompt ? FALSE : TRUE, options);
    signals.Detach();
    outcome.cancelled = ip.GetCancel() != FALSE;
    outcome.lastDebuggerOutput = routing.LastDebuggerOutput();
    outcome.writeFailure = LastFileWriteFailure();
    // A bar the exporter left open would be drawn over by the next message.
    console.EndProgress();
    return outcome;
}

// The reason a file the exporter could not write gives is better than its result code; the
// host knows it only for the file it handed over.
void ReportFailedExport(const ExportOutcome& outcome, const std::string& output,
                        const std::string& staging, Console& console) {
    const FileWriteFailure& failure = outcome.writeFailure;
    if (failure.error != 0 && failure.path == staging)
        Fail(console, "export to " + output + " failed: cannot write a file in " +
                          fs::path(staging).parent_path().string() + ": " +
                          std::strerror(failure.error));
    else if (!outcome.lastDebuggerOutput.empty())
        Fail(console, "export to " + output + " failed: " + outcome.lastDebuggerOutput);
    else
        Fail(console, "export to " + output + " failed; --debug shows more");
}

// Returns the exit status of a run that `signal` cancelled (the cancel flag has no other
// source here, but a run cancelled some other way still fails).
int ReportCancelled(const CommandLine& line, Console& console, int signal) {
    Fail(console, "cancelled; " + line.output + " was not changed" +
                      (line.saveScene ? "; the scene was not saved" : ""));
    return signal != 0 ? kExitBySignalBase + signal : kExitFailure;
}

// The exporter ends an export whose options were cancelled as a success that wrote nothing.
bool OptionsCancelled(const CommandLine& line, const ExportOutcome& outcome,
                      const StagedOutput& staged) {
    std::error_code ignored;
    return line.prompt && outcome.result != 0 && !fs::exists(staged.Path(), ignored);
}

// Moves the new file into place and saves the scene, with the signals held back so that a
// cancel cannot fall between the two; a cancel that came before is still honoured.
int CompleteExport(StagedOutput& staged, HostScene& scene, const RunChanges& asRead,
                   const CommandLine& line, Console& console, const CancelSignals& signals) {
    const CancelSignals::Deferral deferral;
    if (const int signal = signals.Received()) return ReportCancelled(line, console, signal);
    if (!staged.Commit()) {
        const int error = errno;
        const std::string why = error == ENOENT
                                    ? std::string("the exporter wrote no file")
                                    : "cannot replace it: " + std::string(std::strerror(error));
        Fail(console, "export to " + line.output + " failed: " + why + "; " + line.output +
                          " was not changed");
        return kExitFailure;
    }
    if (line.saveScene && !SaveScene(scene, asRead, line.scene, console)) return kExitFailure;
    return kExitSuccess;
}

}  // namespace

bool DisplayNamed(const char* display, const char* waylandDisplay, const char* qtPlatform) {
    return Named(display) || Named(waylandDisplay) || Named(qtPlatform);
}

int RunExport(const CommandLine& line, Console& console) {
    if (!CheckPromptDisplay(line, console)) return kExitFailure;
    CancelSignals signals;
    // A step that fails after a signal came (an interrupted read, say) ends as a cancel.
    auto stop = [&](int status) {
        const int signal = signals.Received();
        return signal != 0 ? ReportCancelled(line, console, signal) : status;
    };

    const std::optional<WriteTarget> output = CheckWriteTargets(line, console);
    if (!output) return stop(kExitFailure);

    PluginLoader loader;
    if (signals.Received() || !LoadPlugins(loader, line, console)) return stop(kExitFailure);

    std::optional<LoadedRecords> records;
    if (!signals.Received()) records = LoadScene(line, *output, console);
    if (!records) return stop(kExitFailure);
    if (!line.writeScene.empty() && !WriteSceneCopy(RecordsOf(*records), line.writeScene, console))
        return stop(kExitFailure);
    std::unique_ptr<HostScene> scene = BuildScene(std::move(*records), line.scene, console);
    records.reset();
    if (!scene || signals.Received()) return stop(kExitFailure);
    const RunChanges asRead = RecordRunChanges(*scene);

    Interface ip(scene.get());
    if (!SelectNodes(ip, *scene, line, console)) return stop(kExitUsage);
    SceneExportPtr exporter = loader.CreateExporter(kExportExtension);
    if (!exporter) {
        ReportNoExporter(loader, line, console);
        return stop(kExitFailure);
    }
    if (signals.Received()) return stop(kExitFailure);
    EnsurePlugCfgDir(line.plugCfgDir, console);
    ip.SetPlugCfgDir(line.plugCfgDir);
    ip.SetProgressSink(console.MakeProgressSink());

    StagedOutput staged(*output);
    const ExportOutcome outcome =
        CallDoExport(*exporter, ip, staged.Path(), line, console, signals);
    exporter.reset();
    if (outcome.cancelled) return ReportCancelled(line, console, signals.Received());
    if (outcome.result == 0) {
        ReportFailedExport(outcome, line.output, staged.Path(), console);
        return stop(kExitFailure);
    }
    if (OptionsCancelled(line, outcome, staged)) {
        Fail(console, "cancelled in the export options; " + line.output + " was not changed");
        return stop(kExitFailure);
    }
    return CompleteExport(staged, *scene, asRead, line, console, signals);
}

}  // namespace tarvo::hostapp
