#include "host/scene/SceneSkeleton.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>

#include "host/scene/SceneFileReaders.h"

namespace tarvo::scenefile::stream {
namespace {

using json = nlohmann::json;
using namespace tarvo::scene;

// Thrown wherever the pass stops trusting itself; caught once, in ScanScene.
struct Doubt {};

[[noreturn]] void GiveUp() {
    throw Doubt{};
}

// The byte order mark a UTF-8 file may start with; the document reader skips it there only.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The largest magnitude of a negative whole number that still fits a signed 64-bit number;
// the document reader reads anything beyond it as a floating-point number.
constexpr std::uint64_t kMostNegativeMagnitude =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The characters a JSON value can start with. Anything else in front of a value is left to
// the document reader, which alone knows where it accepts a byte order mark.
bool StartsValue(char c) {
    return c == '{' || c == '[' || c == '"' || c == '-' || IsDigit(c) || c == 't' || c == 'f' ||
           c == 'n';
}

// The bytes that may follow a number, literal or string: the end of a member or element.
bool EndsScalar(char c) {
    return IsSpace(c) || c == ',' || c == '}' || c == ']';
}

// A number's text, checked against the JSON grammar, and whether the document reader holds
// it as a whole number (no fraction, no exponent).
struct NumberText {
    const char* begin;
    const char* end;
    bool negative;
    bool whole;
    // The integer part's digits as a number, while they are few enough to fit for sure.
    std::uint64_t leadingDigits;
    bool leadingDigitsFit;
};

// Up to this many decimal digits always fit an unsigned 64-bit number.
constexpr int kDigitsThatAlwaysFit = 19;

// Reads tokens from the text. Every step either moves on over well-formed JSON or gives up.
class Cursor {
  public:
    // The text's terminating zero stands after its end: the scans of white space, digits and
    // number parts stop at it without a test for the end of their own.
    explicit Cursor(const std::string& text)
        : m_at(text.c_str()), m_end(text.c_str() + text.size()) {
        if (text.starts_with(kByteOrderMark)) m_at += kByteOrderMark.size();
    }

    bool AtEnd() {
        SkipSpace();
        return m_at == m_end;
    }

    // The next byte that is not white space; the terminating zero at the end of the text.
    char Peek() {
        SkipSpace();
        return *m_at;
    }

    void Expect(char c) {
        if (Peek() != c) GiveUp();
        ++m_at;
    }

    bool Take(char c) {
        if (Peek() != c) return false;
        ++m_at;
        return true;
    }

    // After a member or an element: true when a comma announces another, false when the
    // closing bracket ends the list.
    bool Another(char close) {
        char c = Peek();
        ++m_at;
        if (c == ',') return true;
        if (c != close) GiveUp();
        return false;
    }

    // A member's key and the colon after it. Plain ASCII keys are taken as they stand; a key
    // with escapes or other bytes is decoded by the document reader's own rules.
    std::string_view Key();

    // The text of one whole value, for the document reader to parse and so to check.
    std::string_view RawValue();

    NumberText Number();

  private:
    void SkipSpace() {
        while (IsSpace(*m_at)) ++m_at;
    }
    void SkipString();
    void SkipDigits() {
        while (IsDigit(*m_at)) ++m_at;
    }
    void NeedDigits() {
        if (!IsDigit(*m_at)) GiveUp();
        SkipDigits();
    }

