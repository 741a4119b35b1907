#include <array>
#include <cctype>
#include <string>
#include <string_view>

#include "xfile/XFile.h"

namespace {

// The bytes every reader's text parser takes in a name.
bool IsNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// Words that text readers take as keywords, whatever their case, wherever a name may stand.
bool IsKeyword(std::string_view name) {
    static constexpr std::array<std::string_view, 14> kKeywords = {
        "template", "WORD",   "DWORD", "FLOAT",  "DOUBLE",  "CHAR",    "UCHAR",
        "SWORD",    "SDWORD", "VOID",  "STRING", "UNICODE", "CSTRING", "ARRAY"};
    for (std::string_view keyword : kKeywords) {
        if (keyword.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(name[i])) ==
                   std::toupper(static_cast<unsigned char>(keyword[i]));
        if (same) return true;
    }
    return false;
}

}  // namespace

void MakeLegalName(std::string& text) {
    for (char& c : text)
        if (!IsNameByte(c)) c = '_';
    // A leading digit or '-' reads as the start of a number; a keyword as a keyword.
    bool startsLikeNumber = !text.empty() && ((text[0] >= '0' && text[0] <= '9') || text[0] == '-');
    if (startsLikeNumber || IsKeyword(text)) text.insert(text.begin(), '_');
}

const char* MakeNodeName(const char* name, const char* prefix) {
    // Grows to fit: a name of any length is kept whole.
    static std::string buffer;
    buffer.clear();
    if (prefix != nullptr) {
        buffer += prefix;
        buffer += '-';
    }
    if (name != nullptr) buffer += name;
    MakeLegalName(buffer);
    return buffer.c_str();
}

void UniqueNames::Reserve(const std::string& ruleName) {
    m_reserved.insert(ruleName);
}

const std::string& UniqueNames::NameOf(const void* object, const std::string& ruleName) {
    if (auto given = m_given.find(object); given != m_given.end()) return given->second;
    std::string name = ruleName;
    if (!name.empty() && m_taken.count(name) != 0) {
        for (int suffix = 2;; ++suffix) {
            name = ruleName + "_" + std::to_string(suffix);
            if (m_taken.count(name) == 0 && m_reserved.count(name) == 0) break;
        }
    }
    if (!name.empty()) m_taken.insert(name);
    return m_given.emplace(object, std::move(name)).first->second;
}
