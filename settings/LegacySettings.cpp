// The old binary settings file "Tarvo_DXExport.cfg": read only, never written. It is a
// version word followed by the settings in a fixed order, little-endian, without padding;
// each version added items at the end.
#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

#include "settings/Settings.h"
#include "settings/SettingsTable.h"

namespace {

constexpr std::int32_t kNewestLegacyVersion = 9;
constexpr std::int32_t kEndOfFileValue = -1;  // what a read past the end has always given

enum class LegacyItemKind {
    Byte,  // one unsigned byte, 0 to 255
    Word,  // a signed 32-bit integer
};

struct LegacyItem {
    LegacyItemKind kind;
    std::int32_t ExportOptions::*field;
    std::int32_t firstVersion;  // the item is present from this version on
};

// Items of the first layout are present in a file of any version, even a damaged one.
constexpr std::int32_t kEveryVersion = std::numeric_limits<std::int32_t>::min();

constexpr LegacyItem Byte(std::int32_t ExportOptions::*field,
                          std::int32_t firstVersion = kEveryVersion) {
    return {LegacyItemKind::Byte, field, firstVersion};
}
constexpr LegacyItem Word(std::int32_t ExportOptions::*field,
                          std::int32_t firstVersion = kEveryVersion) {
    return {LegacyItemKind::Word, field, firstVersion};
}

// In file order, after the version word at offset 0. A version-9 file is 68 bytes.
constexpr std::array kLegacyItems{
    Byte(&ExportOptions::exportMesh),             // 4
    Byte(&ExportOptions::exportAnimation),        // 5
    Byte(&ExportOptions::exportMaterials),        // 6
    Byte(&ExportOptions::meshAnim),               // 7
    Byte(&ExportOptions::animCameraLight),        // 8
    Byte(&ExportOptions::legacyFlagA),            // 9
    Byte(&ExportOptions::normals),                // 10
    Byte(&ExportOptions::flipNormals),            // 11
    Byte(&ExportOptions::textureCoords),          // 12
    Byte(&ExportOptions::exportGeom),             // 13
    Byte(&ExportOptions::legacyObjectB),          // 14
    Byte(&ExportOptions::legacyObjectC),          // 15
    Byte(&ExportOptions::legacyObjectD),          // 16
    Byte(&ExportOptions::exportHelper),           // 17
    Byte(&ExportOptions::legacyFlagE),            // 18
    Word(&ExportOptions::legacyCount),            // 19
    Word(&ExportOptions::keyFrameStep),           // 23
    Byte(&ExportOptions::vertexColors),           // 27
    Byte(&ExportOptions::legacyByte),             // 28
    Byte(&ExportOptions::texMapConv),             // 29
    Byte(&ExportOptions::inlineMaterials),        // 30
    Byte(&ExportOptions::localObjectSpace),       // 31
    Byte(&ExportOptions::frameSetting, 2),        // 32
    Word(&ExportOptions::xFileType, 2),           // 33
    Word(&ExportOptions::aniComponents, 2),       // 37
    Word(&ExportOptions::textureFormat, 3),       // 41
    Byte(&ExportOptions::aniOptions, 3),          // 45
    Word(&ExportOptions::aniOpenClosed, 3),       // 46
    Word(&ExportOptions::aniPositionQuality, 3),  // 50
    Byte(&ExportOptions::skinning, 4),            // 54
    Byte(&ExportOptions::leftHanded, 4),          // 55
    Byte(&ExportOptions::exportDummy, 4),         // 56
    Byte(&ExportOptions::optMesh, 5),             // 57
    Byte(&ExportOptions::texFullPath, 5),         // 58
    Byte(&ExportOptions::texScale, 5),            // 59
    Word(&ExportOptions::timeLine, 6),            // 60
    Byte(&ExportOptions::overwriteTex, 7),        // 64
    Byte(&ExportOptions::fxFiles, 8),             // 65
    Byte(&ExportOptions::getFxParams, 8),         // 66
    Byte(&ExportOptions::whiteTex, 9),            // 67
};

class LegacyReader {
  public:
    explicit LegacyReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::int32_t ReadByte() {
        if (m_offset >= m_bytes.size()) return kEndOfFileValue;
        return m_bytes[m_offset++];
    }

    // A word cut short by the end of the file reads as the end-of-file value.
    std::int32_t ReadWord() {
        if (m_bytes.size() - std::min(m_offset, m_bytes.size()) < 4) {
            m_offset = m_bytes.size();
            return kEndOfFileValue;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= std::uint32_t{m_bytes[m_offset++]} << (8 * i);
        return static_cast<std::int32_t>(value);
    }

    std::int32_t Read(LegacyItemKind kind) {
        return kind == LegacyItemKind::Byte ? ReadByte() : ReadWord();
    }

  private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_offset = 0;
};

// The settings that are numbers with a range (the file format, the frame setting, the
// optimisation level, the texture format, the sampling rate) index tables and divide
// times downstream, so a value outside the range that the settings text accepts is
// replaced by that key's default, as the text reader does. Flags and the values only this
// file carries are stored as read.
std::int32_t WithinSettingRange(std::int32_t ExportOptions::*field, std::int32_t value) {
    for (const SettingKey& key : SettingsTable()) {
        if (key.field != field || key.form != SettingForm::Number) continue;
        return value >= key.minimum && value <= key.maximum ? value : key.readDefault;
    }
    return value;
}

}  // namespace

bool ReadLegacySettings(ExportOptions& options, std::span<const std::uint8_t> bytes) {
    LegacyReader reader(bytes);
    const std::int32_t version = reader.ReadWord();
    if (version > kNewestLegacyVersion) return false;
    for (const LegacyItem& item : kLegacyItems) {
        if (item.firstVersion > version) break;  // later items are newer still
        options.*item.field = WithinSettingRange(item.field, reader.Read(item.kind));
    }
    return true;
}
