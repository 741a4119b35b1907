// tarvo-x-export SCENE OUTPUT.x: the stand-in modelling host on the command line. It loads
// the exporter plug-in and has it export a scene file, with prompts suppressed unless
// --prompt asks for the exporter's options first.
#include <cstdlib>
#include <iostream>

#include "host/CommandLine.h"
#include "host/Console.h"
#include "host/ExportRun.h"

int main(int argc, char** argv) {
    using namespace tarvo::hostapp;
    const CommandLineDefaults defaults{
        DefaultPlugCfgDir(std::getenv("XDG_CONFIG_HOME"), HomeDirectory().c_str()),
        DefaultPluginDir(ExecutableDirectory())};
    const ParsedCommandLine parsed = ParseCommandLine(argc, argv, defaults, std::cout, std::cerr);
    if (!parsed.run) return parsed.exitCode;
    Console console = Console::ForStandardError();
    return RunExport(parsed.line, console);
}
