#include "platform/d3dx/XLexer.h"

#include <array>
#include <cstring>
#include <string_view>

#include "platform/d3dx/XNumberText.h"
#include "platform/d3dx/XTemplate.h"

namespace d3dx {
namespace {

constexpr std::size_t kHeaderBytes = 16;
// Longest name or string token accepted; far above anything a sane file holds, and it
// keeps a corrupt length field from claiming the whole file as one token.
constexpr std::size_t kMaxTokenBytes = 1 << 20;

struct KeywordSpelling {
    std::string_view word;
    XTokenKind kind;
};

constexpr KeywordSpelling kKeywords[] = {
    {"template", XTokenKind::Template}, {"WORD", XTokenKind::Word},
    {"DWORD", XTokenKind::Dword},       {"FLOAT", XTokenKind::Float},
    {"DOUBLE", XTokenKind::Double},     {"CHAR", XTokenKind::Char},
    {"UCHAR", XTokenKind::Uchar},       {"SWORD", XTokenKind::Sword},
    {"SDWORD", XTokenKind::Sdword},     {"VOID", XTokenKind::Void},
    {"STRING", XTokenKind::Lpstr},      {"UNICODE", XTokenKind::Unicode},
    {"CSTRING", XTokenKind::Cstring},   {"array", XTokenKind::Array},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ToLowerAscii(a) == ToLowerAscii(b);
}

// Character classes of the text form, looked up once per character of every word.
enum CharClass : std::uint8_t { kWordChar = 0, kSpace = 1, kPunctuation = 2 };

constexpr std::array<std::uint8_t, 256> MakeCharClasses() {
    std::array<std::uint8_t, 256> classes{};
    for (unsigned char c : std::string_view(" \t\r\n", 4)) classes[c] = kSpace;
    classes[0] = kSpace;
    for (unsigned char c : std::string_view("{}[](),;<>\"")) classes[c] = kPunctuation;
    return classes;
}

constexpr std::array<std::uint8_t, 256> kCharClasses = MakeCharClasses();

bool IsSpace(std::uint8_t c) {
    return kCharClasses[c] == kSpace;
}

bool IsPunctuation(std::uint8_t c) {
    return kCharClasses[c] == kPunctuation;
}

bool EndsWord(std::uint8_t c) {
    return kCharClasses[c] != kWordChar;
}

XTokenKind PunctuationKind(std::uint8_t c) {
    switch (c) {
        case '{':
            return XTokenKind::OBrace;
        case '}':
            return XTokenKind::CBrace;
        case '[':
            return XTokenKind::OBracket;
        case ']':
            return XTokenKind::CBracket;
        case '(':
            return XTokenKind::OParen;
        case ')':
            return XTokenKind::CParen;
        case ',':
            return XTokenKind::Comma;
        case ';':
            return XTokenKind::Semicolon;
        case '>':
            return XTokenKind::CAngle;
        default:
            return XTokenKind::End;
    }
}

class TextLexer : public XLexer {
  public:
    explicit TextLexer(std::span<const std::uint8_t> data) : m_data(data), m_pos(kHeaderBytes) {}

    XToken Next() override {
        SkipSpaceAndComments();
        XToken token;
        token.offset = m_pos;
        if (m_pos >= m_data.size()) return token;
        std::uint8_t c = m_data[m_pos];
        if (c == '"') return ReadString(token);
        if (c == '<') return ReadGuidOrAngle(token);
        if (c == '.' && !NextIsDigit()) {
            ++m_pos;
            token.kind = XTokenKind::Dot;
            return token;
        }
        if (IsPunctuation(c)) {
            ++m_pos;
            token.kind = PunctuationKind(c);
            return token;
        }
        return ReadWord(token);
    }

  private:
    bool NextIsDigit() const {
        return m_pos + 1 < m_data.size() && m_data[m_pos + 1] >= '0' && m_data[m_pos + 1] <= '9';
    }

    bool AtCommentStart() const {
        if (m_data[m_pos] == '#') return true;
        return m_data[m_pos] == '/' && m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '/';
    }

    void SkipSpaceAndComments() {
        while (m_pos < m_data.size()) {
            if (IsSpace(m_data[m_pos])) {
                ++m_pos;
            } else if (AtCommentStart()) {
                while (m_pos < m_data.size() && m_data[m_pos] != '\n') ++m_pos;
            } else {
                return;
            }
        }
    }

    XToken& ReadString(XToken& token) {
        std::size_t start = m_pos + 1;
        std::size_t end = start;
        while (end < m_data.size() && m_data[end] != '"') ++end;
        if (end >= m_data.size()) {
            throw XParseError(D3DXFERR_PARSEERROR, token.offset, "string without closing quote");
        }
        if (end - start > kMaxTokenBytes) {
            throw XParseError(D3DXFERR_PARSEERROR, token.offset, "string too long");
        }
        token.kind = XTokenKind::String;
        token.text.assign(reinterpret_cast<const char*>(m_data.data()) + start, end - start);
        m_pos = end + 1;
        return token;
    }

