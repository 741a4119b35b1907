#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/XmlDocument.h"

namespace {

TEST(XmlWriter, ElementWithAttributesAndNoContentHasASpaceBeforeTheSlash) {
    XmlNode node;
    node.name = "max-objects";
    AddAttribute(node, "geom", "on");
    XmlWriteOptions options;
    EXPECT_EQ(Write(node, options), "<max-objects geom=\"on\" />");
}

TEST(XmlWriter, ElementWithoutAttributesOrContent) {
    XmlNode node;
    node.name = "segments";
    XmlWriteOptions options;
    EXPECT_EQ(Write(node, options), "<segments/>");
}

TEST(XmlWriter, ValuesAreEncoded) {
    XmlNode node;
    node.name = "a";
    AddAttribute(node, "v", "a<b");
    AddAttribute(node, "w", "it's");
    XmlWriteOptions options = SettingsWriteOptions();
    options.lineBreaks = false;
    EXPECT_EQ(Write(node, options), "<a v=\"a&lt;b\" w=\"it&apos;s\" />");
}

TEST(XmlWriter, NamesAreNeverEncoded) {
    XmlNode node;
    node.name = "a&b";
    AddAttribute(node, "x<y", "1");
    XmlWriteOptions options = SettingsWriteOptions();
    options.lineBreaks = false;
    EXPECT_EQ(Write(node, options), "<a&b x<y=\"1\" />");
}

TEST(XmlWriter, QuoteCharacterIsAnOption) {
    XmlNode node;
    node.name = "a";
    AddAttribute(node, "v", "1");
    XmlWriteOptions options;
    options.quoteChar = '\'';
    EXPECT_EQ(Write(node, options), "<a v='1' />");
}

TEST(XmlWriter, LineBreaksIndentChildrenAndLeaveDepthAsFound) {
    XmlNode root;
    root.name = "r";
    XmlNode& group = CreateChild(root, "g");
    CreateChild(group, "leaf");
    XmlWriteOptions options = SettingsWriteOptions();
    EXPECT_EQ(Write(root, options), "\r\n<r>\r\n\t<g>\r\n\t\t<leaf/>\r\n\t</g>\r\n</r>");
    EXPECT_EQ(options.depth, 0);
}

TEST(XmlWriter, StartingDepthIndentsEverything) {
    XmlNode root;
    root.name = "r";
    CreateChild(root, "c");
    XmlWriteOptions options = SettingsWriteOptions();
    options.depth = 2;
    EXPECT_EQ(Write(root, options), "\r\n\t\t<r>\r\n\t\t\t<c/>\r\n\t\t</r>");
    EXPECT_EQ(options.depth, 2);
}

TEST(XmlWriter, TextOfALeafStaysOnItsLine) {
    XmlNode root;
    root.name = "r";
    CreateChild(root, "c", "x>y");
    XmlWriteOptions options = SettingsWriteOptions();
    EXPECT_EQ(Write(root, options), "\r\n<r>\r\n\t<c>x&gt;y</c>\r\n</r>");
}

TEST(XmlWriter, TextBesideChildrenGoesOnItsOwnLine) {
    XmlNode root;
    root.name = "r";
    root.value = "t";
    CreateChild(root, "c");
    XmlWriteOptions options = SettingsWriteOptions();
    EXPECT_EQ(Write(root, options), "\r\n<r>\r\n\t<c/>\r\n\tt\r\n</r>");
}

TEST(XmlWriter, BackslashesAreDoubledSoThatTheyReadBack) {
    XmlNode node;
    node.name = "a";
    AddAttribute(node, "v", "C:\\x\\");
    XmlWriteOptions options = SettingsWriteOptions();
    options.lineBreaks = false;
    const std::string text = Write(node, options);
    EXPECT_EQ(text, "<a v=\"C:\\\\x\\\\\" />");

    XmlNode back;
    XmlParseOptions parseOptions = SettingsParseOptions();
    ASSERT_TRUE(Parse(back, text, parseOptions).has_value());
    EXPECT_EQ(*FindAttribute(back, "v"), "C:\\x\\");
}

TEST(XmlWriter, CreateChildAndAddAttributeSetTheirLinks) {
    XmlNode root;
    XmlNode& child = CreateChild(root, "c");
    XmlAttribute& attribute = AddAttribute(child, "k", "v");
    EXPECT_EQ(child.parent, &root);
    EXPECT_EQ(child.value, "");
    EXPECT_EQ(attribute.owner, &child);
    EXPECT_EQ(*FindAttribute(child, "k"), "v");
    EXPECT_EQ(FindAttribute(child, "K"), nullptr);
}

// Trees of random names, values and shapes survive a write and a read with the settings
// options, as long as values have no white space at their ends (reading trims it).
std::string RandomValue(std::mt19937& random) {
    static const std::string alphabet = "ab Z09&<>\"'\\;=/?!\t-";
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string value;
    for (int i = length(random); i > 0; --i) value += alphabet[pick(random)];
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    return value;
}

std::string RandomName(std::mt19937& random) {
    std::uniform_int_distribution<int> letter('a', 'z');
    std::uniform_int_distribution<int> length(1, 8);
    std::string name;
    for (int i = length(random); i > 0; --i) name += static_cast<char>(letter(random));
    return name;
}

void FillRandomly(XmlNode& node, std::mt19937& random, int depth) {
    std::uniform_int_distribution<int> count(0, 3);
    for (int i = count(random); i > 0; --i)
        AddAttribute(node, RandomName(random), RandomValue(random));
    if (depth >= 4) return;
    for (int i = count(random); i > 0; --i) {
        XmlNode& child = CreateChild(node, RandomName(random));
        FillRandomly(child, random, depth + 1);
    }
    if (node.children.empty() && count(random) == 0) node.value = RandomValue(random);
}

void ExpectSameTree(const XmlNode& expected, const XmlNode& actual) {
    EXPECT_EQ(actual.name, expected.name);
    EXPECT_EQ(actual.value, expected.value);
    ASSERT_EQ(actual.attributes.size(), expected.attributes.size());
    for (std::size_t i = 0; i < expected.attributes.size(); ++i) {
        EXPECT_EQ(actual.attributes[i]->name, expected.attributes[i]->name);
        EXPECT_EQ(actual.attributes[i]->value, expected.attributes[i]->value);
    }
    ASSERT_EQ(actual.children.size(), expected.children.size());
    for (std::size_t i = 0; i < expected.children.size(); ++i) {
        ExpectSameTree(*expected.children[i], *actual.children[i]);
    }
}

TEST(XmlWriter, RandomTreesReadBackUnchanged) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round) {
        XmlNode tree;
        tree.name = RandomName(random);
        FillRandomly(tree, random, 0);
        XmlWriteOptions writeOptions = SettingsWriteOptions();
        const std::string text = Write(tree, writeOptions);

        XmlNode back;
        XmlParseOptions parseOptions = SettingsParseOptions();
        Parse(back, text, parseOptions);
        ASSERT_FALSE(parseOptions.errorOccurred) << parseOptions.errorMessage << "\n" << text;
        ExpectSameTree(tree, back);
        if (HasFailure()) {
            ADD_FAILURE() << "text was:\n" << text;
            return;
        }
    }
}

}  // namespace
