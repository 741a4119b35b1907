// Loading and saving the settings: the order of the sources, the two files in the host's
// plug-in configuration directory, and the host's clock. A settings file that is there but
// cannot be used is said, through the plug-in's warning lines, and never silently replaced.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
// A settings file takes a few kilobytes; a megabyte holds some ten thousand segments. A
// larger file is not parsed: its element tree would take memory out of all proportion.
constexpr std::size_t kSettingsFileMaxMiB = 1;
constexpr std::size_t kSettingsFileMaxBytes = kSettingsFileMaxMiB << 20;
// A settings file that cannot be loaded is kept under its name with this ending before new
// settings take its place.
constexpr std::string_view kKeptFileEnding = ".bad";

// What the export does instead, said at the end of a warning.
constexpr std::string_view kDefaultsUsed = "the defaults are used";
constexpr std::string_view kOldFileRead = "the old settings file is read instead";
constexpr std::string_view kNothingExported = "nothing is exported";
constexpr std::string_view kNotSaved = "the settings are not saved";

// What is wrong with a settings file: where, when the parser knows, and why.
struct FileProblem {
    std::optional<TextPosition> position;
    std::string reason;
};

// One warning line on the plug-in's warning channel. Control characters (a folder name may
// hold a line break) are shown as "?", so that the warning stays one line.
void Warn(std::string text) {
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; }, '?');
    DebugPrint("Warning: %s\n", text.c_str());
}

void WarnAboutFile(const std::string& path, const FileProblem& problem,
                   std::string_view consequence) {
    std::string text = "settings file " + path;
    if (problem.position) {
        text += ", line " + std::to_string(problem.position->line) + ", column " +
                std::to_string(problem.position->column);
    }
    Warn(text + ": " + problem.reason + "; " + std::string(consequence));
}

std::string CannotBeRead(int error) {
    return std::string("it cannot be read (") + std::strerror(error) + ")";
}

// The system's words for why a file could not be written, from the error number the file
// layer leaves.
std::string WriteFailureReason(int error) {
    return error != 0 ? std::strerror(error) : "the system gave no reason";
}

std::string PathInConfigDirectory(Interface& host, std::string_view fileName) {
    const MCHAR* dir = host.GetDir(APP_PLUGCFG_DIR);
    std::string path = dir != nullptr ? dir : "";
    path += '\\';
    path += fileName;
    return path;
}

// ---- the XML file ----

enum class FileOutcome { Absent, Read, NoSettings, Refused, Unreadable };

struct SettingsFileRead {
    FileOutcome outcome = FileOutcome::Absent;
    FileProblem problem;
};

SettingsFileRead FromTextResult(SettingsTextResult result) {
    switch (result.outcome) {
        case SettingsTextOutcome::Read:
            return {FileOutcome::Read, {}};
        case SettingsTextOutcome::NoSettings:
            return {FileOutcome::NoSettings, {std::nullopt, std::move(result.reason)}};
        case SettingsTextOutcome::Refused:
            break;
    }
    return {FileOutcome::Refused, {result.position, std::move(result.reason)}};
}

// Reads the XML settings file at path (a native path) into options, or says why not.
SettingsFileRead ReadSettingsFile(ExportOptions& options, const std::string& path,
                                  const SceneTiming& timing) {
    if (!DoesFileExist(path.c_str())) return {};
    std::string text;
    if (FAILED(ReadWholeFile(path, text, kSettingsFileMaxBytes + 1))) {
        return {FileOutcome::Unreadable, {std::nullopt, CannotBeRead(errno)}};
    }
    if (text.size() > kSettingsFileMaxBytes) {
        return {FileOutcome::Refused,
                {std::nullopt, "it is larger than " + std::to_string(kSettingsFileMaxMiB) +
                                   " MiB, far more than settings take"}};
    }
    return FromTextResult(ReadSettingsTextWithReason(options, text, timing));
}

// Step 2 of the load. Nothing when the file is absent or refused, so that the next source
// is asked; a refused file is said here, naming the source that answers instead.
std::optional<bool> LoadSettingsFile(ExportOptions& options, Interface& host) {
    const std::string path = tarvo::host::NativePath(GetSettingsPath(host));
    const SettingsFileRead file = ReadSettingsFile(options, path, CurrentSceneTiming(host));
    switch (file.outcome) {
        case FileOutcome::Absent:
            return std::nullopt;  // the first run: nothing to say
        case FileOutcome::Read:
            return true;
        case FileOutcome::NoSettings:
            WarnAboutFile(path, file.problem, kDefaultsUsed);
            return true;
        case FileOutcome::Unreadable:
            WarnAboutFile(path, file.problem, kNothingExported);
            return false;
        case FileOutcome::Refused:
            break;
    }
    const bool oldFileThere = DoesFileExist(GetLegacySettingsPath(host).c_str()) != FALSE;
    WarnAboutFile(path, file.problem, oldFileThere ? kOldFileRead : kDefaultsUsed);
    return std::nullopt;
}

