// GUID as Windows lays it out, with parsing and formatting of the registry form
// "3D82AB43-62DA-11CF-AB39-0020AF71E433".
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win/WinTypes.h"

struct GUID {
    DWORD Data1 = 0;
    WORD Data2 = 0;
    WORD Data3 = 0;
    std::array<BYTE, 8> Data4{};

    friend bool operator==(const GUID&, const GUID&) = default;
};
using REFGUID = const GUID&;
using IID = GUID;
using REFIID = const GUID&;

constexpr GUID GUID_NULL{};

// Reads "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", optionally inside "{}" or "<>"; hex digits
// in either case. Anything else gives no value.
std::optional<GUID> ParseGuid(std::string_view text);

// Upper-case registry form without brackets.
std::string FormatGuid(const GUID& guid);

// The 16 bytes of the binary .X form: Data1, Data2, Data3 little-endian, then Data4.
std::array<BYTE, 16> GuidToBytes(const GUID& guid);
GUID GuidFromBytes(const BYTE* bytes);
