#include "host/ExportRun.h"

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "host/PluginLoader.h"
#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "platform/max/Interface.h"
#include "platform/max/Node.h"
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

// ---- Output file ----

// The full path the exporter is given, as the host's file dialog would hand it over; empty
// (with the reason reported) when the file cannot be created there.
std::string PrepareOutputPath(const std::string& output, Console& console) {
    const fs::path file = fs::absolute(output).lexically_normal();
    const fs::path directory = file.parent_path();
    std::error_code error;
    if (!fs::is_directory(directory, error)) {
        Fail(console, "cannot write " + output + ": the directory " + directory.string() +
                          " does not exist");
        return {};
    }
    if (access(directory.c_str(), W_OK) != 0) {
        Fail(console, "cannot write " + output + ": the directory " + directory.string() +
                          " is not writable");
        return {};
    }
    return file.string();
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

std::optional<scene::SceneData> LoadScene(const std::string& file, Console& console) {
    try {
        return scenefile::LoadSceneFile(file);
    } catch (const scenefile::SceneFileError& error) {
        Fail(console, error.what());
    } catch (const std::exception& error) {
        Fail(console, file + ": " + error.what());
    }
    return std::nullopt;
}

std::unique_ptr<HostScene> BuildScene(scene::SceneData data, const std::string& file,
                                      Console& console) {
    try {
        return std::make_unique<HostScene>(std::move(data));
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

// Writes the scene file back with the file properties the export left in the scene (the
// exporter keeps its settings there). The rest is written as it was read, so the selection
// made for this run does not stick to the scene.
bool SaveScene(scene::SceneData original, const HostScene& scene, const std::string& file,
               Console& console) {
    original.fileProperties = scene.Data().fileProperties;
    try {
        scenefile::SaveSceneFile(original, file);
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

// ---- Sinks and signals for the duration of one export ----

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
        if (debug) SetDebugPrintSink([&console](const std::string& text) { console.Print(text); });
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

std::atomic<Interface*> g_interruptTarget{nullptr};

extern "C" void CancelOnInterrupt(int) {
    if (Interface* ip = g_interruptTarget.load()) ip->SetCancel(TRUE);
}

// Ctrl-C sets the host's cancel flag, which the exporter polls. SA_RESETHAND puts the
// default action back at once, so a second Ctrl-C ends a program that does not stop.
class InterruptCancels {
  public:
    explicit InterruptCancels(Interface& ip) {
        g_interruptTarget.store(&ip);
        struct sigaction action {};
        action.sa_handler = CancelOnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &action, &m_previous);
    }
    ~InterruptCancels() {
        sigaction(SIGINT, &m_previous, nullptr);
        g_interruptTarget.store(nullptr);
    }
    InterruptCancels(const InterruptCancels&) = delete;
    InterruptCancels& operator=(const InterruptCancels&) = delete;

  private:
    struct sigaction m_previous {};
};

// ---- The export ----

struct ExportOutcome {
    int result = 0;  // DoExport's
    bool cancelled = false;
    std::string lastDebuggerOutput;
};

ExportOutcome CallDoExport(SceneExport& exporter, Interface& ip, const std::string& output,
                           const CommandLine& line, Console& console) {
    MessageRouting routing(console, line.debug);
    InterruptCancels interrupt(ip);
    ExpInterface exportInterface;
    const DWORD options = line.selected.empty() ? 0 : SCENE_EXPORT_SELECTED;
    ExportOutcome outcome;
    outcome.result = exporter.DoExport(output.c_str(), &exportInterface, &ip, TRUE, options);
    outcome.cancelled = ip.GetCancel() != FALSE;
    outcome.lastDebuggerOutput = routing.LastDebuggerOutput();
    // A bar the exporter left open would be drawn over by the next message.
    console.EndProgress();
    return outcome;
}

void ReportFailedExport(const ExportOutcome& outcome, const std::string& output, Console& console) {
    if (!outcome.lastDebuggerOutput.empty())
        Fail(console, "export to " + output + " failed: " + outcome.lastDebuggerOutput);
    else
        Fail(console, "export to " + output + " failed; --debug shows more");
}

}  // namespace

int RunExport(const CommandLine& line, Console& console) {
    const std::string output = PrepareOutputPath(line.output, console);
    if (output.empty()) return kExitFailure;

    PluginLoader loader;
    if (!LoadPlugins(loader, line, console)) return kExitFailure;

    std::optional<scene::SceneData> records = LoadScene(line.scene, console);
    if (!records) return kExitFailure;
    std::unique_ptr<HostScene> scene = BuildScene(*records, line.scene, console);
    if (!scene) return kExitFailure;

    Interface ip(scene.get());
    if (!SelectNodes(ip, *scene, line, console)) return kExitUsage;
    EnsurePlugCfgDir(line.plugCfgDir, console);
    ip.SetPlugCfgDir(line.plugCfgDir);
    ip.SetProgressSink(console.MakeProgressSink());

    SceneExportPtr exporter = loader.CreateExporter(kExportExtension);
    if (!exporter) {
        ReportNoExporter(loader, line, console);
        return kExitFailure;
    }
    const ExportOutcome outcome = CallDoExport(*exporter, ip, output, line, console);
    exporter.reset();

    if (outcome.result == 0) {
        ReportFailedExport(outcome, line.output, console);
        return kExitFailure;
    }
    if (outcome.cancelled) {
        Fail(console, "cancelled: " + line.output + " holds what was exported before" +
                          (line.saveScene ? "; the scene was not saved" : ""));
        return kExitSuccess;
    }
    if (line.saveScene && !SaveScene(*records, *scene, line.scene, console)) return kExitFailure;
    return kExitSuccess;
}

}  // namespace tarvo::hostapp