// ---- the old binary file ----

// Step 3 of the load. Nothing when the file is absent.
std::optional<bool> LoadLegacySettingsFile(ExportOptions& options, Interface& host) {
    const std::string path = tarvo::host::NativePath(GetLegacySettingsPath(host));
    if (!DoesFileExist(path.c_str())) return std::nullopt;
    std::string bytes;
    if (FAILED(ReadWholeFile(path, bytes, kLegacyFileMaxBytes))) {
        WarnAboutFile(path, {std::nullopt, CannotBeRead(errno)}, kNothingExported);
        return false;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (!ReadLegacySettings(options, std::span(data, bytes.size()))) {
        WarnAboutFile(path, {std::nullopt, "its format version is newer than this exporter reads"},
                      kNothingExported);
        return false;
    }
    return true;
}

// ---- saving ----

// Gives the file at path the second name kept, moved over an older kept file: the bytes
// and the permissions stay exactly as they were, and the settings file keeps its own name,
// so that the new settings written over it get the same permissions.
std::optional<std::string> LinkFileAs(const std::string& path, const std::string& kept) {
    const std::string newName = kept + ".new";
    ::unlink(newName.c_str());  // left by an interrupted save, if anything
    if (::link(path.c_str(), newName.c_str()) != 0) return std::strerror(errno);
    if (std::rename(newName.c_str(), kept.c_str()) == 0) return std::nullopt;
    const int error = errno;
    ::unlink(newName.c_str());
    return std::strerror(error);
}

// Keeps the bytes of path under kept; the system's reason when that fails. A link is
// copied, so that it still leads where it did and the new settings are written through it.
// A file gets a second name, or where the file system has no hard links, it is renamed.
std::optional<std::string> KeepFileAs(const std::string& path, const std::string& kept) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) {
        const std::optional<std::string> linkFailure = LinkFileAs(path, kept);
        if (!linkFailure) return std::nullopt;
        if (std::rename(path.c_str(), kept.c_str()) != 0) return std::strerror(errno);
        return std::nullopt;
    }
    std::string bytes;
    if (FAILED(ReadWholeFile(path, bytes))) return std::strerror(errno);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    errno = 0;
    if (FAILED(WriteFileAtomically(kept, std::span(data, bytes.size())))) {
        return WriteFailureReason(errno);
    }
    return std::nullopt;
}

// A settings file that would not load (whether or not this export read it: the scene may
// have answered first) is kept beside it before new settings replace it, so that nothing
// the user wrote is lost. False when it could not be kept; it is then left as it is.
bool KeepUnloadableFile(const std::string& path, const SceneTiming& timing) {
    std::error_code error;
    // Nothing there, or something that is not a file, which the write itself refuses.
    if (!std::filesystem::is_regular_file(path, error)) return true;
    ExportOptions scratch;
    const FileOutcome outcome = ReadSettingsFile(scratch, path, timing).outcome;
    if (outcome == FileOutcome::Read || outcome == FileOutcome::Absent) return true;

    const std::string kept = path + std::string(kKeptFileEnding);
    if (const std::optional<std::string> failure = KeepFileAs(path, kept)) {
        WarnAboutFile(path,
                      {std::nullopt, "it could not be loaded and cannot be kept as " + kept + " (" +
                                         *failure + ")"},
                      kNotSaved);
        return false;
    }
    WarnAboutFile(path, {std::nullopt, "it could not be loaded, so it is kept as " + kept},
                  "new settings are saved in its place");
    return true;
}

// Writes the file whole or not at all (a symlinked one through its link), so an
// interrupted or failed save leaves the previous file whole.
bool WriteSettingsFile(const std::string& path, const std::string& text) {
    std::string file(kSettingsDeclaration);
    file += text;
    const auto* data = reinterpret_cast<const std::uint8_t*>(file.data());
    errno = 0;
    if (SUCCEEDED(WriteFileAtomically(path, std::span(data, file.size())))) return true;
    const int error = errno;
    WarnAboutFile(path, {std::nullopt, "it cannot be written (" + WriteFailureReason(error) + ")"},
                  kNotSaved);
    return false;
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
    const SceneTiming timing = CurrentSceneTiming(host);
    const std::string text = BuildSettingsText(options, timing, HostRelease());
    const std::string path = tarvo::host::NativePath(GetSettingsPath(host));
    const bool written = KeepUnloadableFile(path, timing) && WriteSettingsFile(path, text);
    // The scene keeps its copy whether or not the file could be written.
    StoreSceneSettings(host, options, text);
    return written;
}