    const char* m_at;
    const char* m_end;
    std::string m_decodedKey;
};

std::string_view Cursor::Key() {
    Expect('"');
    const char* begin = m_at;
    bool plain = true;
    while (m_at != m_end && *m_at != '"') {
        auto byte = static_cast<unsigned char>(*m_at);
        if (byte == '\\' || byte < 0x20 || byte >= 0x80) {
            plain = false;
            break;
        }
        ++m_at;
    }
    std::string_view key;
    if (plain) {
        if (m_at == m_end) GiveUp();
        key = std::string_view(begin, static_cast<std::size_t>(m_at - begin));
        ++m_at;
    } else {
        m_at = begin - 1;
        SkipString();
        json decoded = json::parse(begin - 1, m_at);
        m_decodedKey = decoded.get<std::string>();
        key = m_decodedKey;
    }
    Expect(':');
    return key;
}

// Steps over a string without judging its contents: the caller has it parsed.
void Cursor::SkipString() {
    ++m_at;  // the opening quote
    while (m_at != m_end && *m_at != '"') m_at += *m_at == '\\' && m_at + 1 != m_end ? 2 : 1;
    if (m_at == m_end) GiveUp();
    ++m_at;
}

// Brackets are only counted here, not matched: the document reader refuses a value whose
// brackets do not pair. Counting with a number, not a stack, keeps any depth cheap.
std::string_view Cursor::RawValue() {
    if (!StartsValue(Peek())) GiveUp();
    const char* begin = m_at;
    if (*m_at == '"') {
        SkipString();
    } else if (*m_at == '{' || *m_at == '[') {
        std::size_t depth = 0;
        do {
            if (m_at == m_end) GiveUp();
            char c = *m_at;
            if (c == '"') {
                SkipString();
                continue;
            }
            ++m_at;
            if (c == '{' || c == '[') ++depth;
            if (c == '}' || c == ']') --depth;
        } while (depth > 0);
    } else {
        while (m_at != m_end && !EndsScalar(*m_at)) ++m_at;
    }
    return std::string_view(begin, static_cast<std::size_t>(m_at - begin));
}

NumberText Cursor::Number() {
    SkipSpace();
    NumberText number{m_at, m_at, false, true, 0, true};
    if (*m_at == '-') number.negative = true, ++m_at;
    if (*m_at == '0') {
        ++m_at;
    } else {
        if (!IsDigit(*m_at)) GiveUp();
        int digits = 0;
        for (; IsDigit(*m_at); ++m_at, ++digits)
            number.leadingDigits = number.leadingDigits * 10 + static_cast<unsigned>(*m_at - '0');
        number.leadingDigitsFit = digits <= kDigitsThatAlwaysFit;
    }
    if (*m_at == '.') {
        ++m_at;
        NeedDigits();
        number.whole = false;
    }
    if (*m_at == 'e' || *m_at == 'E') {
        ++m_at;
        if (*m_at == '+' || *m_at == '-') ++m_at;
        NeedDigits();
        number.whole = false;
    }
    if (!EndsScalar(*m_at)) GiveUp();
    number.end = m_at;
    return number;
}

// The digits of a whole number as an unsigned magnitude; gives up beyond 64 bits, where the
// document reader would hold a floating-point number instead.
std::uint64_t Magnitude(const NumberText& number) {
    if (number.leadingDigitsFit) return number.leadingDigits;
    const char* digits = number.begin + (number.negative ? 1 : 0);
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(digits, number.end, value);
    if (error != std::errc() || end != number.end) GiveUp();
    return value;
}

// A whole number within [low, high], as the document reader's Integer() takes it.
std::int64_t WholeNumber(const NumberText& number, std::int64_t low, std::int64_t high) {
    if (!number.whole) GiveUp();
    std::uint64_t magnitude = Magnitude(number);
    std::int64_t value = 0;
    if (number.negative) {
        if (magnitude > kMostNegativeMagnitude) GiveUp();
        value = magnitude == kMostNegativeMagnitude ? std::numeric_limits<std::int64_t>::min()
                                                    : -static_cast<std::int64_t>(magnitude);
    } else {
        if (magnitude > static_cast<std::uint64_t>(high)) GiveUp();
        value = static_cast<std::int64_t>(magnitude);
    }
    if (value < low || value > high) GiveUp();
    return value;
}

// The number as the document reader's value gives it as a double: a whole number is held
// as a 64-bit integer first (so "-0" is plain zero), anything else is read as a double.
double AsDouble(const NumberText& number) {
    if (number.whole) {
        std::uint64_t magnitude = Magnitude(number);
        if (!number.negative) return static_cast<double>(magnitude);
        if (magnitude > kMostNegativeMagnitude) GiveUp();
        return static_cast<double>(WholeNumber(number, std::numeric_limits<std::int64_t>::min(),
                                               std::numeric_limits<std::int64_t>::max()));
    }
    double value = 0.0;
    auto [end, error] = std::from_chars(number.begin, number.end, value);
    if (error != std::errc() || end != number.end) GiveUp();
    return value;
}

// A 32-bit float as the document reader's Float() makes it.
float ToFloat(const NumberText& number) {
    double value = AsDouble(number);
    if (!std::isfinite(value) || std::abs(value) > std::numeric_limits<float>::max()) GiveUp();
    return static_cast<float>(value);
}

// The members a mesh-part object may have, as bits, so that a repeated one is noticed.
constexpr unsigned kVertices = 1u << 0;
constexpr unsigned kFaces = 1u << 1;
constexpr unsigned kMaps = 1u << 2;
constexpr unsigned kNormals = 1u << 3;
constexpr unsigned kChannel = 1u << 4;
constexpr unsigned kCorners = 1u << 5;
constexpr unsigned kSmoothing = 1u << 6;
constexpr unsigned kMaterialId = 1u << 7;
constexpr unsigned kUnknownMember = 0;

// Reads the scene: walks the top level, the node tree and the meshes, and hands every other
// value to the document reader whole.
class Scanner {
  public:
    explicit Scanner(const std::string& text) : m_in(text) {}

