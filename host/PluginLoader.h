// Loads the plug-in modules of a directory as the modelling host does at start-up: each
// module is opened with dlopen and reached only through its four C entry points
// (LibDescription, LibNumberClasses, LibClassDesc, LibVersion).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/max/Plugin.h"

namespace tarvo::hostapp {

struct PluginModule {
    std::string file;
    void* handle = nullptr;
    std::string description;          // LibDescription
    ULONG version = 0;                // LibVersion
    std::vector<ClassDesc*> classes;  // LibClassDesc of 0 .. LibNumberClasses - 1, non-null
};

// A module that was not loaded, and why, in words fit for a message.
struct PluginLoadFailure {
    std::string file;
    std::string reason;
};

// Deletes exporter objects with the host heap operators they were created with.
struct SceneExportDeleter {
    void operator()(SceneExport* exporter) const { delete exporter; }
};
using SceneExportPtr = std::unique_ptr<SceneExport, SceneExportDeleter>;

// True when a module built for `pluginVersion` can run in this host: release and interface
// number must match; the SDK revision may differ.
bool IsCompatibleLibVersion(ULONG pluginVersion);

class PluginLoader {
  public:
    PluginLoader() = default;
    // Unloads the modules; every object created from them must be gone by then.
    ~PluginLoader();
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    // Loads every "*.so" file of the directory, in name order. Returns false when the
    // directory cannot be read (DirectoryError says why); modules that fail are recorded in
    // Failures and skipped.
    bool LoadDirectory(const std::string& directory);
    // Loads one module; false (with the failure recorded) when it is not a usable plug-in.
    bool LoadModule(const std::string& file);

    const std::vector<PluginModule>& Modules() const { return m_modules; }
    const std::vector<PluginLoadFailure>& Failures() const { return m_failures; }
    const std::string& DirectoryError() const { return m_directoryError; }

    // Creates the exporter of the first public scene-export class, in load order, that
    // declares the extension (compared without regard to case). Null when none does.
    SceneExportPtr CreateExporter(std::string_view extension) const;

  private:
    std::vector<PluginModule> m_modules;
    std::vector<PluginLoadFailure> m_failures;
    std::string m_directoryError;
};

}  // namespace tarvo::hostapp
