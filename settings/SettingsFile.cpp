// Loading and saving the settings: the order of the sources, the two files in the host's
// plug-in configuration directory, and the host's clock.
#include <algorithm>
#include <limits>
#include <optional>

#include "platform/max/Interface.h"
#include "platform/max/StringConversions.h"
#include "platform/win/FileIO.h"
#include "settings/Settings.h"

namespace {

constexpr const char* kFirstSegmentName = "Anim-1";
// The newest old file is 68 bytes; nothing after that is read.
constexpr std::size_t kLegacyFileMaxBytes = 68;

std::string PathInConfigDirectory(Interface& host, std::string_view fileName) {
    const MCHAR* dir = host.GetDir(APP_PLUGCFG_DIR);
    std::string path = dir != nullptr ? dir : "";
    path += '\\';
    path += fileName;
    return path;
}

// The whole file (at most maxBytes of it), or nothing when it cannot be opened or read;
// a directory of that name cannot be read.
std::optional<std::string> ReadConfigFile(const std::string& path, std::size_t maxBytes) {
    std::string bytes;
    if (FAILED(ReadWholeFile(tarvo::host::NativePath(path), bytes, maxBytes))) return std::nullopt;
    return bytes;
}

// Writes the file through a temporary file beside it that is renamed into place, so an
// interrupted or failed save leaves the previous file whole.
bool ReplaceFile(const std::string& path, std::string_view bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return SUCCEEDED(WriteFileAtomically(tarvo::host::NativePath(path), {data, bytes.size()}));
}

// Step 2: the XML file. Nothing when it is absent or its text is refused.
std::optional<bool> LoadSettingsFile(ExportOptions& options, Interface& host) {
    const std::string path = GetSettingsPath(host);
    if (!DoesFileExist(path.c_str())) return std::nullopt;
    const std::optional<std::string> text = ReadConfigFile(path, kWholeFile);
    if (!text) return false;
    if (ReadSettingsText(options, host, *text)) return true;
    return std::nullopt;
}

// Step 3: the old binary file. Nothing when it is absent.
std::optional<bool> LoadLegacySettingsFile(ExportOptions& options, Interface& host) {
    const std::string path = GetLegacySettingsPath(host);
    if (!DoesFileExist(path.c_str())) return std::nullopt;
    const std::optional<std::string> bytes = ReadConfigFile(path, kLegacyFileMaxBytes);
    if (!bytes) return false;
    return ReadLegacySettings(
        options, std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
}

}  // namespace

SceneTiming CurrentSceneTiming(Interface& host) {
    // Computed wide, so that a strange frame rate cannot overflow.
    const std::int64_t ticksPerSecond =
        std::int64_t{GetFrameRate()} * std::int64_t{GetTicksPerFrame()};
    const Interval range = host.GetAnimRange();
    SceneTiming timing;
    timing.ticksPerSecond = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(ticksPerSecond, 0, std::numeric_limits<std::int32_t>::max()));
    timing.animStart = range.Start();
    timing.animEnd = range.End();
    return timing;
}

std::int32_t HostRelease() {
    return static_cast<std::int32_t>(Get3DSMAXVersion() >> 16);
}

std::string GetSettingsPath(Interface& host) {
    return PathInConfigDirectory(host, kSettingsFileName);
}

std::string GetLegacySettingsPath(Interface& host) {
    return PathInConfigDirectory(host, kLegacySettingsFileName);
}

bool ReadSettingsText(ExportOptions& options, Interface& host, std::string_view text) {
    return ReadSettingsText(options, text, CurrentSceneTiming(host));
}

bool LoadSettings(ExportOptions& options, Interface& host) {
    if (ReadSceneSettings(options, host)) return true;
    if (const std::optional<bool> loaded = LoadSettingsFile(options, host)) return *loaded;
    if (const std::optional<bool> loaded = LoadLegacySettingsFile(options, host)) return *loaded;

    const Interval range = host.GetAnimRange();
    AddSegment(options.segments, kFirstSegmentName, range.Start(), range.End());
    return true;
}

bool SaveSettings(const ExportOptions& options, Interface& host) {
    const std::string text = BuildSettingsText(options, CurrentSceneTiming(host), HostRelease());
    std::string file(kSettingsDeclaration);
    file += text;
    const bool written = ReplaceFile(GetSettingsPath(host), file);
    // The scene keeps its copy whether or not the file could be written.
    StoreSceneSettings(host, options, text);
    return written;
}
