#include "host/scene/SceneSkeleton.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <future>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __x86_64__
#include <immintrin.h>
#endif

#include "host/scene/SceneFileReaders.h"
#include "host/scene/StandingHelper.h"

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
[[gnu::always_inline]] inline bool EndsScalar(char c) {
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

// How far past an item's start the compact readers may look: the longest compact face,
// {"v":[4294967295,4294967295,4294967295],"smoothing":4294967295}, is 63 bytes; an index is
// read by loading the eight bytes from its start at once, and a coordinate's digits are
// loaded eight at a time only while such a load stays within this reach. The last items of a
// text, where fewer bytes than this are left, go to the general reader.
constexpr std::ptrdiff_t kCompactItemReach = 72;

// Reads tokens from the text. Every step either moves on over well-formed JSON or gives up.
class Cursor {
  public:
    // The text's terminating zero stands after its end: the scans of white space, digits and
    // number parts stop at it without a test for the end of their own.
    explicit Cursor(ZeroEndedText text)
        : m_at(text.View().data()), m_end(text.View().data() + text.View().size()) {
        if (text.View().starts_with(kByteOrderMark)) m_at += kByteOrderMark.size();
    }

    // A cursor of its own on the same text, from `at` on.
    Cursor At(const char* at) const {
        Cursor other(*this);
        other.m_at = at;
        return other;
    }

    // Where the next token starts.
    const char* Position() {
        SkipSpace();
        return m_at;
    }
    const char* End() const { return m_end; }
    void MoveTo(const char* at) { m_at = at; }

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

    // An item read by a compact reader (a function of the bytes from the item's start that
    // returns where the item ends, or null); false, without moving, when it declines.
    template <auto ReadCompact, typename... Into>
    [[gnu::always_inline]] bool TakeCompact(Into&&... into) {
        SkipSpace();
        if (m_end - m_at < kCompactItemReach) return false;
        const char* after = ReadCompact(m_at, into...);
        if (after == nullptr) return false;
        m_at = after;
        return true;
    }

    // An index as a writer spells it, plain digits that fit 32 bits, read in one step;
    // nothing, without moving, for any other spelling, which Number then judges.
    std::optional<std::uint32_t> PlainIndex();

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

// Plain digits of a 32-bit index at `at`: no sign, a leading zero only alone ("01" is no
// JSON number), at most ten digits that fit. Where the digits end, or null.
const char* PlainIndexDigits(const char* at, std::uint32_t& value) {
    constexpr int kMostIndexDigits = 10;  // 4294967295
    if (!IsDigit(*at)) return nullptr;
    std::uint64_t digits = static_cast<unsigned>(*at++ - '0');
    for (int count = 1; digits != 0 && count < kMostIndexDigits && IsDigit(*at); ++count)
        digits = digits * 10 + static_cast<unsigned>(*at++ - '0');
    if (digits > 0xFFFFFFFF || IsDigit(*at)) return nullptr;
    value = static_cast<std::uint32_t>(digits);
    return at;
}

std::optional<std::uint32_t> Cursor::PlainIndex() {
    SkipSpace();
    std::uint32_t value = 0;
    const char* after = PlainIndexDigits(m_at, value);
    if (after == nullptr || !EndsScalar(*after)) return std::nullopt;
    m_at = after;
    return value;
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

// Reads "{"key": value, ...}", calling readMember with the key's bit, once per key.
template <typename WhichMember, typename ReadMember>
unsigned ScanObject(Cursor& in, WhichMember which, ReadMember readMember) {
    unsigned seen = 0;
    in.Expect('{');
    if (in.Take('}')) return seen;
    do {
        unsigned member = which(in.Key());
        if (member == kUnknownMember || (seen & member)) GiveUp();
        seen |= member;
        readMember(member);
    } while (in.Another('}'));
    return seen;
}

// ---- Items as writers spell them ----
// The items of the long lists nearly always come with no space inside and every number in
// its plainest spelling. These read such an item straight from the bytes; on the first byte
// they do not expect they return null, having moved nothing, and the general reader below
// reads the item from its start and judges it. So they only ever take a subset of what the
// general reader takes, and give the same values for it.

// Whether the text at `at` starts with `prefix`. Compared byte by byte, so that it stops at
// the text's terminating zero and never looks past it.
template <std::size_t N>
const char* AfterPrefix(const char* at, const char (&prefix)[N]) {
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (at[i] != prefix[i]) return nullptr;
    return at + N - 1;
}

constexpr std::uint64_t EveryByte(unsigned char byte) {
    return 0x0101010101010101ull * byte;
}

// The number of decimal digits the eight bytes start with (8 for eight or more), as the
// first byte of each 8-bit field that is no digit: ASCII digits are 0x30 to 0x39, so after an
// exclusive or with 0x30 a digit is a value up to 9; anything else has a high nibble, or
// carries into one when 6 is added. A carry out of a field only disturbs the fields after
// it, which follow the first byte that is no digit.
[[gnu::always_inline]] inline unsigned LeadingDigits(std::uint64_t eightBytes) {
    const std::uint64_t values = eightBytes ^ EveryByte('0');
    const std::uint64_t notDigits = (values | (values + EveryByte(6))) & EveryByte(0xF0);
    return notDigits == 0 ? 8u : static_cast<unsigned>(__builtin_ctzll(notDigits)) / 8u;
}

// The value of the first `count` (1 to 8) digits of the eight bytes: the digits are moved to
// the top, behind zeros, and pairs, fours and eights of them are combined by multiplying.
[[gnu::always_inline]] inline std::uint32_t DigitsValue(std::uint64_t eightBytes, unsigned count) {
    std::uint64_t values = (eightBytes ^ EveryByte('0')) << (8 * (8 - count));
    values = (values * 10 + (values >> 8)) & 0x00FF00FF00FF00FFull;
    values = (values * 100 + (values >> 16)) & 0x0000FFFF0000FFFFull;
    return static_cast<std::uint32_t>((values * 10000 + (values >> 32)) & 0xFFFFFFFFull);
}

// Plain digits of a 32-bit index, as PlainIndexDigits reads them, but up to eight digits
// from one load; the caller has checked that the eight bytes lie within the text
// (kCompactItemReach).
// Inlined, as are the digit steps above and CompactFloat below, into each reader of items: a
// large scene has millions of numbers, and a call for each, with its value passed back through
// memory, costs about a twentieth of the load's processor time.
[[gnu::always_inline]] inline const char* CompactIndex(const char* at, std::uint32_t& value) {
    std::uint64_t eightBytes = 0;
    std::memcpy(&eightBytes, at, sizeof eightBytes);
    if constexpr (std::endian::native == std::endian::little) {
        const unsigned count = LeadingDigits(eightBytes);
        if (count == 0 || (count > 1 && *at == '0')) return nullptr;
        if (count < 8) {
            value = DigitsValue(eightBytes, count);
            return at + count;
        }
    }
    return PlainIndexDigits(at, value);
}

// Powers of ten that a double holds exactly.
constexpr std::array<double, 23> kExactPowersOfTen = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The factor that makes room for one eight-byte load's digits behind those read before.
constexpr std::array<std::uint64_t, 9> kDigitShifts = {1,      10,      100,      1000,     10000,
                                                       100000, 1000000, 10000000, 100000000};

// Below this a whole number of digits is exact in a double.
constexpr std::uint64_t kExactDoubleLimit = std::uint64_t{1} << 53;

// Appends the run of digits at `at` to `digits` (wrapping on overflow, which `count`, raised
// by the run's length, then reveals) and returns where the run ends. Eight bytes at a time
// while a load from `at` stays at or before `wideLimit`, byte by byte beyond it.
[[gnu::always_inline]] inline const char* AppendDigits(const char* at, const char* wideLimit,
                                                       std::uint64_t& digits, int& count) {
    if constexpr (std::endian::native == std::endian::little) {
        while (at <= wideLimit) {
            std::uint64_t eightBytes = 0;
            std::memcpy(&eightBytes, at, sizeof eightBytes);
            const unsigned run = LeadingDigits(eightBytes);
            if (run == 0) return at;
            digits = digits * kDigitShifts[run] + DigitsValue(eightBytes, run);
            count += static_cast<int>(run);
            at += run;
            if (run < 8) return at;
        }
    }
    for (; IsDigit(*at); ++at, ++count) digits = digits * 10 + static_cast<unsigned>(*at - '0');
    return at;
}

// A decimal number without exponent whose digits, read as a whole number, are exact in a
// double: dividing them by an exact power of ten rounds once, correctly, so the double is
// the one std::from_chars makes of the same text (and a whole number, as the document reader
// holds it, is that number, with "-0" plain zero). The float is then cast from it as ToFloat
// casts. Digits are loaded eight bytes at once up to `wideLimit` (see AppendDigits).
[[gnu::always_inline]] inline const char* CompactFloat(const char* at, const char* wideLimit,
                                                       float& value) {
    constexpr int kMostDigits = 15;  // below 2^53 for sure
    const bool negative = *at == '-';
    if (negative) ++at;
    if (!IsDigit(*at)) return nullptr;
    std::uint64_t digits = 0;
    int count = 0;
    int fractionDigits = 0;
    if (*at == '0') {
        ++at;
        if (IsDigit(*at)) return nullptr;
    } else {
        at = AppendDigits(at, wideLimit, digits, count);
    }
    if (*at == '.') {
        ++at;
        if (!IsDigit(*at)) return nullptr;
        const int wholeDigits = count;
        at = AppendDigits(at, wideLimit, digits, count);
        fractionDigits = count - wholeDigits;
    }
    if (count > kMostDigits || digits >= kExactDoubleLimit) return nullptr;
    if (*at == 'e' || *at == 'E' || !EndsScalar(*at)) return nullptr;
    double magnitude =
        static_cast<double>(digits) / kExactPowersOfTen[static_cast<std::size_t>(fractionDigits)];
    // A whole "-0" is the integer zero to the document reader; "-0.0" is a negative zero.
    const bool negativeZero = negative && fractionDigits == 0 && digits == 0;
    value = static_cast<float>(negative && !negativeZero ? -magnitude : magnitude);
    return at;
}

// The last byte from which an eight-byte load stays within an item's reach.
const char* WideLimit(const char* item) {
    return item + kCompactItemReach - static_cast<std::ptrdiff_t>(sizeof(std::uint64_t));
}

#ifdef __SSE2__
// One bit per byte of the 32 bytes whose halves are `low` and `high`: bit i for byte i, set
// where the byte of the comparison's result is set.
[[gnu::always_inline]] inline std::uint32_t ByteBits(__m128i low, __m128i high) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(low)) |
           static_cast<std::uint32_t>(_mm_movemask_epi8(high)) << 16;
}

// The bytes of `bytes` that are ASCII digits, set to all ones. Bytes from 0x80 up are negative
// to the signed comparison, so never between '0' and '9'.
[[gnu::always_inline]] inline __m128i DigitBytes(__m128i bytes) {
    return _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                         _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
}

// The most digits of an index that ShortIndexTriple reads: as many as DigitsValue takes from
// one eight-byte load, less the one that CompactIndex hands to PlainIndexDigits.
constexpr unsigned kMostShortIndexDigits = 7;

// The bytes ShortIndexTriple looks at, from the triple's bracket.
constexpr std::ptrdiff_t kShortTripleBytes = 32;

// "[i,i,i]" whose indices have one to seven digits and no leading zero, the very items
// CompactIndexTriple reads through CompactIndex's DigitsValue, with the same values. The commas
// and the bracket are found in 32 bytes at once, so that the three indices are read side by
// side instead of each waiting for where the one before it ended. Null for any other item,
// which CompactIndexTriple then reads or declines. The 32 bytes lie within the item's reach,
// also for a face's corners, which start after "{"v":".
[[gnu::always_inline]] inline const char* ShortIndexTriple(const char* at,
                                                           std::array<std::uint32_t, 3>& v) {
    static_assert(kCompactItemReach >= std::ptrdiff_t{sizeof("{\"v\":") - 1} + kShortTripleBytes);
    const auto low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const auto high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + kShortTripleBytes / 2));
    const auto comma = _mm_set1_epi8(','), close = _mm_set1_epi8(']'), zero = _mm_set1_epi8('0');
    const std::uint32_t digits = ByteBits(DigitBytes(low), DigitBytes(high));
    const std::uint32_t commas = ByteBits(_mm_cmpeq_epi8(low, comma), _mm_cmpeq_epi8(high, comma));
    const std::uint32_t closes = ByteBits(_mm_cmpeq_epi8(low, close), _mm_cmpeq_epi8(high, close));
    const std::uint32_t zeros = ByteBits(_mm_cmpeq_epi8(low, zero), _mm_cmpeq_epi8(high, zero));
    const std::uint32_t laterCommas = commas & (commas - 1);
    if (*at != '[' || laterCommas == 0 || closes == 0) return nullptr;
    const auto first = static_cast<unsigned>(__builtin_ctz(commas));
    const auto second = static_cast<unsigned>(__builtin_ctz(laterCommas));
    const auto end = static_cast<unsigned>(__builtin_ctz(closes));
    if (second >= end) return nullptr;
    // Every byte between the brackets is a digit but the two commas.
    const std::uint32_t inside = ((std::uint32_t{1} << end) - 1) & ~std::uint32_t{1};
    const std::uint32_t separators = (std::uint32_t{1} << first) | (std::uint32_t{1} << second);
    if ((digits & inside) != (inside & ~separators)) return nullptr;
    // One to seven digits each (unsigned, so that none wraps to a large count).
    const unsigned count0 = first - 1, count1 = second - first - 1, count2 = end - second - 1;
    if (count0 - 1 >= kMostShortIndexDigits || count1 - 1 >= kMostShortIndexDigits ||
        count2 - 1 >= kMostShortIndexDigits)
        return nullptr;
    // A leading zero: an index that starts with '0' and has a digit after it.
    const std::uint32_t starts = (std::uint32_t{1} << 1) | (std::uint32_t{1} << (first + 1)) |
                                 (std::uint32_t{1} << (second + 1));
    if ((starts & zeros & (digits >> 1)) != 0) return nullptr;
    auto eightBytesAt = [](const char* from) {
        std::uint64_t eightBytes = 0;
        std::memcpy(&eightBytes, from, sizeof eightBytes);
        return eightBytes;
    };
    v[0] = DigitsValue(eightBytesAt(at + 1), count0);
    v[1] = DigitsValue(eightBytesAt(at + first + 1), count1);
    v[2] = DigitsValue(eightBytesAt(at + second + 1), count2);
    return at + end + 1;
}
#endif