    SceneSkeleton Scan();

  private:
    json Parsed(std::string_view text) const { return json::parse(text.begin(), text.end()); }
    json ScanNodes();
    std::size_t ScanMesh();

    // Reads "[item, item, ...]", calling readItem at the start of each item.
    template <typename ReadItem>
    void ScanList(ReadItem readItem) {
        m_in.Expect('[');
        if (m_in.Take(']')) return;
        do readItem();
        while (m_in.Another(']'));
    }

    // Reads "{"key": value, ...}", calling readMember with the key's bit, once per key.
    template <typename WhichMember, typename ReadMember>
    unsigned ScanObject(WhichMember which, ReadMember readMember) {
        unsigned seen = 0;
        m_in.Expect('{');
        if (m_in.Take('}')) return seen;
        do {
            unsigned member = which(m_in.Key());
            if (member == kUnknownMember || (seen & member)) GiveUp();
            seen |= member;
            readMember(member);
        } while (m_in.Another('}'));
        return seen;
    }

    float Float() { return ToFloat(m_in.Number()); }
    std::uint32_t Index() {
        return static_cast<std::uint32_t>(WholeNumber(m_in.Number(), 0, 0xFFFFFFFF));
    }
    Point3 Vector3();
    Point3 MapVertex();
    std::array<std::uint32_t, 3> IndexTriple();
    FaceData Face();
    void MapChannelInto(std::map<int, MapChannel>& maps);
    ExplicitNormals Normals();

