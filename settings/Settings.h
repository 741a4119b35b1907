// Settings persistence: the user's export choices kept between exports, in the scene (a
// user-defined file property), in the XML settings file "TarvoDXExport.xml", and in the
// older binary file "Tarvo_DXExport.cfg", which is only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/ExportOptions.h"

class Interface;

// What the settings need from the scene's clock at the moment of a load or save: segment
// times are kept in the text as samples, whose length follows the frame rate and the
// sampling rate in force.
struct SceneTiming {
    std::int32_t ticksPerSecond = 4800;
    std::int32_t animStart = 0;  // the scene's animation range, ticks
    std::int32_t animEnd = 0;
};

// The scene's timing as the host reports it now.
SceneTiming CurrentSceneTiming(Interface& host);

// The host's release number as written in the settings: Get3DSMAXVersion() >> 16.
std::int32_t HostRelease();

inline constexpr std::string_view kSettingsFileName = "TarvoDXExport.xml";
inline constexpr std::string_view kLegacySettingsFileName = "Tarvo_DXExport.cfg";
inline constexpr std::string_view kSettingsDeclaration =
    "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\r\n";

// The host's plug-in configuration directory, a backslash and the file name.
std::string GetSettingsPath(Interface& host);
std::string GetLegacySettingsPath(Interface& host);

// Appends one segment (times in ticks) at the end of the list.
void AddSegment(std::vector<AnimSegment>& segments, std::string_view name, std::int32_t start,
                std::int32_t end);

// A place in a text as an editor shows it, both counted from 1. Lines end at line feeds
// (so CR LF is one break); columns count characters, a UTF-8 sequence being one.
struct TextPosition {
    std::size_t line = 1;
    std::size_t column = 1;
    friend bool operator==(const TextPosition&, const TextPosition&) = default;
};

// The position of the byte at offset in text; an offset past the end is the end.
TextPosition PositionInText(std::string_view text, std::size_t offset);

enum class SettingsTextOutcome {
    Read,        // the profile was read (unreadable or out-of-range values fall back quietly)
    NoSettings,  // well-formed, but a foreign document or one without the profile
    Refused,     // the text does not parse
};

// What became of one settings text, and why, for telling the user. Only Read changes the
// options.
struct SettingsTextResult {
    SettingsTextOutcome outcome = SettingsTextOutcome::Read;
    std::optional<TextPosition> position;  // where the parser stopped, for a refused text
    std::string reason;                    // one line without control characters; empty on Read
};

// Parses one settings text and copies its values into options; segments found are
// appended.
[[nodiscard]] SettingsTextResult ReadSettingsTextWithReason(ExportOptions& options,
                                                            std::string_view text,
                                                            const SceneTiming& timing);

// The same as a yes or no: false when the text does not parse; true otherwise, also for a
// document that holds no settings, which changes nothing.
bool ReadSettingsText(ExportOptions& options, std::string_view text, const SceneTiming& timing);
bool ReadSettingsText(ExportOptions& options, Interface& host, std::string_view text);

// The serialised settings text: it begins with CR LF and has no line break at its end.
std::string BuildSettingsText(const ExportOptions& options, const SceneTiming& timing,
                              std::int32_t hostRelease);

// Reads the old binary settings file's bytes into options. False when its version is
// above 9 (nothing is changed then); a file that ends early fills what is missing with -1.
bool ReadLegacySettings(ExportOptions& options, std::span<const std::uint8_t> bytes);

// Fills options from the first source that has settings: the scene property, the XML
// file, the old binary file, and else one segment "Anim-1" over the animation range.
// False only when a settings file exists but cannot be read, or the old file's version is
// above 9. A settings file that is there but is not used (it cannot be read, does not
// parse, is larger than a megabyte, or holds no settings) is said in one DebugPrint line
// "Warning: settings file PATH[, line L, column C]: REASON; WHAT IS DONE INSTEAD"; a
// missing file is the first run and says nothing.
[[nodiscard]] bool LoadSettings(ExportOptions& options, Interface& host);

// Writes the XML file (through a temporary file renamed into place), then replaces the
// scene property. An XML file there that would not load is first kept beside it as
// "TarvoDXExport.xml.bad" (replacing an older one), with a warning line; when it cannot be
// kept, nothing is written. A file that cannot be written is said in a warning line with
// the system's reason. Returns whether the file was written; the scene property is
// updated either way.
bool SaveSettings(const ExportOptions& options, Interface& host);

// The scene property "TarvoDXExportSettings". Store removes it and, when
// saveSettingsInScene is on, adds it again with the given text. Read passes each property
// of that name to ReadSettingsText and is true at the first one accepted.
void StoreSceneSettings(Interface& host, const ExportOptions& options, const std::string& text);
bool ReadSceneSettings(ExportOptions& options, Interface& host);