// "[i,i,i]"
[[gnu::always_inline]] inline const char* CompactIndexTriple(const char* at,
                                                             std::array<std::uint32_t, 3>& v) {
#ifdef __SSE2__
    if constexpr (std::endian::native == std::endian::little) {
        if (const char* after = ShortIndexTriple(at, v)) return after;
    }
#endif
    if (*at++ != '[') return nullptr;
    if (!(at = CompactIndex(at, v[0])) || *at++ != ',') return nullptr;
    if (!(at = CompactIndex(at, v[1])) || *at++ != ',') return nullptr;
    if (!(at = CompactIndex(at, v[2])) || *at++ != ']') return nullptr;
    return at;
}

// "[f,f,f]", or "[f,f]" when `thirdMayBeMissing` (a missing third is zero).
[[gnu::always_inline]] inline const char* CompactFloats(const char* at, Point3& p,
                                                        bool thirdMayBeMissing) {
    float x = 0.0f, y = 0.0f, z = 0.0f;  // `p` is only written once the whole item is read
    const char* wideLimit = WideLimit(at);
    if (*at++ != '[') return nullptr;
    if (!(at = CompactFloat(at, wideLimit, x)) || *at++ != ',') return nullptr;
    if (!(at = CompactFloat(at, wideLimit, y))) return nullptr;
    if (!(thirdMayBeMissing && *at == ']')) {
        if (*at++ != ',' || !(at = CompactFloat(at, wideLimit, z))) return nullptr;
    }
    if (*at++ != ']') return nullptr;
    p = Point3(x, y, z);
    return at;
}

