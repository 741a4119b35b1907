// Feeds arbitrary text to the element-tree parser, writes back what it read, and reads
// the text as settings. The first byte picks the parse options, so that both the settings
// options and verbatim copying are exercised.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/PlantedFault.h"
#include "settings/Settings.h"
#include "settings/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvo::fuzz::PlantedFault(data, size);
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    XmlParseOptions options = (mode & 1) != 0 ? SettingsParseOptions() : XmlParseOptions{};
    XmlNode root;
    const auto end = Parse(root, text, options);
    if (end && *end > text.size()) __builtin_trap();  // a position past the text
    if (options.errorOccurred && options.errorMessage.empty()) __builtin_trap();

    XmlWriteOptions writeOptions = SettingsWriteOptions();
    writeOptions.lineBreaks = (mode & 2) != 0;
    (void)Write(root, writeOptions);
    if (writeOptions.depth != 0) __builtin_trap();

    ExportOptions settings;
    const SceneTiming timing{4800, -(mode & 4) * 1000, 16000};
    (void)ReadSettingsText(settings, text, timing);
    if (settings.keyFrameStep < 1 || settings.textureFormat < 0 || settings.textureFormat > 3) {
        __builtin_trap();
    }
    return 0;
}
