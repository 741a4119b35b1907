// The one table of the settings text: for every setting its group element, attribute,
// field, form, accepted range and the value used when the attribute is missing or
// unreadable. Loading, saving and the read defaults all come from it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "plugin/ExportOptions.h"

enum class SettingForm {
    Flag,    // written "on"/"off"; read as a flag word or 0/1
    Number,  // written and read as signed decimal, accepted within [minimum, maximum]
};

struct SettingKey {
    std::string_view group;      // element under the profile element
    std::string_view attribute;  // attribute of that element
    std::int32_t ExportOptions::*field;
    SettingForm form;
    std::int32_t minimum;  // Number only
    std::int32_t maximum;  // Number only
    std::int32_t readDefault;
};

// Every key, grouped, in the order in which groups and attributes are written.
std::span<const SettingKey> SettingsTable();

// The group elements in the order written.
std::span<const std::string_view> SettingGroups();

// The names of the document around the groups.
inline constexpr std::string_view kSettingsRootElement = "velmark-dx-export";
inline constexpr std::string_view kSettingsProfileElement = "default";
inline constexpr std::string_view kAnimationGroup = "animation-settings";
inline constexpr std::string_view kSegmentsElement = "segments";
inline constexpr std::string_view kSegmentElement = "segment";
