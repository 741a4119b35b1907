// The scene's file properties as the host hands them out: the structured-storage records
// for a property's name and value, and the numbers of the property sets.
#pragma once

#include "platform/win/WinTypes.h"

constexpr int PROPSET_SUMMARYINFO = 0x00;
constexpr int PROPSET_DOCSUMMARYINFO = 0x01;
constexpr int PROPSET_USERDEFINED = 0x04;

using PROPID = ULONG;
using VARTYPE = unsigned short;
using LPWSTR = wchar_t*;

constexpr ULONG PRSPEC_LPWSTR = 0;
constexpr ULONG PRSPEC_PROPID = 1;

// A property's name record: a wide-character name or a number.
struct PROPSPEC {
    ULONG ulKind = PRSPEC_LPWSTR;
    union {
        PROPID propid;
        LPWSTR lpwstr;
    };
    PROPSPEC() : lpwstr(nullptr) {}
};

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_LPSTR = 30;

// A property's value record: a narrow string (VT_LPSTR) or a 32-bit integer (VT_I4).
struct PROPVARIANT {
    VARTYPE vt = VT_EMPTY;
    union {
        LONG lVal;
        LPSTR pszVal;
    };
    PROPVARIANT() : pszVal(nullptr) {}
};