// Whether the bytes at `at` are `prefix`, compared at once: only for places a compact reader
// has checked to lie within the text (kCompactItemReach).
template <std::size_t N>
const char* AfterPrefixWithinReach(const char* at, const char (&prefix)[N]) {
    return std::memcmp(at, prefix, N - 1) == 0 ? at + N - 1 : nullptr;
}

// {"v":[i,i,i]} or {"v":[i,i,i],"smoothing":i}
[[gnu::always_inline]] inline const char* CompactFace(const char* at, FaceData& f) {
    std::array<std::uint32_t, 3> v{};
    if (!(at = AfterPrefixWithinReach(at, "{\"v\":")) || !(at = CompactIndexTriple(at, v)))
        return nullptr;
    std::uint32_t smoothing = 0;
    if (const char* group = AfterPrefixWithinReach(at, ",\"smoothing\":")) {
        if (!(at = CompactIndex(group, smoothing))) return nullptr;
    }
    if (*at++ != '}') return nullptr;
    std::copy(v.begin(), v.end(), f.v);
    f.smGroup = smoothing;
    f.matId = 0;
    return at;
}

// ---- The items of the long lists ----
// Each reads one item from where the cursor stands into `into`, and nothing around it, so
// that any thread may read any run of items with a cursor of its own. The compact reading is
// done in line, in the loop over a list's items; the general one, rarely taken, is a call of
// its own that keeps that loop small. An item is written in place, not returned: three
// indices returned by value went through the stack in pieces that the processor then had to
// put together again, for every item.