    XToken& ReadGuidOrAngle(XToken& token) {
        std::size_t close = m_pos + 1;
        while (close < m_data.size() && close - m_pos <= 40 && m_data[close] != '>') ++close;
        if (close < m_data.size() && m_data[close] == '>') {
            std::string_view inside(reinterpret_cast<const char*>(m_data.data()) + m_pos + 1,
                                    close - m_pos - 1);
            // Tolerate the spaces that some documents print inside the brackets.
            while (!inside.empty() && IsSpace(static_cast<std::uint8_t>(inside.front())))
                inside.remove_prefix(1);
            while (!inside.empty() && IsSpace(static_cast<std::uint8_t>(inside.back())))
                inside.remove_suffix(1);
            if (auto guid = ParseGuid(inside)) {
                token.kind = XTokenKind::Guid;
                token.guid = *guid;
                m_pos = close + 1;
                return token;
            }
        }
        ++m_pos;
        token.kind = XTokenKind::OAngle;
        return token;
    }

    XToken& ReadWord(XToken& token) {
        std::size_t end = m_pos;
        while (end < m_data.size() && !EndsWord(m_data[end])) ++end;
        std::string_view word(reinterpret_cast<const char*>(m_data.data()) + m_pos, end - m_pos);
        if (word.size() > kMaxTokenBytes) {
            throw XParseError(D3DXFERR_PARSEERROR, token.offset, "name too long");
        }
        m_pos = end;
        token.text.assign(word);
        if (ParseNumberWord(word, token)) return token;
        XTokenKind keyword = KeywordOf(word);
        token.kind = keyword == XTokenKind::End ? XTokenKind::Name : keyword;
        return token;
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos;
};

class BinaryLexer : public XLexer {
  public:
    BinaryLexer(std::span<const std::uint8_t> data, int floatBytes)
        : m_data(data), m_pos(kHeaderBytes), m_floatBytes(static_cast<std::size_t>(floatBytes)) {}

    XToken Next() override {
        XToken token;
        m_lastWasElement = false;
        // Empty lists carry no value: step over them.
        while (m_listRemaining == 0 && StartsEmptyList()) m_pos += 6;
        token.offset = m_pos;
        if (m_listRemaining > 0) return NextListElement(token);
        if (m_pos >= m_data.size()) return token;
        auto id = static_cast<XTokenKind>(ReadWord());
        switch (id) {
            case XTokenKind::Name:
            case XTokenKind::String:
                return ReadCountedText(token, id);
            case XTokenKind::Integer:
                token.kind = XTokenKind::Integer;
                token.integer = ReadDword();
                return token;
            case XTokenKind::Guid:
                return ReadGuid(token);
            case XTokenKind::IntegerList:
            case XTokenKind::FloatList:
                return StartList(token, id);
            default:
                break;
        }
        if (!IsKnownPlainToken(id)) {
            Fail(token.offset, "unknown token " + std::to_string(static_cast<unsigned>(id)));
        }
        token.kind = id;
        return token;
    }

    std::span<const std::uint8_t> ListFromLast(bool floats) const override {
        if (!m_lastWasElement || m_listIsFloat != floats) return {};
        if (floats && m_floatBytes != kListValueBytes) return {};
        return m_data.subspan(m_lastElementAt, (m_listRemaining + 1) * kListValueBytes);
    }

    void SkipListElements(std::size_t count) override {
        m_pos += count * kListValueBytes;
        m_listRemaining -= static_cast<std::uint32_t>(count);
        m_lastWasElement = false;
    }

  private:
    static constexpr std::size_t kListValueBytes = 4;

    [[noreturn]] void Fail(std::size_t offset, const std::string& what) const {
        throw XParseError(D3DXFERR_PARSEERROR, offset, what);
    }

    void Need(std::size_t bytes, const char* what) const {
        if (m_data.size() - m_pos < bytes) Fail(m_pos, std::string("truncated ") + what);
    }

    std::uint16_t ReadWord() {
        Need(2, "token");
        std::uint16_t value = static_cast<std::uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return value;
    }

    std::uint32_t ReadDword() {
        Need(4, "value");
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | m_data[m_pos + static_cast<std::size_t>(i)];
        m_pos += 4;
        return value;
    }

    bool StartsEmptyList() const {
        if (m_data.size() - m_pos < 6) return false;
        unsigned id = m_data[m_pos] | (m_data[m_pos + 1] << 8);
        bool isList = id == static_cast<unsigned>(XTokenKind::IntegerList) ||
                      id == static_cast<unsigned>(XTokenKind::FloatList);
        return isList &&
               (m_data[m_pos + 2] | m_data[m_pos + 3] | m_data[m_pos + 4] | m_data[m_pos + 5]) == 0;
    }

