// One run of tarvo-x-export: load the plug-ins and the scene, create the exporter for "X",
// export, and report the outcome on the console.
#pragma once

#include "host/CommandLine.h"
#include "host/Console.h"

namespace tarvo::hostapp {

// The file extension whose exporter the program runs.
inline constexpr const char* kExportExtension = "X";

// Runs the export the command line asks for; returns the exit status: kExitSuccess when
// DoExport returned 1 and its file is in place, kExitFailure when it returned 0, the run
// could not start or a file it would replace is refused (checked before any work),
// kExitUsage for a node name that is not in the scene, and kExitBySignalBase plus the
// signal when SIGINT, SIGTERM or SIGHUP cancelled it. The exporter writes a staging file
// beside the output that replaces the output only after a completed export, so a failed or
// cancelled run leaves the output as it was. Every failure is one line on the console that
// says why.
//
// With line.prompt the exporter shows its options first. The environment must then name a
// display (see DisplayNamed), checked before any other work; whether that display answers
// is the dialogs' to find out, and an export whose options could not be shown fails. An
// export whose options were cancelled writes nothing and ends with kExitFailure.
int RunExport(const CommandLine& line, Console& console);

// Whether the environment names somewhere the exporter's options could be shown: an X or
// Wayland display, or a Qt platform named outright. Empty values name nothing.
bool DisplayNamed(const char* display, const char* waylandDisplay, const char* qtPlatform);

}  // namespace tarvo::hostapp