float Float(Cursor& in) {
    return ToFloat(in.Number());
}

std::uint32_t Index(Cursor& in) {
    if (auto plain = in.PlainIndex()) return *plain;
    return static_cast<std::uint32_t>(WholeNumber(in.Number(), 0, 0xFFFFFFFF));
}

[[gnu::noinline]] Point3 GeneralVector3(Cursor& in) {
    Point3 p;
    in.Expect('[');
    p.x = Float(in);
    in.Expect(',');
    p.y = Float(in);
    in.Expect(',');
    p.z = Float(in);
    in.Expect(']');
    return p;
}

[[gnu::always_inline]] inline void Vector3(Cursor& in, Point3& into) {
    if (!in.TakeCompact<CompactFloats>(into, false)) into = GeneralVector3(in);
}

// Two or three numbers; a missing third is zero.
[[gnu::noinline]] Point3 GeneralMapVertex(Cursor& in) {
    Point3 p;
    in.Expect('[');
    p.x = Float(in);
    in.Expect(',');
    p.y = Float(in);
    if (in.Another(']')) {
        p.z = Float(in);
        in.Expect(']');
    }
    return p;
}

[[gnu::always_inline]] inline void MapVertex(Cursor& in, Point3& into) {
    if (!in.TakeCompact<CompactFloats>(into, true)) into = GeneralMapVertex(in);
}

[[gnu::noinline]] void GeneralIndexTriple(Cursor& in, std::array<std::uint32_t, 3>& into) {
    in.Expect('[');
    into[0] = Index(in);
    in.Expect(',');
    into[1] = Index(in);
    in.Expect(',');
    into[2] = Index(in);
    in.Expect(']');
}

[[gnu::always_inline]] inline void IndexTriple(Cursor& in, std::array<std::uint32_t, 3>& into) {
    if (!in.TakeCompact<CompactIndexTriple>(into)) GeneralIndexTriple(in, into);
}

[[gnu::noinline]] FaceData GeneralFace(Cursor& in) {
    FaceData f;
    auto which = [](std::string_view key) -> unsigned {
        return key == "v"            ? kCorners
               : key == "smoothing"  ? kSmoothing
               : key == "materialId" ? kMaterialId
                                     : kUnknownMember;
    };
    unsigned seen = ScanObject(in, which, [&](unsigned member) {
        if (member == kCorners) {
            std::array<std::uint32_t, 3> v{};
            IndexTriple(in, v);
            std::copy(v.begin(), v.end(), f.v);
        }
        if (member == kSmoothing) f.smGroup = Index(in);
        if (member == kMaterialId)
            f.matId = static_cast<std::uint32_t>(WholeNumber(in.Number(), 0, 0xFFFF));
    });
    if (!(seen & kCorners)) GiveUp();
    return f;
}

[[gnu::always_inline]] inline void Face(Cursor& in, FaceData& into) {
    if (!in.TakeCompact<CompactFace>(into)) into = GeneralFace(in);
}

// ---- Surveying a long list ----

// The byte that ends an item of each kind of long list. In every list the reader takes, the
// first such byte after an item's start is that item's end: number arrays hold no brackets,
// and a face's keys and values hold no braces.
constexpr char kArrayItemEnd = ']';
constexpr char kFaceItemEnd = '}';

// A list's item count and where some of its items start, from its closing bytes alone. It
// is only a guide for sharing out the reading, which checks every byte, so a damaged text
// that misleads it is still refused.
struct ListSurvey {
    std::size_t items = 0;
    // The list's closing bracket.
    const char* close = nullptr;
    // The start of item 0 and of every stride-th item after it.
    std::vector<const char*> marks;
};

// The first byte at or after `at` that is no JSON white space.
const char* SkipSpaceAt(const char* at) {
    while (IsSpace(*at)) ++at;
    return at;
}

// The set bits of a 64-bit mask, by adding neighbouring fields. std::popcount would be a
// call into the runtime library on a build for processors that may lack a count instruction.
constexpr unsigned BitsSetIn64(std::uint64_t mask) {
    mask = mask - ((mask >> 1) & 0x5555555555555555ull);
    mask = (mask & 0x3333333333333333ull) + ((mask >> 2) & 0x3333333333333333ull);
    mask = (mask + (mask >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<unsigned>((mask * 0x0101010101010101ull) >> 56);
}
static_assert(BitsSetIn64(0) == 0 && BitsSetIn64(~std::uint64_t{0}) == 64 &&
              BitsSetIn64(0x8000000000000001ull) == 2 && BitsSetIn64(0x1234) == 5);

// Where a 64-byte block holds the byte that ends an item and where a comma, a bit per byte.
struct BlockBits {
    std::uint64_t ends = 0;
    std::uint64_t commas = 0;
};

#ifdef __SSE2__
[[gnu::always_inline]] inline BlockBits BlockBitsSse2(const char* at, char itemEnd) {
    const __m128i end = _mm_set1_epi8(itemEnd);
    const __m128i comma = _mm_set1_epi8(',');
    BlockBits block;
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int shift = 16 * quarter;
        const auto bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + shift));
        block.ends |=
            std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, end)))}
            << shift;
        block.commas |= std::uint64_t{static_cast<std::uint16_t>(
                            _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, comma)))}
                        << shift;
    }
    return block;
}
#endif

