#include <gtest/gtest.h>

#include <string>

#include "settings/XmlDocument.h"

namespace {

struct Parsed {
    XmlNode root;
    XmlParseOptions options;
    std::optional<std::size_t> end;
};

// Parses with the options the settings are read with.
std::unique_ptr<Parsed> ParseSettingsStyle(std::string_view text) {
    auto parsed = std::make_unique<Parsed>();
    parsed->options = SettingsParseOptions();
    parsed->end = Parse(parsed->root, text, parsed->options);
    return parsed;
}

std::unique_ptr<Parsed> ParsePlain(std::string_view text) {
    auto parsed = std::make_unique<Parsed>();
    parsed->end = Parse(parsed->root, text, parsed->options);
    return parsed;
}

std::string AttributeOf(const XmlNode& node, std::string_view name) {
    const std::string* value = FindAttribute(node, name);
    return value != nullptr ? *value : std::string("<missing>");
}

// ---- the four errors, with their exact messages ----

TEST(XmlParser, SlashNotFollowedByCloseIsElementMustBeClosed) {
    auto p = ParseSettingsStyle("<a / >");
    EXPECT_FALSE(p->end.has_value());
    EXPECT_TRUE(p->options.errorOccurred);
    EXPECT_EQ(p->options.errorCode, XmlError::ElementNotClosed);
    EXPECT_EQ(p->options.errorMessage, "Element must be closed.");
    EXPECT_EQ(p->options.errorPosition, 3u);
}

TEST(XmlParser, EndTagWithoutSpaceOrCloseAnywhereAfterIt) {
    auto p = ParseSettingsStyle("<outer><inner></inner></outer");
    EXPECT_FALSE(p->end.has_value());
    EXPECT_EQ(p->options.errorCode, XmlError::EndTagNotClosed);
    EXPECT_EQ(p->options.errorMessage, "it must be closed with </outer>");
}

TEST(XmlParser, EndTagNamingAnotherElementIsNotWellFormed) {
    auto p = ParseSettingsStyle("<a><b></c>");
    EXPECT_FALSE(p->end.has_value());
    EXPECT_EQ(p->options.errorCode, XmlError::EndTagMismatch);
    EXPECT_EQ(p->options.errorMessage, "'<b> ... </c>' is not wel-formed.");
    EXPECT_EQ(p->options.errorPosition, 10u);  // just after the ">" of "</c>"
}

TEST(XmlParser, AttributeNameWithNothingAfterItHasError) {
    auto p = ParseSettingsStyle("<a x>");
    EXPECT_FALSE(p->end.has_value());
    EXPECT_EQ(p->options.errorCode, XmlError::AttributeNameNotEnded);
    EXPECT_EQ(p->options.errorMessage, "<a> attribute has error ");
}

TEST(XmlParser, OnlyTheFirstErrorIsRecorded) {
    XmlParseOptions options = SettingsParseOptions();
    XmlNode first;
    Parse(first, "<a><b></c>", options);
    XmlNode second;
    Parse(second, "<a / >", options);
    EXPECT_EQ(options.errorCode, XmlError::EndTagMismatch);
    EXPECT_EQ(options.errorMessage, "'<b> ... </c>' is not wel-formed.");
}

TEST(XmlParser, ErrorNamesTheElementsItConcerns) {
    EXPECT_EQ(ParseSettingsStyle("<a / >")->options.errorElement, "a");
    EXPECT_EQ(ParseSettingsStyle("<outer><in/></outer")->options.errorElement, "outer");
    EXPECT_EQ(ParseSettingsStyle("<a x>")->options.errorElement, "a");
    auto mismatch = ParseSettingsStyle("<a><b></c>");
    EXPECT_EQ(mismatch->options.errorElement, "b");
    EXPECT_EQ(mismatch->options.errorEndTag, "c");
    EXPECT_TRUE(ParseSettingsStyle("<a / >")->options.errorEndTag.empty());
}

TEST(XmlParser, OnlyTheFirstErrorsNamesAreKept) {
    XmlParseOptions options = SettingsParseOptions();
    XmlNode first;
    Parse(first, "<a><b></c>", options);
    XmlNode second;
    Parse(second, "<z><y></x>", options);
    EXPECT_EQ(options.errorElement, "b");
    EXPECT_EQ(options.errorEndTag, "c");
}

TEST(XmlParser, ErrorInsideADeepChildStopsTheWholeParse) {
    auto p = ParseSettingsStyle("<a><b><c x='1' / ></b></a>");
    EXPECT_FALSE(p->end.has_value());
    EXPECT_EQ(p->options.errorMessage, "Element must be closed.");
}

// ---- structure ----

TEST(XmlParser, EmptyElement) {
    auto p = ParseSettingsStyle("<a/>");
    ASSERT_EQ(p->end, std::optional<std::size_t>(4));
    EXPECT_FALSE(p->options.errorOccurred);
    EXPECT_EQ(p->root.name, "a");
    EXPECT_TRUE(p->root.attributes.empty());
    EXPECT_TRUE(p->root.children.empty());
    EXPECT_EQ(p->root.value, "");
}

TEST(XmlParser, LeadingDeclarationIsSkipped) {
    auto p = ParseSettingsStyle("<?xml version=\"1.0\" ?>\r\n<root k=\"v\" />");
    ASSERT_TRUE(p->end.has_value());
    EXPECT_EQ(p->root.name, "root");
    EXPECT_EQ(AttributeOf(p->root, "k"), "v");
}

TEST(XmlParser, CommentsAreNotRecognised) {
    // A comment reads as an element "!--" whose last word never ends an attribute name.
    auto p = ParseSettingsStyle("<!-- note --><a/>");
    EXPECT_EQ(p->root.name, "!--");
    EXPECT_EQ(p->options.errorMessage, "<!--> attribute has error ");
}

TEST(XmlParser, QuotedAndUnquotedValues) {
    auto p = ParseSettingsStyle("<a x='1' y=2></a>");
    ASSERT_TRUE(p->end.has_value());
    EXPECT_EQ(AttributeOf(p->root, "x"), "1");
    EXPECT_EQ(AttributeOf(p->root, "y"), "2");
}

TEST(XmlParser, AttributeWithoutValueIsEmpty) {
    auto p = ParseSettingsStyle("<a x y='1'></a>");
    ASSERT_TRUE(p->end.has_value());
    ASSERT_EQ(p->root.attributes.size(), 2u);
    EXPECT_EQ(p->root.attributes[0]->name, "x");
    EXPECT_EQ(p->root.attributes[0]->value, "");
    EXPECT_EQ(p->root.attributes[1]->name, "y");
    EXPECT_EQ(p->root.attributes[1]->value, "1");
    EXPECT_EQ(p->root.attributes[1]->owner, &p->root);
}

TEST(XmlParser, ElementStillOpenAtTheEndIsKept) {
    auto p = ParseSettingsStyle("<a>text");
    ASSERT_TRUE(p->end.has_value());
    EXPECT_EQ(*p->end, 7u);
    EXPECT_FALSE(p->options.errorOccurred);
    EXPECT_EQ(p->root.name, "a");
    EXPECT_EQ(p->root.value, "text");
}

TEST(XmlParser, TextEndingInsideAStartTagStopsWithoutError) {
    auto p = ParseSettingsStyle("<a><b x='1'");
    EXPECT_FALSE(p->end.has_value());
    EXPECT_FALSE(p->options.errorOccurred);
    ASSERT_EQ(p->root.children.size(), 1u);
    EXPECT_EQ(AttributeOf(*p->root.children[0], "x"), "1");
}

TEST(XmlParser, TextWithoutAnElementGivesNothing) {
    auto p = ParseSettingsStyle("just words");
    EXPECT_FALSE(p->end.has_value());
    EXPECT_FALSE(p->options.errorOccurred);
    EXPECT_EQ(p->root.name, "");
}

TEST(XmlParser, ChildrenInOrderWithParentsSet) {
    auto p = ParseSettingsStyle("<a><b/><c></c><b k='2'/></a>");
    ASSERT_TRUE(p->end.has_value());
    ASSERT_EQ(ChildCount(p->root), 3u);
    EXPECT_EQ(ChildAt(p->root, 0)->name, "b");
    EXPECT_EQ(ChildAt(p->root, 1)->name, "c");
    EXPECT_EQ(ChildAt(p->root, 2)->parent, &p->root);
    EXPECT_EQ(ChildAt(p->root, 3), nullptr);
    EXPECT_EQ(ChildAt(p->root, -1), nullptr);
    // The first match wins.
    EXPECT_EQ(FindChild(p->root, "b"), ChildAt(p->root, 0));
    EXPECT_EQ(FindChild(p->root, "B"), nullptr);
}

TEST(XmlParser, EndTagMayCarryWhiteSpaceBeforeItsName) {
    auto p = ParseSettingsStyle("<a><b></ b ></a>");
    ASSERT_TRUE(p->end.has_value());
    EXPECT_FALSE(p->options.errorOccurred);
    EXPECT_EQ(ChildCount(p->root), 1u);
    // Reading goes on just after the name's space, so the ">" becomes the outer text.
    EXPECT_EQ(p->root.value, ">");
}

TEST(XmlParser, ReturnsThePositionAfterTheElement) {
    auto p = ParseSettingsStyle("<a></a> trailing <b/>");
    EXPECT_EQ(p->end, std::optional<std::size_t>(7));
}

TEST(XmlParser, ElementTextIsTheFirstRunOfText) {
    auto p = ParseSettingsStyle("<a>  <b/> later </a>");
    ASSERT_TRUE(p->end.has_value());
    EXPECT_EQ(p->root.value, "later");
}

TEST(XmlParser, FirstAttributeOfANameWins) {
    auto p = ParseSettingsStyle("<a k='first' k='second'/>");
    EXPECT_EQ(AttributeOf(p->root, "k"), "first");
}

TEST(XmlParser, ParsingAgainReplacesAttributesAndChildren) {
    XmlNode node;
    XmlParseOptions options = SettingsParseOptions();
    Parse(node, "<a x='1'><b/></a>", options);
    Parse(node, "<c/>", options);
    EXPECT_EQ(node.name, "c");
    EXPECT_TRUE(node.attributes.empty());
    EXPECT_TRUE(node.children.empty());
}

TEST(XmlParser, TextEndsAtAZeroCharacter) {
    // Without the cut, "</b>" would be a mismatched end tag.
    auto p = ParseSettingsStyle(std::string_view("<a>\0</b>", 8));
    EXPECT_TRUE(p->end.has_value());
    EXPECT_FALSE(p->options.errorOccurred);
    EXPECT_EQ(p->root.name, "a");
}

TEST(XmlParser, DeepNestingIsRefusedInsteadOfExhaustingTheStack) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "<a>";
    auto p = ParseSettingsStyle(text);
    EXPECT_FALSE(p->end.has_value());
    EXPECT_EQ(p->options.errorCode, XmlError::NestedTooDeeply);
    EXPECT_EQ(p->options.errorMessage, "Elements are nested too deeply.");
}

