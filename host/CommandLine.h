// The command line of tarvo-x-export: what to export, where to, and how the host is set up.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tarvo::hostapp {

struct CommandLine {
    std::string scene;                  // the scene file to load, or a file to import
    std::string output;                 // the .X file to write
    std::vector<std::string> selected;  // node names; not empty = export the selection only
    std::string plugCfgDir;             // the host's plug-in configuration directory
    std::string pluginDir;              // where the plug-in modules are loaded from
    bool saveScene = false;             // write the scene back after a completed export
    std::string writeScene;             // where to write the loaded scene as a scene file
    bool oneSegment = false;            // imported animations keep the one default segment
    bool debug = false;                 // print the plug-ins' debug output
    bool prompt = false;                // let the exporter show its options first
};

// Directories the command line falls back on; the caller finds them so that parsing does
// not depend on the environment.
struct CommandLineDefaults {
    std::string plugCfgDir;
    std::string pluginDir;
};

// What parsing decided: run an export with `line`, or end at once with `exitCode` (after
// --help or --version, or a usage error that has been reported on `err`).
struct ParsedCommandLine {
    bool run = false;
    int exitCode = 0;
    CommandLine line;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Parses the arguments. Help and version go to `out`; a usage error is one line on `err`.
ParsedCommandLine ParseCommandLine(int argc, const char* const* argv,
                                   const CommandLineDefaults& defaults, std::ostream& out,
                                   std::ostream& err);

// $XDG_CONFIG_HOME/tarvo-dx, or ~/.config/tarvo-dx when that variable is unset, empty or
// relative (the XDG rules ignore a relative one).
std::string DefaultPlugCfgDir(const char* xdgConfigHome, const char* home);

// $HOME, or the account's home directory when HOME is unset.
std::string HomeDirectory();

// The directory that holds the running program.
std::string ExecutableDirectory();

// "plugins" beside the program.
std::string DefaultPluginDir(const std::string& executableDir);

// The program's name in messages.
inline constexpr const char* kProgramName = "tarvo-x-export";

}  // namespace tarvo::hostapp
