// The settings text kept in the scene as the user-defined file property
// "TarvoDXExportSettings", so that it travels with the scene file.
#include <string>

#include "platform/max/Interface.h"
#include "platform/max/StringConversions.h"
#include "settings/Settings.h"

namespace {

constexpr const wchar_t* kPropertyName = L"TarvoDXExportSettings";
constexpr std::string_view kPropertyNameNarrow = "TarvoDXExportSettings";

// The host copies what it needs from the records, so they may point into locals.
PROPSPEC NameRecord(std::wstring& name) {
    PROPSPEC nameRecord;
    nameRecord.ulKind = PRSPEC_LPWSTR;
    nameRecord.lpwstr = name.data();
    return nameRecord;
}

// The settings text of the property at index, or null when it is not ours. A property
// of our name whose value is not a text (only something else could have added one) is
// passed over rather than read as one.
const char* SettingsTextAt(Interface& host, int index) {
    const PROPSPEC* nameRecord = host.GetPropertySpec(PROPSET_USERDEFINED, index);
    if (nameRecord == nullptr || nameRecord->ulKind != PRSPEC_LPWSTR ||
        nameRecord->lpwstr == nullptr) {
        return nullptr;
    }
    const PROPVARIANT* value = host.GetPropertyVariant(PROPSET_USERDEFINED, index);
    if (tarvo::host::NarrowUtf8(nameRecord->lpwstr) != kPropertyNameNarrow) return nullptr;
    if (value == nullptr || value->vt != VT_LPSTR) return nullptr;
    return value->pszVal;
}

}  // namespace

void StoreSceneSettings(Interface& host, const ExportOptions& options, const std::string& text) {
    std::wstring name = kPropertyName;
    const PROPSPEC nameRecord = NameRecord(name);
    host.DeleteProperty(PROPSET_USERDEFINED, &nameRecord);
    if (options.saveSettingsInScene == 0) return;

    std::string value = text;
    PROPVARIANT variant;
    variant.vt = VT_LPSTR;
    variant.pszVal = value.data();
    host.AddProperty(PROPSET_USERDEFINED, &nameRecord, &variant);
}

bool ReadSceneSettings(ExportOptions& options, Interface& host) {
    const int count = host.GetNumProperties(PROPSET_USERDEFINED);
    for (int index = 0; index < count; ++index) {
        const char* text = SettingsTextAt(host, index);
        if (text == nullptr) continue;
        // A text that does not parse is passed over; the next one, or the file, may do.
        if (ReadSettingsText(options, host, text)) return true;
    }
    return false;
}