TEST(XmlParser, NestingUpToTheLimitIsAccepted) {
    std::string text;
    for (int i = 0; i < kXmlMaxDepth; ++i) text += "<a>";
    auto p = ParseSettingsStyle(text);
    EXPECT_TRUE(p->end.has_value());
    EXPECT_FALSE(p->options.errorOccurred);
}

// ---- values: trim, escape, entities ----

TEST(XmlParser, TrimmedAndDecodedAttributeValue) {
    auto p = ParseSettingsStyle("<a v=\" &lt;&amp;&gt; \"/>");
    EXPECT_EQ(AttributeOf(p->root, "v"), "<&>");
}

TEST(XmlParser, WithoutOptionsValuesAreVerbatim) {
    auto p = ParsePlain("<a v=\" &lt;\\x \"/>");
    EXPECT_EQ(AttributeOf(p->root, "v"), " &lt;\\x ");
}

TEST(XmlParser, DecodingIsASinglePass) {
    auto p = ParseSettingsStyle("<a v='&amp;lt;' w='&#65;&nbsp;'/>");
    EXPECT_EQ(AttributeOf(p->root, "v"), "&lt;");
    EXPECT_EQ(AttributeOf(p->root, "w"), "&#65;&nbsp;");
}

TEST(XmlParser, BackslashKeepsAQuoteInsideAQuotedValue) {
    auto p = ParseSettingsStyle(R"(<a v="say \"hi\" now" w="2"/>)");
    EXPECT_EQ(AttributeOf(p->root, "v"), "say \"hi\" now");
    EXPECT_EQ(AttributeOf(p->root, "w"), "2");
}

