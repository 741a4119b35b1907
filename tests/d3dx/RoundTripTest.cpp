// Every template of the three standard sets, with random payloads, written in every form
// and read back, with and without templates known to the reader: the payloads must come
// back byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "XTestSupport.h"
#include "platform/d3dx/XPayload.h"

namespace {

using d3dx::XMember;
using d3dx::XPrimitive;
using d3dx::XTemplate;

// Appended rather than "F" + std::to_string(level): GCC 12 at -O3 takes that concatenation's
// inlined memcpy for an overlapping one (a false -Wrestrict).
std::string FrameName(int level) {
    std::string name = "F";
    name += std::to_string(level);
    return name;
}

// Makes a payload for a template member by member, with small random counts and values
// that stress the text form: negative zero, tiny and huge floats, NaN and infinities.
class PayloadMaker {
  public:
    explicit PayloadMaker(unsigned seed) : m_random(seed) {}

    std::vector<std::uint8_t> Make(const XTemplate& tmpl) {
        m_bytes.clear();
        Members(tmpl);
        return m_bytes;
    }

  private:
    void Members(const XTemplate& tmpl) {
        std::vector<std::uint64_t> values(tmpl.members.size());
        for (std::size_t i = 0; i < tmpl.members.size(); ++i) {
            const XMember& member = tmpl.members[i];
            std::uint64_t count = 1;
            if (member.isArray) {
                for (const auto& dimension : member.dimensions) {
                    count *=
                        dimension.sizeMember ? values[*dimension.sizeMember] : dimension.fixedSize;
                }
            }
            // A count member decides the size of a later array: keep it small.
            bool isCount = IsSizeOfLaterArray(tmpl, i);
            for (std::uint64_t element = 0; element < count; ++element) {
                values[i] = Value(member, isCount);
            }
        }
    }

    static bool IsSizeOfLaterArray(const XTemplate& tmpl, std::size_t index) {
        for (const XMember& member : tmpl.members) {
            for (const auto& dimension : member.dimensions) {
                if (dimension.sizeMember == index) return true;
            }
        }
        return false;
    }

    std::uint64_t Value(const XMember& member, bool isCount) {
        switch (member.type) {
            case XPrimitive::Template:
                Members(d3dx::StandardTemplates().At(member.templateIndex));
                return 0;
            case XPrimitive::String:
                String();
                return 0;
            case XPrimitive::Float:
                Float();
                return 0;
            default:
                break;
        }
        std::size_t size = d3dx::PrimitiveSize(member.type);
        std::uint64_t value = isCount ? m_random() % 4 : m_random();
        if (size < 8) value &= (std::uint64_t{1} << (size * 8)) - 1;
        for (std::size_t i = 0; i < size; ++i)
            m_bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        return value;
    }

    void String() {
        static const char kChars[] = "abcXYZ019 _-.;,{}[]()<>#/\\:'$%&*";
        std::size_t length = m_random() % 12;
        for (std::size_t i = 0; i < length; ++i)
            m_bytes.push_back(static_cast<std::uint8_t>(kChars[m_random() % (sizeof kChars - 1)]));
        m_bytes.push_back(0);
    }

