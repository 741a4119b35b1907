// Tokens of the .X format. The numbers are the WORD token ids of the binary form; text is
// lexed into the same tokens, and binary number lists are handed out one value at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/win/Guid.h"
#include "platform/win/HResult.h"

namespace d3dx {

enum class XTokenKind : std::uint16_t {
    End = 0,
    Name = 1,
    String = 2,
    Integer = 3,
    Guid = 5,
    IntegerList = 6,
    FloatList = 7,
    OBrace = 10,
    CBrace = 11,
    OParen = 12,
    CParen = 13,
    OBracket = 14,
    CBracket = 15,
    OAngle = 16,
    CAngle = 17,
    Dot = 18,
    Comma = 19,
    Semicolon = 20,
    Template = 31,
    Word = 40,
    Dword = 41,
    Float = 42,
    Double = 43,
    Char = 44,
    Uchar = 45,
    Sword = 46,
    Sdword = 47,
    Void = 48,
    Lpstr = 49,
    Unicode = 50,
    Cstring = 51,
    Array = 52,
    // Not a binary token id: one number that has a fraction, a sign or an exponent in text,
    // or one element of a binary FLOAT_LIST.
    FloatValue = 0x100,
};

struct XToken {
    XTokenKind kind = XTokenKind::End;
    std::size_t offset = 0;     // byte offset of the token in the (uncompressed) data
    std::string text;           // Name, String, keyword spelling
    GUID guid;                  // Guid
    std::uint64_t integer = 0;  // Integer (text values may exceed 32 bits: checked on use)
    float floatValue = 0;       // FloatValue as the nearest float
    double doubleValue = 0;     // FloatValue as the nearest double
    // A text Integer's value as a number, exact past 64 bits, for FLOAT and DOUBLE members:
    // then floatValue and doubleValue hold it too.
    bool integerHasReal = false;
};

const char* TokenKindName(XTokenKind kind);
bool IsKeyword(XTokenKind kind);
bool IsSeparator(XTokenKind kind);

// A malformed file: a D3DXFERR_ code, the byte offset and what is wrong.
struct XParseError : std::runtime_error {
    XParseError(HRESULT code, std::size_t offset, const std::string& what)
        : std::runtime_error(what), code(code), offset(offset) {}
    HRESULT code;
    std::size_t offset;
};

}  // namespace d3dx