TEST(XmlParser, BackslashBeforeAnOrdinaryCharacterIsDropped) {
    auto p = ParseSettingsStyle(R"(<a v="C:\dir" w="a\\b"/>)");
    EXPECT_EQ(AttributeOf(p->root, "v"), "C:dir");
    EXPECT_EQ(AttributeOf(p->root, "w"), "a\\b");
}

TEST(XmlParser, BackslashAtTheEndOfTheTextEndsTheScan) {
    auto p = ParseSettingsStyle("<a v=\"x\\");
    EXPECT_FALSE(p->end.has_value());
    EXPECT_FALSE(p->options.errorOccurred);
    EXPECT_EQ(AttributeOf(p->root, "v"), "x");
}

TEST(XmlParser, UnquotedValueEndsAtSpaceOrClose) {
    auto p = ParseSettingsStyle("<a v=ab\\ cd w=x>t</a>");
    EXPECT_EQ(AttributeOf(p->root, "v"), "ab cd");
    EXPECT_EQ(AttributeOf(p->root, "w"), "x");
    EXPECT_EQ(p->root.value, "t");
}

TEST(XmlParser, ElementTextIsTrimmedAndDecoded) {
    auto p = ParseSettingsStyle("<a>\r\n\t a &quot;b&apos; \\< c\r\n</a>");
    EXPECT_EQ(p->root.value, "a \"b' < c");
}

