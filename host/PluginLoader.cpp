#include "host/PluginLoader.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace tarvo::hostapp {

namespace {

// The entry points of one opened module.
struct EntryPoints {
    LibDescriptionFn description = nullptr;
    LibNumberClassesFn numberClasses = nullptr;
    LibClassDescFn classDesc = nullptr;
    LibVersionFn version = nullptr;
};

template <typename Fn>
Fn FindEntry(void* handle, const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

// Empty when every entry point is there; otherwise the name of the first missing one.
std::string FindEntryPoints(void* handle, EntryPoints& entries) {
    entries.description = FindEntry<LibDescriptionFn>(handle, "LibDescription");
    if (!entries.description) return "LibDescription";
    entries.numberClasses = FindEntry<LibNumberClassesFn>(handle, "LibNumberClasses");
    if (!entries.numberClasses) return "LibNumberClasses";
    entries.classDesc = FindEntry<LibClassDescFn>(handle, "LibClassDesc");
    if (!entries.classDesc) return "LibClassDesc";
    entries.version = FindEntry<LibVersionFn>(handle, "LibVersion");
    if (!entries.version) return "LibVersion";
    return {};
}

std::string HexWord(ULONG value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
    return buffer;
}

std::vector<ClassDesc*> CollectClasses(const EntryPoints& entries) {
    std::vector<ClassDesc*> classes;
    const int count = entries.numberClasses();
    for (int i = 0; i < count; ++i)
        if (ClassDesc* desc = entries.classDesc(i)) classes.push_back(desc);
    return classes;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool DeclaresExtension(SceneExport& exporter, std::string_view extension) {
    const int count = exporter.ExtCount();
    for (int i = 0; i < count; ++i) {
        const MCHAR* ext = exporter.Ext(i);
        if (ext && SameTextIgnoringCase(ext, extension)) return true;
    }
    return false;
}

std::vector<std::string> ModuleFilesIn(const std::filesystem::path& directory,
                                       std::error_code& error) {
    std::vector<std::string> files;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (it->path().extension() == ".so" && it->is_regular_file(ignored))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

bool IsCompatibleLibVersion(ULONG pluginVersion) {
    return (pluginVersion >> 8) == (VERSION_3DSMAX >> 8);
}

PluginLoader::~PluginLoader() {
    for (auto it = m_modules.rbegin(); it != m_modules.rend(); ++it) dlclose(it->handle);
}

bool PluginLoader::LoadDirectory(const std::string& directory) {
    std::error_code error;
    const std::vector<std::string> files = ModuleFilesIn(directory, error);
    if (error) {
        m_directoryError = error.message();
        return false;
    }
    for (const std::string& file : files) LoadModule(file);
    return true;
}

bool PluginLoader::LoadModule(const std::string& file) {
    // RTLD_NOW: a module with an unresolved symbol is refused here, with the linker's
    // reason, instead of failing in the middle of an export.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        m_failures.push_back({file, reason ? reason : "cannot be opened"});
        return false;
    }
    EntryPoints entries;
    const std::string missing = FindEntryPoints(handle, entries);
    if (!missing.empty()) {
        dlclose(handle);
        m_failures.push_back({file, "not a plug-in: no entry point " + missing});
        return false;
    }
    const ULONG version = entries.version();
    if (!IsCompatibleLibVersion(version)) {
        dlclose(handle);
        m_failures.push_back({file, "built for host version " + HexWord(version) +
                                        ", this host is " + HexWord(VERSION_3DSMAX)});
        return false;
    }
    const MCHAR* description = entries.description();
    m_modules.push_back(
        {file, handle, description ? description : "", version, CollectClasses(entries)});
    return true;
}

SceneExportPtr PluginLoader::CreateExporter(std::string_view extension) const {
    for (const PluginModule& module : m_modules) {
        for (ClassDesc* desc : module.classes) {
            if (!desc->IsPublic() || desc->SuperClassID() != SCENE_EXPORT_CLASS_ID) continue;
            // The host learns a class's extensions from an object of it, as the export
            // dialog does; objects that do not match are deleted again.
            SceneExportPtr exporter(static_cast<SceneExport*>(desc->Create(FALSE)));
            if (exporter && DeclaresExtension(*exporter, extension)) return exporter;
        }
    }
    return nullptr;
}

}  // namespace tarvo::hostapp
