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
int RunExport(const CommandLine& line, Console& console);

}  // namespace tarvo::hostapp
