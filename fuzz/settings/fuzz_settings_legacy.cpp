// Feeds arbitrary bytes to the reader of the old binary settings file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/PlantedFault.h"
#include "settings/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvo::fuzz::PlantedFault(data, size);
    ExportOptions options;
    const bool accepted = ReadLegacySettings(options, std::span<const std::uint8_t>(data, size));
    if (!accepted && !(options == ExportOptions{})) __builtin_trap();  // refusal changes nothing
    // The ranged settings stay within their ranges whatever the file holds.
    if (options.keyFrameStep < 1 || options.xFileType < 0 || options.xFileType > 2 ||
        options.frameSetting < 0 || options.frameSetting > 2 || options.optMesh < 0 ||
        options.optMesh > 2 || options.textureFormat < 0 || options.textureFormat > 3) {
        __builtin_trap();
    }
    return 0;
}
