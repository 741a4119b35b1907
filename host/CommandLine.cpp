#include "host/CommandLine.h"

#include <pwd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "host/import/AssimpImport.h"

namespace tarvo::hostapp {

namespace {

constexpr const char* kDescription =
    "Exports a scene file to a DirectX .X file through the exporter plug-in for the "
    "extension \"X\". A SCENE that is not a .tscene.json file is imported first from any "
    "format Assimp reads (glTF, FBX, Collada, OBJ, 3DS, Blender...), turned z up as the "
    "modelling host would; images it holds inside are written beside OUTPUT.";

constexpr const char* kExitStatuses =
    "Exit status:\n"
    "  0    the export completed and OUTPUT holds it\n"
    "  1    the export failed (with --prompt: also when the options were cancelled or no\n"
    "       display could show them), SCENE could not be read or imported, or a file it\n"
    "       would replace (OUTPUT, the settings, --save-scene's or --write-scene's file, an\n"
    "       image embedded in an imported file) was refused before the export: a directory,\n"
    "       a FIFO, device or socket, a read-only file, a file with other hard links, the\n"
    "       scene itself, or a file in a missing or unwritable directory (symlinks are\n"
    "       followed and the file they lead to is replaced)\n"
    "  2    the command line is wrong (an unknown option, a missing or empty path, a\n"
    "       --selected node that is not in the scene, --save-scene for an imported file)\n"
    "  130  cancelled by Ctrl-C (SIGINT); 143 by SIGTERM, 129 by SIGHUP: OUTPUT and the\n"
    "       scene are left as they were. A second signal of the same kind ends the program\n"
    "       at once";

// An empty path names no file: the scene, the output and both directories must be given.
const CLI::Validator kNotEmpty(
    [](const std::string& value) {
        return value.empty() ? std::string("an empty path names no file") : std::string();
    },
    "PATH", "not empty");

// A scene written under another name would be imported, not loaded, the next time.
const CLI::Validator kSceneFileName(
    [](const std::string& value) {
        return assimpimport::IsHostSceneFile(value)
                   ? std::string()
                   : std::string("a scene file's name ends in .tscene.json");
    },
    "PATH", "scene file");

// The host writes scene files only: an imported file cannot take the scene back.
bool CheckSaveScene(const CommandLine& line, std::ostream& err) {
    if (!line.saveScene || assimpimport::IsHostSceneFile(line.scene)) return true;
    err << kProgramName << ": --save-scene cannot write the scene back into " << line.scene
        << ", which is not a .tscene.json scene file; --write-scene FILE.tscene.json writes "
           "the imported scene as one\n";
    return false;
}

void AddOptions(CLI::App& app, CommandLine& line) {
    app.add_option("SCENE", line.scene,
                   "The scene file (.tscene.json) or the file of another program to export")
        ->required()
        ->check(kNotEmpty);
    app.add_option("OUTPUT", line.output, "The .X file to write")->required()->check(kNotEmpty);
    app.add_option("--selected", line.selected,
                   "Export only this node and the other --selected nodes (repeatable)")
        ->type_name("NODE")
        ->allow_extra_args(false);
    app.add_option("--plugcfg", line.plugCfgDir,
                   "The plug-in configuration directory (exporter settings)")
        ->type_name("DIR")
        ->capture_default_str()
        ->check(kNotEmpty);
    app.add_option("--plugin-dir", line.pluginDir, "Where the plug-in modules are loaded from")
        ->type_name("DIR")
        ->capture_default_str()
        ->check(kNotEmpty);
    app.add_flag("--save-scene", line.saveScene,
                 "After a completed export, write the scene file back with its file properties");
    app.add_option("--write-scene", line.writeScene,
                   "Write the loaded or imported scene to this .tscene.json file before the "
                   "export, to inspect, edit and export again")
        ->type_name("FILE")
        ->check(kSceneFileName);
    app.add_flag("--one-segment", line.oneSegment,
                 "Keep the single default animation segment instead of one per animation of an "
                 "imported file");
    app.add_flag("--debug", line.debug, "Print the plug-ins' debug output on standard error");
    app.add_flag("--prompt", line.prompt,
                 "Show the exporter's options before the export (needs a display)");
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv,
                                   const CommandLineDefaults& defaults, std::ostream& out,
                                   std::ostream& err) {
    ParsedCommandLine parsed;
    parsed.line.plugCfgDir = defaults.plugCfgDir;
    parsed.line.pluginDir = defaults.pluginDir;

    CLI::App app{kDescription, kProgramName};
    app.set_version_flag("--version", std::string(kProgramName) + " " + TARVO_VERSION);
    AddOptions(app, parsed.line);
    app.footer(kExitStatuses);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        parsed.exitCode = kExitSuccess;
        return parsed;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        parsed.exitCode = kExitSuccess;
        return parsed;
    } catch (const CLI::ParseError& error) {
        err << kProgramName << ": " << error.what() << " (--help shows the usage)\n";
        parsed.exitCode = kExitUsage;
        return parsed;
    }
    if (!CheckSaveScene(parsed.line, err)) {
        parsed.exitCode = kExitUsage;
        return parsed;
    }
    parsed.run = true;
    return parsed;
}

std::string DefaultPlugCfgDir(const char* xdgConfigHome, const char* home) {
    namespace fs = std::filesystem;
    if (xdgConfigHome && *xdgConfigHome && fs::path(xdgConfigHome).is_absolute())
        return (fs::path(xdgConfigHome) / "tarvo-dx").string();
    return (fs::path(home ? home : "") / ".config" / "tarvo-dx").string();
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* account = getpwuid(getuid());
    return account && account->pw_dir ? account->pw_dir : "";
}

std::string ExecutableDirectory() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

std::string DefaultPluginDir(const std::string& executableDir) {
    return (std::filesystem::path(executableDir) / "plugins").string();
}

}  // namespace tarvo::hostapp