    Cursor m_in;
    std::vector<MeshData> m_meshes;
};

SceneSkeleton Scanner::Scan() {
    json document = json::object();
    bool sawNodes = false;
    m_in.Expect('{');
    if (!m_in.Take('}')) {
        do {
            std::string key(m_in.Key());
            if (key == "nodes") {
                if (sawNodes) GiveUp();
                sawNodes = true;
                document[key] = ScanNodes();
            } else {
                document[key] = Parsed(m_in.RawValue());
            }
        } while (m_in.Another('}'));
    }
    if (!m_in.AtEnd()) GiveUp();
    return {std::move(document), std::move(m_meshes)};
}

// Depth first with a stack of the nodes still open, never a call per level, so that a chain
// of nodes as deep as the reader allows costs no stack.
json Scanner::ScanNodes() {
    struct OpenNode {
        json* node;
        bool sawChildren;
    };
    json nodes = json::array();
    std::vector<OpenNode> open;  // from a top-level node down to the one being read
    bool atFirstMember = false;
    auto startNode = [&](json& list) {
        m_in.Expect('{');
        open.push_back({&list.emplace_back(json::object()), false});
        atFirstMember = true;
    };
    m_in.Expect('[');
    if (m_in.Take(']')) return nodes;
    startNode(nodes);
    while (!open.empty()) {
        OpenNode& top = open.back();
        bool more = atFirstMember ? !m_in.Take('}') : m_in.Another('}');
        atFirstMember = false;
        if (more) {
            std::string key(m_in.Key());
            if (key == "children") {
                if (top.sawChildren) GiveUp();
                top.sawChildren = true;
                json& children = (*top.node)[key] = json::array();
                m_in.Expect('[');
                if (!m_in.Take(']')) startNode(children);
            } else if (key == "mesh") {
                (*top.node)[key] = ScanMesh();
            } else {
                (*top.node)[key] = Parsed(m_in.RawValue());
            }
            continue;
        }
        // The node is whole: on with the list it stands in.
        open.pop_back();
        json& list = open.empty() ? nodes : (*open.back().node)["children"];
        if (m_in.Another(']')) startNode(list);
    }
    return nodes;
}

std::size_t Scanner::ScanMesh() {
    MeshData mesh;
    auto which = [](std::string_view key) -> unsigned {
        return key == "vertices"  ? kVertices
               : key == "faces"   ? kFaces
               : key == "maps"    ? kMaps
               : key == "normals" ? kNormals
                                  : kUnknownMember;
    };
    unsigned seen = ScanObject(which, [&](unsigned member) {
        if (member == kVertices) ScanList([&] { mesh.vertices.push_back(Vector3()); });
        if (member == kFaces) ScanList([&] { mesh.faces.push_back(Face()); });
        if (member == kMaps) ScanList([&] { MapChannelInto(mesh.maps); });
        if (member == kNormals) mesh.normals = Normals();
    });
    if ((seen & (kVertices | kFaces)) != (kVertices | kFaces)) GiveUp();
    m_meshes.push_back(std::move(mesh));
    return m_meshes.size() - 1;
}

Point3 Scanner::Vector3() {
    Point3 p;
    m_in.Expect('[');
    p.x = Float();
    m_in.Expect(',');
    p.y = Float();
    m_in.Expect(',');
    p.z = Float();
    m_in.Expect(']');
    return p;
}

// Two or three numbers; a missing third is zero.
Point3 Scanner::MapVertex() {
    Point3 p;
    m_in.Expect('[');
    p.x = Float();
    m_in.Expect(',');
    p.y = Float();
    if (m_in.Another(']')) {
        p.z = Float();
        m_in.Expect(']');
    }
    return p;
}

std::array<std::uint32_t, 3> Scanner::IndexTriple() {
    std::array<std::uint32_t, 3> v{};
    m_in.Expect('[');
    v[0] = Index();
    m_in.Expect(',');
    v[1] = Index();
    m_in.Expect(',');
    v[2] = Index();
    m_in.Expect(']');
    return v;
}

FaceData Scanner::Face() {
    FaceData f;
    auto which = [](std::string_view key) -> unsigned {
        return key == "v"            ? kCorners
               : key == "smoothing"  ? kSmoothing
               : key == "materialId" ? kMaterialId
                                     : kUnknownMember;
    };
    unsigned seen = ScanObject(which, [&](unsigned member) {
        if (member == kCorners) {
            auto v = IndexTriple();
            std::copy(v.begin(), v.end(), f.v);
        }
        if (member == kSmoothing) f.smGroup = Index();
        if (member == kMaterialId)
            f.matId = static_cast<std::uint32_t>(WholeNumber(m_in.Number(), 0, 0xFFFF));
    });
    if (!(seen & kCorners)) GiveUp();
    return f;
}

void Scanner::MapChannelInto(std::map<int, MapChannel>& maps) {
    MapChannel map;
    int channel = 0;
    auto which = [](std::string_view key) -> unsigned {
        return key == "channel"    ? kChannel
               : key == "vertices" ? kVertices
               : key == "faces"    ? kFaces
                                   : kUnknownMember;
    };
    unsigned seen = ScanObject(which, [&](unsigned member) {
        if (member == kChannel) channel = static_cast<int>(WholeNumber(m_in.Number(), -2, 99));
        if (member == kVertices) ScanList([&] { map.vertices.push_back(MapVertex()); });
        if (member == kFaces) ScanList([&] { map.faces.push_back(IndexTriple()); });
    });
    if (seen != (kChannel | kVertices | kFaces) || maps.count(channel)) GiveUp();
    maps[channel] = std::move(map);
}

ExplicitNormals Scanner::Normals() {
    ExplicitNormals normals;
    auto which = [](std::string_view key) -> unsigned {
        return key == "normals" ? kNormals : key == "faces" ? kFaces : kUnknownMember;
    };
    unsigned seen = ScanObject(which, [&](unsigned member) {
        if (member == kNormals) ScanList([&] { normals.normals.push_back(Vector3()); });
        if (member == kFaces) ScanList([&] { normals.faces.push_back(IndexTriple()); });
    });
    if (seen != (kNormals | kFaces)) GiveUp();
    return normals;
}

}  // namespace

std::optional<SceneSkeleton> ScanScene(const std::string& text) {
    try {
        return Scanner(text).Scan();
    } catch (const Doubt&) {
    } catch (const json::exception&) {
        // A value the document reader refuses; it will say why.
    }
    return std::nullopt;
}

}  // namespace tarvo::scenefile::stream

namespace tarvo::scenefile {
namespace {

template <typename T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    // memcmp may not be given the null data of an empty vector, even for no bytes.
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool SameMeshBits(const scene::MeshData& a, const scene::MeshData& b) {
    if (!SameBits(a.vertices, b.vertices) || a.maps.size() != b.maps.size()) return false;
    for (const auto& [channel, map] : a.maps)
        if (!b.maps.count(channel) || !SameBits(map.vertices, b.maps.at(channel).vertices))
            return false;
    return !a.normals || SameBits(a.normals->normals, b.normals->normals);
}

}  // namespace

bool SameSceneBits(const scene::SceneData& a, const scene::SceneData& b) {
    if (!(a == b)) return false;
    for (std::size_t i = 0; i < a.nodes.size(); ++i)
        if (!SameMeshBits(a.nodes[i].mesh, b.nodes[i].mesh)) return false;
    return true;
}

}  // namespace tarvo::scenefile