    static bool IsKnownPlainToken(XTokenKind id) {
        auto value = static_cast<unsigned>(id);
        return (value >= 10 && value <= 20) || value == 31 || (value >= 40 && value <= 52);
    }

    XToken& ReadCountedText(XToken& token, XTokenKind id) {
        std::uint32_t count = ReadDword();
        if (count > kMaxTokenBytes) Fail(token.offset, "name or string too long");
        Need(count, id == XTokenKind::Name ? "name" : "string");
        token.kind = id;
        token.text.assign(reinterpret_cast<const char*>(m_data.data()) + m_pos, count);
        m_pos += count;
        return token;
    }

    XToken& ReadGuid(XToken& token) {
        Need(16, "GUID");
        token.kind = XTokenKind::Guid;
        token.guid = GuidFromBytes(m_data.data() + m_pos);
        m_pos += 16;
        return token;
    }

    XToken& StartList(XToken& token, XTokenKind id) {
        std::uint32_t count = ReadDword();
        std::size_t elementBytes = id == XTokenKind::IntegerList ? 4 : m_floatBytes;
        // The whole list must be in the file: a corrupt count cannot make us wait for data.
        if (count > (m_data.size() - m_pos) / elementBytes) Fail(token.offset, "truncated list");
        if (count == 0) Fail(token.offset, "empty list");  // stepped over before
        m_listIsFloat = id == XTokenKind::FloatList;
        m_listRemaining = count;
        return NextListElement(token);
    }

    XToken& NextListElement(XToken& token) {
        token.offset = m_pos;
        m_lastElementAt = m_pos;
        m_lastWasElement = true;
        --m_listRemaining;
        if (!m_listIsFloat) {
            token.kind = XTokenKind::Integer;
            token.integer = ReadDword();
            return token;
        }
        token.kind = XTokenKind::FloatValue;
        if (m_floatBytes == 4) {
            std::uint32_t bits = ReadDword();
            std::memcpy(&token.floatValue, &bits, 4);
            token.doubleValue = token.floatValue;
        } else {
            std::uint64_t low = ReadDword();
            std::uint64_t bits = low | (static_cast<std::uint64_t>(ReadDword()) << 32);
            std::memcpy(&token.doubleValue, &bits, 8);
            token.floatValue = NarrowToFloat(token.doubleValue);
        }
        return token;
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos;
    std::size_t m_floatBytes;
    std::uint32_t m_listRemaining = 0;
    bool m_listIsFloat = false;
    // Where the last token handed out lies when it is a list element.
    bool m_lastWasElement = false;
    std::size_t m_lastElementAt = 0;
};

}  // namespace

XTokenKind KeywordOf(std::string_view word) {
    for (const auto& keyword : kKeywords) {
        if (EqualsIgnoringCase(word, keyword.word)) return keyword.kind;
    }
    return XTokenKind::End;
}

std::unique_ptr<XLexer> MakeTextLexer(std::span<const std::uint8_t> data) {
    return std::make_unique<TextLexer>(data);
}

std::unique_ptr<XLexer> MakeBinaryLexer(std::span<const std::uint8_t> data, int floatBytes) {
    return std::make_unique<BinaryLexer>(data, floatBytes);
}

const char* TokenKindName(XTokenKind kind) {
    switch (kind) {
        case XTokenKind::End:
            return "end of data";
        case XTokenKind::Name:
            return "name";
        case XTokenKind::String:
            return "string";
        case XTokenKind::Integer:
            return "integer";
        case XTokenKind::Guid:
            return "GUID";
        case XTokenKind::IntegerList:
            return "integer list";
        case XTokenKind::FloatList:
            return "float list";
        case XTokenKind::OBrace:
            return "'{'";
        case XTokenKind::CBrace:
            return "'}'";
        case XTokenKind::OParen:
            return "'('";
        case XTokenKind::CParen:
            return "')'";
        case XTokenKind::OBracket:
            return "'['";
        case XTokenKind::CBracket:
            return "']'";
        case XTokenKind::OAngle:
            return "'<'";
        case XTokenKind::CAngle:
            return "'>'";
        case XTokenKind::Dot:
            return "'.'";
        case XTokenKind::Comma:
            return "','";
        case XTokenKind::Semicolon:
            return "';'";
        case XTokenKind::Template:
            return "'template'";
        case XTokenKind::FloatValue:
            return "float";
        default:
            return "keyword";
    }
}

bool IsKeyword(XTokenKind kind) {
    auto value = static_cast<unsigned>(kind);
    return kind == XTokenKind::Template || (value >= 40 && value <= 52);
}

bool IsSeparator(XTokenKind kind) {
    return kind == XTokenKind::Comma || kind == XTokenKind::Semicolon;
}

}  // namespace d3dx