#ifdef __x86_64__
// Half the instructions of the SSE2 way, and a count instruction of its own; only on a
// processor that has them (ProcessorHasAvx2).
[[gnu::target("avx2,popcnt"), gnu::always_inline]] inline BlockBits BlockBitsAvx2(const char* at,
                                                                                  char itemEnd) {
    const __m256i end = _mm256_set1_epi8(itemEnd);
    const __m256i comma = _mm256_set1_epi8(',');
    BlockBits block;
    for (int half = 0; half < 2; ++half) {
        const int shift = 32 * half;
        const auto bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + shift));
        block.ends |= std::uint64_t{static_cast<std::uint32_t>(
                          _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, end)))}
                      << shift;
        block.commas |= std::uint64_t{static_cast<std::uint32_t>(
                            _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, comma)))}
                        << shift;
    }
    return block;
}

bool ProcessorHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    return has;
}
#endif

class ListSurveyor {
  public:
    // `stop`, when given, ends the survey early (as a doubt) once it is set. With
    // `wideVectors`, the blocks are read with the processor's 256-bit instructions where it
    // has them.
    ListSurveyor(const char* end, char itemEnd, std::size_t stride, bool wideVectors,
                 const std::atomic<bool>* stop = nullptr)
        : m_end(end),
          m_itemEnd(itemEnd),
          m_stride(stride),
          m_itemsToMark(stride),
          m_wideVectors(wideVectors),
          m_stop(stop) {}

    // From `first`, where item 0 starts, to the list's closing bracket.
    ListSurvey Survey(const char* first) {
        m_survey.marks.push_back(first);
        const char* at = first;
        for (;;) {
            at = SkipPlainBlocks(at);
            const char* itemEnd = static_cast<const char*>(
                std::memchr(at, m_itemEnd, static_cast<std::size_t>(m_end - at)));
            if (itemEnd == nullptr) GiveUp();
            if (!NextItem(itemEnd, at)) return std::move(m_survey);
        }
    }

  private:
    // Counts the item ending at `itemEnd`; true, with `next` at the following item, when a
    // comma follows it, false when the list's closing bracket does.
    bool NextItem(const char* itemEnd, const char*& next) {
        ++m_survey.items;
        const char* at = SkipSpaceAt(itemEnd + 1);
        if (*at == ']') {
            m_survey.close = at;
            return false;
        }
        if (*at != ',') GiveUp();
        next = SkipSpaceAt(at + 1);
        if (--m_itemsToMark == 0) {
            m_survey.marks.push_back(next);
            m_itemsToMark = m_stride;
            if (m_stop != nullptr && m_stop->load(std::memory_order_relaxed)) GiveUp();
        }
        return true;
    }

    // Counts the items of whole 64-byte blocks in which every item end is followed straight
    // by a comma and no mark falls, a block at a time; stops at the first other block, which
    // the caller takes item by item. A block is read with the byte after it, which the text's
    // zero may be.
    const char* SkipPlainBlocks(const char* at) {
#ifdef __x86_64__
        if (m_wideVectors && ProcessorHasAvx2()) return SkipPlainBlocksAvx2(at);
#endif
#ifdef __SSE2__
        for (; m_end - at >= kBlockBytes; at += kBlockBytes) {
            const BlockBits block = BlockBitsSse2(at, m_itemEnd);
            if (block.ends != 0 &&
                !CountPlainBlock(block, at[kBlockBytes], BitsSetIn64(block.ends)))
                break;
        }
#endif
        return at;
    }

#ifdef __x86_64__
    [[gnu::target("avx2,popcnt")]] const char* SkipPlainBlocksAvx2(const char* at) {
        for (; m_end - at >= kBlockBytes; at += kBlockBytes) {
            const BlockBits block = BlockBitsAvx2(at, m_itemEnd);
            const auto count = static_cast<unsigned>(__builtin_popcountll(block.ends));
            if (block.ends != 0 && !CountPlainBlock(block, at[kBlockBytes], count)) break;
        }
        return at;
    }
#endif

    // Counts the `endCount` items ending in a block that has some, when every one of them is
    // followed straight by a comma (`byteAfter` follows the block) and the next mark does not
    // fall among them; false, counting nothing, otherwise.
    [[gnu::always_inline]] bool CountPlainBlock(const BlockBits& block, char byteAfter,
                                                unsigned endCount) {
        const std::uint64_t commaAfter = block.commas >> 1 | std::uint64_t{byteAfter == ','}
                                                                 << (kBlockBytes - 1);
        if ((block.ends & ~commaAfter) != 0 || endCount >= m_itemsToMark) return false;
        m_survey.items += endCount;
        m_itemsToMark -= endCount;
        return true;
    }

    static constexpr std::ptrdiff_t kBlockBytes = 64;  // one bit of a 64-bit mask per byte

    const char* m_end;
    char m_itemEnd;
    std::size_t m_stride;
    std::size_t m_itemsToMark;  // until the next item that gets a mark
    bool m_wideVectors;
    const std::atomic<bool>* m_stop;
    ListSurvey m_survey;
};

// ---- Reading a long list in parts ----

// One run of a list's items: `count` items from `first`, into `into`; the last part ends with
// the list's closing bracket, every other one just before the next part's first item.
struct ListPart {
    const char* first;
    std::size_t count;
    bool last;
};

// Set when the reading of a list has failed somewhere, so that the other parts stop early.
using FailedFlag = std::atomic<bool>;

// How often a part looks whether another one has failed: rarely enough to cost nothing.
constexpr std::size_t kItemsBetweenLooks = 1024;

// The largest corner of an item of a face list; an item without corners has none larger
// than zero.
[[gnu::always_inline]] inline std::uint32_t LargestCornerOf(const FaceData& face) {
    return std::max({face.v[0], face.v[1], face.v[2]});
}
[[gnu::always_inline]] inline std::uint32_t LargestCornerOf(
    const std::array<std::uint32_t, 3>& corners) {
    return std::max({corners[0], corners[1], corners[2]});
}
[[gnu::always_inline]] inline std::uint32_t LargestCornerOf(const Point3&) {
    return 0;
}

