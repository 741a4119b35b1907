#include <gtest/gtest.h>

#include "platform/win/Guid.h"

namespace {

TEST(Guid, ParsesAllBracketFormsAndFormatsUpperCase) {
    const char* forms[] = {"3d82ab43-62da-11cf-ab39-0020af71e433",
                           "{3D82AB43-62DA-11CF-AB39-0020AF71E433}",
                           "<3D82AB43-62da-11CF-AB39-0020AF71E433>"};
    for (const char* text : forms) {
        auto guid = ParseGuid(text);
        ASSERT_TRUE(guid.has_value()) << text;
        EXPECT_EQ(guid->Data1, 0x3D82AB43u);
        EXPECT_EQ(guid->Data2, 0x62DAu);
        EXPECT_EQ(guid->Data3, 0x11CFu);
        EXPECT_EQ(guid->Data4[0], 0xAB);
        EXPECT_EQ(guid->Data4[7], 0x33);
        EXPECT_EQ(FormatGuid(*guid), "3D82AB43-62DA-11CF-AB39-0020AF71E433");
    }
}

TEST(Guid, RejectsMalformedText) {
    const char* bad[] = {"",
                         "3D82AB43-62DA-11CF-AB39-0020AF71E43",     // short
                         "3D82AB43-62DA-11CF-AB39-0020AF71E4333",   // long
                         "3D82AB43+62DA-11CF-AB39-0020AF71E433",    // wrong dash
                         "3D82AB4G-62DA-11CF-AB39-0020AF71E433",    // not hex
                         "{3D82AB43-62DA-11CF-AB39-0020AF71E433>",  // mixed brackets
                         "< 3D82AB43-62DA-11CF-AB39-0020AF71E433 >"};
    for (const char* text : bad) EXPECT_FALSE(ParseGuid(text).has_value()) << text;
}

TEST(Guid, BinaryFormIsLittleEndianFieldsThenData4) {
    auto guid = *ParseGuid("3D82AB43-62DA-11CF-AB39-0020AF71E433");
    auto bytes = GuidToBytes(guid);
    const BYTE expected[16] = {0x43, 0xab, 0x82, 0x3d, 0xda, 0x62, 0xcf, 0x11,
                               0xab, 0x39, 0x00, 0x20, 0xaf, 0x71, 0xe4, 0x33};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;
    EXPECT_EQ(GuidFromBytes(bytes.data()), guid);
}

}  // namespace
