#include "ui/DialogToolkit.h"

#include <dlfcn.h>

#include <filesystem>

#include "platform/max/Interface.h"

namespace tarvo::ui {
namespace {

constexpr const char* kLibraryFolder = "tarvo-dx";
constexpr const char* kLibraryName = "TarvoDirectXDialogs.so";

const DialogToolkit*& ChosenToolkit() {
    static const DialogToolkit* toolkit = nullptr;
    return toolkit;
}

// The library stays loaded once it is: the toolkit it starts cannot be unloaded safely,
// and the message-box route it sets points into it.
const DialogToolkit* OpenDialogLibrary() {
    const std::string path = DialogLibraryPath();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        DebugPrint("Dialogs unavailable: %s\n", reason ? reason : path.c_str());
        return nullptr;
    }
    auto entry = reinterpret_cast<DialogToolkitEntry>(dlsym(library, kDialogToolkitEntry));
    const DialogToolkit* toolkit = entry ? entry() : nullptr;
    if (toolkit == nullptr) {
        DebugPrint("Dialogs unavailable: %s has no %s\n", path.c_str(), kDialogToolkitEntry);
        dlclose(library);
    }
    return toolkit;
}

}  // namespace

const DialogToolkit* LoadDialogToolkit() {
    if (ChosenToolkit() == nullptr) ChosenToolkit() = OpenDialogLibrary();
    return ChosenToolkit();
}

void UseDialogToolkit(const DialogToolkit* toolkit) {
    ChosenToolkit() = toolkit;
}

std::string DialogLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&DialogLibraryPath), &info) == 0 ||
        info.dli_fname == nullptr)
        return kLibraryName;
    return (std::filesystem::path(info.dli_fname).parent_path() / kLibraryFolder / kLibraryName)
        .string();
}

}  // namespace tarvo::ui
