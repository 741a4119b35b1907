// The settings text: the record to an element tree and back, driven by the settings
// table.
#include <algorithm>
#include <optional>
#include <string>

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

// ---- saying why a text was not read ----

// Names quoted in a reason are cut to this many bytes, so that a damaged file cannot turn
// one warning into pages.
constexpr std::size_t kShownNameBytes = 40;

bool IsCharacterStart(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;  // not a UTF-8 continuation byte
}

// A name from the text as it may appear in one line: control characters (a name may hold a
// line break) become "?", and a long name is cut at a character boundary.
std::string ShownName(std::string_view name) {
    std::string shown;
    std::size_t end = name.size();
    if (end > kShownNameBytes) {
        end = kShownNameBytes;
        while (end > 0 && !IsCharacterStart(name[end])) --end;
    }
    for (char c : name.substr(0, end)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    if (end < name.size()) shown += "...";
    return shown;
}

// Appended rather than "<" + ShownName(name) + ">": GCC 12 at -O3 takes that concatenation's
// inlined memcpy for an overlapping one (a false -Wrestrict).
std::string Element(std::string_view name) {
    std::string text = "<";
    text += ShownName(name);
    text += '>';
    return text;
}

std::string ParseErrorReason(const XmlParseOptions& parse) {
    const std::string open = Element(parse.errorElement);
    switch (parse.errorCode) {
        case XmlError::ElementNotClosed:
            return "the \"/\" in the start tag of " + open + " is not followed by \">\"";
        case XmlError::EndTagNotClosed:
            return "the end tag that should close " + open + " has no \">\"";
        case XmlError::EndTagMismatch:
            return "the end tag </" + ShownName(parse.errorEndTag) + "> does not close " + open;
        case XmlError::AttributeNameNotEnded:
            return "an attribute name in " + open + " is followed by neither \"=\" nor a space";
        case XmlError::NestedTooDeeply:
            return "elements are nested more than " + std::to_string(kXmlMaxDepth) + " deep";
        case XmlError::None:
            break;
    }
    return "it is not well-formed";
}

std::string ForeignRootReason(std::string_view rootName) {
    if (rootName.empty()) return "it holds no " + Element(kSettingsRootElement) + " element";
    return "its root element is " + Element(rootName) + ", not " + Element(kSettingsRootElement);
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

TextPosition PositionInText(std::string_view text, std::size_t offset) {
    const std::string_view before = text.substr(0, std::min(offset, text.size()));
    const std::size_t lastBreak = before.rfind('\n');
    const std::string_view lineStart =
        lastBreak == std::string_view::npos ? before : before.substr(lastBreak + 1);
    TextPosition position;
    position.line += static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    position.column += static_cast<std::size_t>(
        std::count_if(lineStart.begin(), lineStart.end(), IsCharacterStart));
    return position;
}

SettingsTextResult ReadSettingsTextWithReason(ExportOptions& options, std::string_view text,
                                              const SceneTiming& timing) {
    XmlNode root;
    XmlParseOptions parseOptions = SettingsParseOptions();
    Parse(root, text, parseOptions);  // a parse that stopped early still gives a usable tree
    if (parseOptions.errorOccurred) {
        return {SettingsTextOutcome::Refused, PositionInText(text, parseOptions.errorPosition),
                ParseErrorReason(parseOptions)};
    }

    // A foreign document, or ours without the profile, is read with nothing in it.
    if (root.name != kSettingsRootElement) {
        return {SettingsTextOutcome::NoSettings, std::nullopt, ForeignRootReason(root.name)};
    }
    const XmlNode* profile = FindChild(root, kSettingsProfileElement);
    if (profile == nullptr) {
        return {SettingsTextOutcome::NoSettings, std::nullopt,
                Element(kSettingsRootElement) + " holds no " + Element(kSettingsProfileElement) +
                    " profile"};
    }
    ReadProfile(options, *profile, timing);
    return {};
}

bool ReadSettingsText(ExportOptions& options, std::string_view text, const SceneTiming& timing) {
    return ReadSettingsTextWithReason(options, text, timing).outcome !=
           SettingsTextOutcome::Refused;
}

std::string BuildSettingsText(const ExportOptions& options, const SceneTiming& timing,
                              std::int32_t hostRelease) {
    XmlNode root;
    BuildSettingsTree(root, options, timing, hostRelease);
    XmlWriteOptions writeOptions = SettingsWriteOptions();
    return Write(root, writeOptions);
}