// What reading a part gives besides its items: where its cursor stands after it, and the
// largest corner among its items.
struct PartRead {
    const char* end = nullptr;
    std::uint32_t largestCorner = 0;
};

// Reads a part; the largest corner is taken while each item is at hand, so that the scene's
// check need not read the list again. The part's memory is had from the system in one call
// first: on the build machines a fault per page on first write costs from half as much again
// to twice as much.
template <auto ReadItem, typename T>
PartRead ReadPart(Cursor in, const ListPart& part, T* into, const FailedFlag& failed) {
    ::PrepareForWriting(into, part.count * sizeof(T));
    std::uint32_t largest = 0;
    for (std::size_t i = 0; i < part.count; ++i) {
        if (i % kItemsBetweenLooks == 0 && failed.load(std::memory_order_relaxed)) GiveUp();
        ReadItem(in, into[i]);
        largest = std::max(largest, LargestCornerOf(into[i]));
        if (i + 1 < part.count || !part.last) in.Expect(',');
    }
    if (part.last) in.Expect(']');
    return {in.Position(), largest};
}

// Splits a surveyed list into parts of whole strides, each of at least minItemsPerPart items
// (or the whole list, when it is shorter). The parts are many more than the threads that read
// them: a thread takes the next part whenever it is done with one, so that threads slowed by
// anything else the machine does still finish together, a part apart at most.
std::vector<ListPart> PlanParts(const ListSurvey& survey, std::size_t stride,
                                const ListSharing& sharing) {
    const std::size_t parts =
        std::max<std::size_t>(survey.items / std::max<std::size_t>(sharing.minItemsPerPart, 1), 1);
    std::vector<ListPart> plan;
    std::size_t begin = 0;
    for (std::size_t p = 1; p <= parts; ++p) {
        std::size_t end = p == parts ? survey.items : survey.items * p / parts / stride * stride;
        if (end <= begin) continue;
        plan.push_back({survey.marks[begin / stride], end - begin, p == parts});
        begin = end;
    }
    return plan;
}

// The fewest items of a list that more than one thread may read.
std::size_t LongListItems(const ListSharing& sharing) {
    return 2 * std::max<std::size_t>(sharing.minItemsPerPart, 1);
}

// The most threads that read a list's parts.
std::size_t MostReaders(const ListSharing& sharing) {
    return sharing.maxReaders != 0 ? sharing.maxReaders
                                   : std::max(1u, std::thread::hardware_concurrency());
}

// How many threads read the parts of a plan: no more than there are parts.
std::size_t ReadersFor(const std::vector<ListPart>& plan, const ListSharing& sharing) {
    return std::min(plan.size(), MostReaders(sharing));
}

// The stride of the survey's marks: fine enough that the parts come out about equal.
std::size_t MarkStride(const ListSharing& sharing) {
    constexpr std::size_t kMarksPerPart = 16;
    return std::max<std::size_t>(sharing.minItemsPerPart / kMarksPerPart, 1);
}

// As many LeftToFill marks as are left, for a list to be constructed from: an iterator to the
// first with the count, to the end with zero.
class LeftToFillRun {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = LeftToFill;
    using difference_type = std::ptrdiff_t;
    using pointer = const LeftToFill*;
    using reference = const LeftToFill&;

    explicit LeftToFillRun(std::size_t left) : m_left(left) {}
    reference operator*() const { return kMark; }
    LeftToFillRun& operator++() {
        --m_left;
        return *this;
    }
    LeftToFillRun operator++(int) {
        LeftToFillRun before = *this;
        --m_left;
        return before;
    }
    friend bool operator==(const LeftToFillRun&, const LeftToFillRun&) = default;

  private:
    static constexpr LeftToFill kMark{};
    std::size_t m_left;
};

// Sizes a list for its parts to fill: once, as a vector grown item by item would fill and
// copy about twice the memory. A record list is left unwritten, as the parts write every
// item, so that each page of it is first touched by the thread that fills it.
template <typename T>
void SizeForParts(RecordList<T>& into, std::size_t items) {
    RecordList<T> sized(LeftToFillRun(items), LeftToFillRun(0));
    into.swap(sized);
}
template <typename T>
void SizeForParts(std::vector<T>& into, std::size_t items) {
    into.resize(items);
}

// Reads the whole list whose first item starts where `in` stands, with `readers` threads
// (this one among them) taking its parts in turn, each part written to its own run of `into`;
// on return `in` stands after the list. The first thread that helps is `standing`'s; it runs
// `beforeReading` before it takes parts, with a flag that is set once the list's reading has
// failed. Returns the largest corner of the list's items.
template <auto ReadItem, typename List, typename BeforeReading>
std::uint32_t ReadListInParts(Cursor& in, List& into, const ListSurvey& survey,
                              const std::vector<ListPart>& plan, std::size_t readers,
                              StandingHelper& standing, BeforeReading beforeReading) {
    SizeForParts(into, survey.items);
    std::vector<typename List::value_type*> firstOf;
    for (std::size_t p = 0, item = 0; p < plan.size(); item += plan[p++].count)
        firstOf.push_back(into.data() + item);
    // What each part's reading gave; each is written by the one thread that read the part,
    // and read here only after every thread is done.
    std::vector<PartRead> partsRead(plan.size());

    std::atomic<std::size_t> nextPart{0};
    FailedFlag failed{false};
    auto readParts = [&] {
        try {
            for (std::size_t p;
                 (p = nextPart.fetch_add(1, std::memory_order_relaxed)) < plan.size();)
                partsRead[p] =
                    ReadPart<ReadItem>(in.At(plan[p].first), plan[p], firstOf[p], failed);
        } catch (...) {
            failed = true;
            throw;
        }
    };
    std::optional<StandingHelper::Task> firstHelper;  // waited for on any exit
    std::vector<std::future<void>> helpers;           // likewise
    try {
        if (readers > 1)
            firstHelper.emplace(standing, [&] {
                beforeReading(std::as_const(failed));
                readParts();
            });
        for (std::size_t r = 2; r < readers; ++r)
            helpers.push_back(std::async(std::launch::async, readParts));
    } catch (const std::system_error&) {
        // Fewer threads to be had: those there are read every part between them.
    }
    readParts();
    if (firstHelper) firstHelper->Get();
    for (auto& helper : helpers) helper.get();
    // A part continues the list only if the one before it ended where it begins. That holds
    // whenever the survey's premise does (an item ends at the first closing byte after its
    // start); should an item ever break it, the list is given up, not misread.
    std::uint32_t largest = 0;
    for (std::size_t p = 0; p < plan.size(); ++p) {
        if (p + 1 < plan.size() && partsRead[p].end != plan[p + 1].first) GiveUp();
        largest = std::max(largest, partsRead[p].largestCorner);
    }
    in.MoveTo(partsRead.back().end);
    return largest;
}