TEST(XmlParser, EmptyQuotedValue) {
    auto p = ParseSettingsStyle("<a v='' w=\"   \"/>");
    EXPECT_EQ(AttributeOf(p->root, "v"), "");
    EXPECT_EQ(AttributeOf(p->root, "w"), "");
}

TEST(XmlParser, ElementNameStopsOnlyAtSpaceSlashOrClose) {
    auto p = ParseSettingsStyle("<a\tb/>");
    EXPECT_EQ(p->root.name, "a\tb");
}

// ---- entities on their own ----

TEST(XmlEntities, EncodeReplacesTheFiveCharacters) {
    EXPECT_EQ(EncodeEntities(StandardEntityTable(), "a<b>&\"'"), "a&lt;b&gt;&amp;&quot;&apos;");
    EXPECT_EQ(EncodeEntities(StandardEntityTable(), "plain"), "plain");
}

TEST(XmlEntities, DecodeUndoesEncode) {
    const std::string text = "<&>\"' &amp; ;&";
    EXPECT_EQ(DecodeEntities(StandardEntityTable(), EncodeEntities(StandardEntityTable(), text)),
              text);
}

TEST(XmlEntities, TableOrderAndLengths) {
    const auto& entries = StandardEntityTable().entries;
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].character, '&');
    EXPECT_EQ(entries[0].reference, "&amp;");
    EXPECT_EQ(entries[1].reference.size(), 6u);
    EXPECT_EQ(entries[2].reference, "&apos;");
    EXPECT_EQ(entries[3].reference, "&lt;");
    EXPECT_EQ(entries[4].reference, "&gt;");
}

}  // namespace
