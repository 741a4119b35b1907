// The settings text: the record to an element tree and back, driven by the settings
// table.
#include <optional>

#include "plugin/SampleStep.h"
#include "settings/Settings.h"
#include "settings/SettingsNumbers.h"
#include "settings/SettingsTable.h"
#include "settings/XmlDocument.h"

namespace {

constexpr std::string_view kFileVersion = "1.01";
constexpr std::string_view kExporterVersion = "6.2012.71.0";
constexpr std::string_view kProfileName = "default";

// ---- reading ----

std::int32_t ReadKey(const SettingKey& key, const std::string* text) {
    if (text == nullptr) return key.readDefault;
    if (key.form == SettingForm::Flag) return ParseFlag(*text).value_or(key.readDefault);
    const std::optional<std::int32_t> number = ParseLeadingDecimal(*text);
    if (!number || *number < key.minimum || *number > key.maximum) return key.readDefault;
    return *number;
}

void ReadGroup(ExportOptions& options, const XmlNode& group) {
    for (const SettingKey& key : SettingsTable()) {
        if (key.group != group.name) continue;
        options.*key.field = ReadKey(key, FindAttribute(group, key.attribute));
    }
}

// A sample number within [low, high], or the fallback when missing or outside.
std::int32_t ReadSample(const XmlNode& segment, std::string_view attribute, std::int32_t low,
                        std::int32_t high, std::int32_t fallback) {
    const std::string* text = FindAttribute(segment, attribute);
    if (text == nullptr) return fallback;
    const std::optional<std::int32_t> sample = ParseLeadingDecimal(*text);
    if (!sample || *sample < low || *sample > high) return fallback;
    return *sample;
}

// Every child of "segments" is a segment, whatever its element name. Times are clamped
// to the samples of the scene's animation range.
void ReadSegments(ExportOptions& options, const XmlNode& segments, const SceneTiming& timing) {
    const std::int32_t step = SampleStep(timing.ticksPerSecond, options.keyFrameStep);
    const std::int32_t lowSample = timing.animStart / step;
    const std::int32_t highSample = timing.animEnd / step;
    for (const auto& segment : segments.children) {
        const std::int32_t start = ReadSample(*segment, "start", lowSample, highSample, lowSample);
        const std::int32_t end = ReadSample(*segment, "end", lowSample, highSample, highSample);
        const std::string* name = FindAttribute(*segment, "name");
        AddSegment(options.segments, name != nullptr ? *name : std::string(), start * step,
                   end * step);
    }
}

void ReadProfile(ExportOptions& options, const XmlNode& profile, const SceneTiming& timing) {
    for (std::string_view groupName : SettingGroups()) {
        const XmlNode* group = FindChild(profile, groupName);
        if (group == nullptr) continue;
        ReadGroup(options, *group);
        if (groupName != kAnimationGroup) continue;
        if (const XmlNode* segments = FindChild(*group, kSegmentsElement)) {
            ReadSegments(options, *segments, timing);
        }
    }
}

// ---- writing ----

void WriteGroupAttributes(const ExportOptions& options, XmlNode& group) {
    for (const SettingKey& key : SettingsTable()) {
        if (key.group != group.name) continue;
        const std::int32_t value = options.*key.field;
        AddAttribute(
            group, key.attribute,
            key.form == SettingForm::Flag ? std::string(FormatFlag(value)) : FormatDecimal(value));
    }
}

void WriteSegments(const ExportOptions& options, XmlNode& group, const SceneTiming& timing) {
    XmlNode& segments = CreateChild(group, kSegmentsElement);
    const std::int32_t step = SampleStep(timing.ticksPerSecond, options.keyFrameStep);
    for (const AnimSegment& segment : options.segments) {
        XmlNode& element = CreateChild(segments, kSegmentElement);
        AddAttribute(element, "name", segment.name);
        AddAttribute(element, "start", FormatDecimal(segment.start / step));
        AddAttribute(element, "end", FormatDecimal(segment.end / step));
    }
}

void BuildSettingsTree(XmlNode& root, const ExportOptions& options, const SceneTiming& timing,
                       std::int32_t hostRelease) {
    root.name = kSettingsRootElement;
    AddAttribute(root, "file-version", kFileVersion);
    AddAttribute(root, "exporter-version", kExporterVersion);
    AddAttribute(root, "max-version", FormatDecimal(hostRelease));
    AddAttribute(root, "current-profile", kProfileName);
    XmlNode& profile = CreateChild(root, kSettingsProfileElement);
    for (std::string_view groupName : SettingGroups()) {
        XmlNode& group = CreateChild(profile, groupName);
        WriteGroupAttributes(options, group);
        if (groupName == kAnimationGroup) WriteSegments(options, group, timing);
    }
}

}  // namespace

void AddSegment(std::vector<AnimSegment>& segments, std::string_view name, std::int32_t start,
                std::int32_t end) {
    AnimSegment segment;
    segment.name = name;
    segment.start = start;
    segment.end = end;
    segments.push_back(std::move(segment));
}

bool ReadSettingsText(ExportOptions& options, std::string_view text, const SceneTiming& timing) {
    XmlNode root;
    XmlParseOptions parseOptions = SettingsParseOptions();
    Parse(root, text, parseOptions);  // a parse that stopped early still gives a usable tree
    if (parseOptions.errorOccurred) return false;

    // A foreign document, or ours without the profile, counts as read with nothing in it.
    if (root.name != kSettingsRootElement) return true;
    const XmlNode* profile = FindChild(root, kSettingsProfileElement);
    if (profile == nullptr) return true;
    ReadProfile(options, *profile, timing);
    return true;
}

std::string BuildSettingsText(const ExportOptions& options, const SceneTiming& timing,
                              std::int32_t hostRelease) {
    XmlNode root;
    BuildSettingsTree(root, options, timing, hostRelease);
    XmlWriteOptions writeOptions = SettingsWriteOptions();
    return Write(root, writeOptions);
}