// ---- Surveying the next lists ahead ----
// A survey reads a list on one thread, while the other cores would wait for it. So while a
// list's parts are being read, the first thread that helps with them surveys the list that
// probably comes next before it takes parts, and when that one is short (read on one thread,
// so that nothing would survey ahead of it in turn) the one after it too, until a long one.
// Where each starts is a guess; a survey is used only when the scanner then stands at that very
// item with that kind of list, and a survey depends on nothing else, so a guess can only be
// used or wasted, never wrong.

// How far past a list's close the next one is looked for: the keys and brackets between two
// lists of a mesh.
constexpr std::ptrdiff_t kNextListLookAhead = 4096;

// The first item of the next list after `close` that looks like a long list's: an array that
// opens with a number array or with a face. Null when there is none near.
const char* NextListGuess(const char* close, const char* end, char& itemEnd) {
    const char* at = close + 1;
    const char* limit = end - at > kNextListLookAhead ? at + kNextListLookAhead : end;
    while (at < limit && (at = static_cast<const char*>(std::memchr(
                              at, '[', static_cast<std::size_t>(limit - at)))) != nullptr) {
        const char* item = SkipSpaceAt(at + 1);
        // Looked into only when it opens, so never past the text's terminating zero.
        const char* inside = *item == '[' ? SkipSpaceAt(item + 1) : item;
        if (*item == '[' && (IsDigit(*inside) || *inside == '-')) {
            itemEnd = kArrayItemEnd;
            return item;
        }
        if (AfterPrefix(item, "{\"v\"") != nullptr) {
            itemEnd = kFaceItemEnd;
            return item;
        }
        ++at;
    }
    return nullptr;
}

// A list surveyed ahead: where its first item starts, the kind of its items, and the survey.
struct SurveyedList {
    const char* first;
    char itemEnd;
    ListSurvey survey;
};

// The most lists surveyed ahead at once: short lists are quick to survey, but the guesses run
// ahead of what the scanner has checked.
constexpr std::size_t kMostListsAhead = 8;

// Surveys the lists that seem to follow the one closing at `close`: the short ones (of fewer
// than LongListItems) and the first long one, in the order of the text. A guess in doubt
// ends the run: the scanner surveys that list itself should it come to it, and meets the same
// doubt there. Ends early once `stop` is set.
std::vector<SurveyedList> SurveyListsAfter(const char* close, const char* end,
                                           const ListSharing& sharing,
                                           const std::atomic<bool>& stop) {
    const std::size_t stride = MarkStride(sharing), longFrom = LongListItems(sharing);
    std::vector<SurveyedList> surveyed;
    try {
        char itemEnd = 0;
        for (const char* first = NextListGuess(close, end, itemEnd);
             first != nullptr && surveyed.size() < kMostListsAhead;
             first = NextListGuess(close, end, itemEnd)) {
            surveyed.push_back(
                {first, itemEnd,
                 ListSurveyor(end, itemEnd, stride, sharing.wideVectors, &stop).Survey(first)});
            if (surveyed.back().survey.items >= longFrom) break;
            close = surveyed.back().survey.close;
        }
    } catch (const Doubt&) {
    }
    return surveyed;
}

// Reads the scene: walks the top level, the node tree and the meshes, and hands every other
// value to the document reader whole.
class Scanner {
  public:
    Scanner(ZeroEndedText text, const ListSharing& sharing) : m_in(text), m_sharing(sharing) {}

    SceneSkeleton Scan();

  private:
    json Parsed(std::string_view text) const { return json::parse(text.begin(), text.end()); }
    json ScanNodes();
    std::size_t ScanMesh();

    // Reads "[item, item, ...]" of one of a mesh's long lists; returns the largest corner of
    // its items (zero for an empty list, or one whose items have no corners).
    template <auto ReadItem, typename List>
    std::uint32_t ScanLongList(List& into, char itemEnd) {
        m_in.Expect('[');
        if (m_in.Take(']')) return 0;
        WakeHelper();
        const std::size_t stride = MarkStride(m_sharing);
        ListSurvey survey = SurveyList(m_in.Position(), itemEnd, stride);
        std::vector<ListPart> plan = PlanParts(survey, stride, m_sharing);
        const std::size_t readers = ReadersFor(plan, m_sharing);
        // Filled by the thread that helps, if one does, and read only after it is done.
        std::vector<SurveyedList> surveyedAhead;
        const std::uint32_t largest = ReadListInParts<ReadItem>(
            m_in, into, survey, plan, readers, m_helper, [&](const std::atomic<bool>& failed) {
                surveyedAhead = SurveyListsAfter(survey.close, m_in.End(), m_sharing, failed);
            });
        // A list read on one thread leaves the surveys ahead of it for the lists after it.
        if (readers > 1) {
            m_surveyedAhead = std::move(surveyedAhead);
            m_nextSurveyed = 0;
        }
        return largest;
    }