    void Float() {
        static const float kSpecial[] = {0.0f,
                                         -0.0f,
                                         1.0f,
                                         -1.0f,
                                         0.1f,
                                         1e-30f,
                                         3.4e38f,
                                         std::numeric_limits<float>::denorm_min(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(),
                                         std::numeric_limits<float>::quiet_NaN(),
                                         -std::numeric_limits<float>::quiet_NaN()};
        float value;
        if (m_random() % 3 == 0) {
            value = kSpecial[m_random() % std::size(kSpecial)];
        } else {
            std::uint32_t bits = static_cast<std::uint32_t>(m_random());
            std::memcpy(&value, &bits, 4);
            if (std::isnan(value)) value = 0.5f;  // only the canonical NaNs have a spelling
        }
        std::uint32_t bits;
        std::memcpy(&bits, &value, 4);
        for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }

    std::mt19937_64 m_random;
    std::vector<std::uint8_t> m_bytes;
};

class RoundTrip : public ::testing::TestWithParam<xtest::FormatCase> {};

TEST_P(RoundTrip, EveryTemplatePayloadReadsBackByteIdentical) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    const auto& registry = d3dx::StandardTemplates();
    PayloadMaker maker(42);
    for (int round = 0; round < 20; ++round) {
        std::string path = dir.File("round" + std::to_string(round) + ".x");
        ID3DXFileSaveObject* save = nullptr;
        ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                                  GetParam().format, &save),
                  S_OK);
        std::vector<std::vector<std::uint8_t>> written;
        for (std::size_t t = 0; t < registry.Size(); ++t) {
            const XTemplate& tmpl = registry.At(t);
            written.push_back(maker.Make(tmpl));
            const auto& payload = written.back();
            std::string name = "Object" + std::to_string(t);
            ASSERT_EQ(save->AddDataObject(tmpl.guid, name.c_str(), nullptr, payload.size(),
                                          payload.empty() ? nullptr : payload.data(), nullptr),
                      S_OK)
                << tmpl.name;
        }
        ASSERT_EQ(save->Save(), S_OK);
        save->Release();

        // The file defines what it uses: a reader needs no templates of its own, and one
        // that knows them already reads the same objects.
        for (const auto& known : xtest::ReaderTemplateChoices()) {
            SCOPED_TRACE(known.name);
            auto contents = xtest::ReadBackWith(path, known.registry);
            ASSERT_EQ(contents.objects.size(), registry.Size());
            for (std::size_t t = 0; t < registry.Size(); ++t) {
                const auto& object = contents.objects[t];
                EXPECT_EQ(object.templateGuid, registry.At(t).guid);
                EXPECT_EQ(object.name, "Object" + std::to_string(t));
                EXPECT_EQ(object.payload, written[t]) << registry.At(t).name << " round " << round;
            }
        }
    }
}

TEST_P(RoundTrip, NestingChildrenAndReferencesKeepTheirOrder) {
    tarvo::testsupport::TempDir dir;
    xtest::StandardFile standard;
    std::string path = dir.File("tree.x");
    ID3DXFileSaveObject* save = nullptr;
    ASSERT_EQ(standard.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                              GetParam().format, &save),
              S_OK);
    // A chain of frames deeper than any skeleton, each with a reference back up.
    constexpr int kDepth = 300;
    ID3DXFileSaveData* parent = nullptr;
    ASSERT_EQ(save->AddDataObject(d3dx::StandardTemplates().FindByName("Frame")->guid, "F0",
                                  nullptr, 0, nullptr, &parent),
              S_OK);
    for (int level = 1; level < kDepth; ++level) {
        ID3DXFileSaveData* child = nullptr;
        std::string name = FrameName(level);
        ASSERT_EQ(parent->AddDataObject(d3dx::StandardTemplates().FindByName("Frame")->guid,
                                        name.c_str(), nullptr, 0, nullptr, &child),
                  S_OK);
        ASSERT_EQ(parent->AddDataReference(FrameName(level - 1).c_str(), nullptr), S_OK);
        parent->Release();
        parent = child;
    }
    parent->Release();
    ASSERT_EQ(save->Save(), S_OK);
    save->Release();

    auto contents = xtest::ReadBack(path);
    ASSERT_EQ(contents.objects.size(), 1u);
    const d3dx::XDataObject* frame = &contents.objects[0];
    for (int level = 1; level < kDepth; ++level) {
        ASSERT_EQ(frame->children.size(), 2u);
        ASSERT_FALSE(frame->children[0].IsReference());
        ASSERT_TRUE(frame->children[1].IsReference());
        EXPECT_EQ(frame->children[1].referenceName, FrameName(level - 1));
        frame = frame->children[0].object.get();
        EXPECT_EQ(frame->name, FrameName(level));
    }
}

INSTANTIATE_TEST_SUITE_P(AllForms, RoundTrip, ::testing::ValuesIn(xtest::kAllFormats),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