    // Starts the standing helper while this thread surveys the first list that may be long
    // enough to share: the text left could hold one (its items take 4 bytes at least).
    void WakeHelper() {
        constexpr std::ptrdiff_t kLeastItemBytes = 4;  // "[0],"
        const auto longListBytes =
            static_cast<std::ptrdiff_t>(LongListItems(m_sharing)) * kLeastItemBytes;
        if (MostReaders(m_sharing) < 2 || m_in.End() - m_in.Position() < longListBytes) return;
        try {
            m_helper.Start();
        } catch (const std::system_error&) {
            // No thread to be had: the lists are read on this one.
        }
    }

    // The survey of the list whose first item is at `first`: the one made ahead, if the guess
    // was this list, or one made here.
    ListSurvey SurveyList(const char* first, char itemEnd, std::size_t stride) {
        // The surveys ahead are in the order of the text: those before this list were of
        // guesses the scanner never stood at, and one past it will not be this list's either.
        while (m_nextSurveyed < m_surveyedAhead.size() &&
               m_surveyedAhead[m_nextSurveyed].first < first)
            ++m_nextSurveyed;
        if (m_nextSurveyed < m_surveyedAhead.size() &&
            m_surveyedAhead[m_nextSurveyed].first == first &&
            m_surveyedAhead[m_nextSurveyed].itemEnd == itemEnd)
            return std::move(m_surveyedAhead[m_nextSurveyed++].survey);
        return ListSurveyor(m_in.End(), itemEnd, stride, m_sharing.wideVectors).Survey(first);
    }

    template <typename WhichMember, typename ReadMember>
    unsigned ScanObject(WhichMember which, ReadMember readMember) {
        return stream::ScanObject(m_in, which, readMember);
    }

    void MapChannelInto(std::map<int, MapChannel>& maps, LargestCorners& largest);
    ExplicitNormals Normals(LargestCorners& largest);

    Cursor m_in;
    ListSharing m_sharing;
    std::vector<ReadyMesh> m_meshes;
    StandingHelper m_helper;                    // its thread stops with the scan
    std::vector<SurveyedList> m_surveyedAhead;  // still to be used from m_nextSurveyed on
    std::size_t m_nextSurveyed = 0;
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
    LargestCorners largest;
    auto which = [](std::string_view key) -> unsigned {
        return key == "vertices"  ? kVertices
               : key == "faces"   ? kFaces
               : key == "maps"    ? kMaps
               : key == "normals" ? kNormals
                                  : kUnknownMember;
    };
    unsigned seen = ScanObject(which, [&](unsigned member) {
        if (member == kVertices) ScanLongList<Vector3>(mesh.vertices, kArrayItemEnd);
        if (member == kFaces) largest.faces = ScanLongList<Face>(mesh.faces, kFaceItemEnd);
        if (member == kMaps) {
            m_in.Expect('[');
            if (m_in.Take(']')) return;
            do MapChannelInto(mesh.maps, largest);
            while (m_in.Another(']'));
        }
        if (member == kNormals) mesh.normals = Normals(largest);
    });
    if ((seen & (kVertices | kFaces)) != (kVertices | kFaces)) GiveUp();
    m_meshes.push_back({std::move(mesh), std::move(largest)});
    return m_meshes.size() - 1;
}

void Scanner::MapChannelInto(std::map<int, MapChannel>& maps, LargestCorners& largest) {
    MapChannel map;
    int channel = 0;
    std::uint32_t largestCorner = 0;
    auto which = [](std::string_view key) -> unsigned {
        return key == "channel"    ? kChannel
               : key == "vertices" ? kVertices
               : key == "faces"    ? kFaces
                                   : kUnknownMember;
    };
    unsigned seen = ScanObject(which, [&](unsigned member) {
        if (member == kChannel) channel = static_cast<int>(WholeNumber(m_in.Number(), -2, 99));
        if (member == kVertices) ScanLongList<MapVertex>(map.vertices, kArrayItemEnd);
        if (member == kFaces) largestCorner = ScanLongList<IndexTriple>(map.faces, kArrayItemEnd);
    });
    if (seen != (kChannel | kVertices | kFaces) || maps.count(channel)) GiveUp();
    maps[channel] = std::move(map);
    largest.maps[channel] = largestCorner;
}

ExplicitNormals Scanner::Normals(LargestCorners& largest) {
    ExplicitNormals normals;
    auto which = [](std::string_view key) -> unsigned {
        return key == "normals" ? kNormals : key == "faces" ? kFaces : kUnknownMember;
    };
    unsigned seen = ScanObject(which, [&](unsigned member) {
        if (member == kNormals) ScanLongList<Vector3>(normals.normals, kArrayItemEnd);
        if (member == kFaces)
            largest.normals = ScanLongList<IndexTriple>(normals.faces, kArrayItemEnd);
    });
    if (seen != (kNormals | kFaces)) GiveUp();
    return normals;
}

}  // namespace

std::optional<SceneSkeleton> ScanScene(ZeroEndedText text, const ListSharing& sharing) {
    try {
        return Scanner(text, sharing).Scan();
    } catch (const Doubt&) {
    } catch (const json::exception&) {
        // A value the document reader refuses; it will say why.
    }
    return std::nullopt;
}

}  // namespace tarvo::scenefile::stream

namespace tarvo::scenefile {
namespace {

template <typename List>
bool SameBits(const List& a, const List& b) {
    // memcmp may not be given the null data of an empty vector, even for no bytes.
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0);
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
