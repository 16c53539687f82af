// Answers a hostile or broken server could send: each must end in an error or in a tree of elements and text,
// never in a crash, a hang, or markup in the XML that the server put there.

#include "ActiveSyncLanguage.h"
#include "WbxmlAdapter.h"
#include "WbxmlScreen.h"
#include "WbxmlTree.h"

#include <tinyxml.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// WBXML 1.3, public id 1, UTF-8, no string table.
const Bytes kHeader = {0x03, 0x01, 0x6A, 0x00};

Bytes Answer(const Bytes& body, const Bytes& header = kHeader)
{
    Bytes out = header;
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Repeat(const Bytes& piece, std::size_t times)
{
    Bytes out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A header carrying this string table.
Bytes HeaderWithTable(const std::string& table)
{
    const std::string header = std::string("\x03\x01\x6A", 3) + static_cast<char>(table.size()) + table;
    return Bytes(header.begin(), header.end());
}

// Elements nested depth deep (Sync, token 0x05 with content), the innermost holding "x".
Bytes Nested(std::size_t depth)
{
    return Answer(Join({Repeat({0x45}, depth), {0x03, 'x', 0x00}, Repeat({0x01}, depth)}));
}

WbxmlResult Parse(const Bytes& bytes, WBXMLTree** tree)
{
    static const unsigned char none = 0;
    return WbxmlParseTree(bytes.empty() ? &none : bytes.data(), static_cast<unsigned>(bytes.size()),
                          ActiveSyncLanguages(), kActiveSyncLanguageId, tree);
}

std::string CanonicalXml(WBXMLTree* tree)
{
    char* text = nullptr;
    unsigned length = 0;
    EXPECT_EQ(WbxmlTreeToXml(tree, kWbxmlXmlCanonical, &text, &length), kWbxmlOk);
    std::string xml(text != nullptr ? text : "", length);
    WbxmlFreeBytes(reinterpret_cast<unsigned char*>(text));
    return xml;
}

// Every node is an element or a text, and every element's name is one of the language's (or "unknown").
void ExpectOnlyElementsAndText(const WBXMLTreeNode* node, const char* what)
{
    std::vector<const WBXMLTreeNode*> pending{node};
    while (!pending.empty()) {
        const WBXMLTreeNode* at = pending.back();
        pending.pop_back();
        ASSERT_TRUE(at->type == WBXML_TREE_ELEMENT_NODE || at->type == WBXML_TREE_TEXT_NODE) << what;
        EXPECT_EQ(at->tree, nullptr) << what;
        if (at->type == WBXML_TREE_ELEMENT_NODE) {
            const char* name = WbxmlElementName(at);
            ASSERT_NE(name, nullptr) << what;
            EXPECT_TRUE(std::strcmp(name, "unknown") == 0 || ActiveSyncTagFromName(name) != nullptr)
                << what << ": " << name;
        }
        for (const WBXMLTreeNode* child = at->children; child != nullptr; child = child->next)
            pending.push_back(child);
    }
}

}  // namespace

TEST(WbxmlHostile, EachAnswerEndsInAnErrorOrAPlainTree)
{
    // The string table of the SyncML cases: "Add" at 0, "Item" at 4, "Data" at 9, "Meta" at 14, "Type" at 19,
    // the embedded-document type at 24.
    const std::string syncMlTable = std::string("Add\0Item\0Data\0Meta\0Type\0", 24) +
                                    std::string("application/vnd.syncml-devinf+wbxml\0", 36);
    struct Case {
        const char* what;
        Bytes bytes;
        WbxmlResult expected;
    };
    const Case cases[] = {
        // The library asserts on entity codes of 2^31 and above.
        {"entity code 2^31", {0x03, 0x01, 0x6A, 0x00, 0x45, 0x02, 0x88, 0x80, 0x80, 0x80, 0x00, 0x01},
         kWbxmlErrEntityCodeOverflow},
        {"entity beyond Unicode", Answer({0x45, 0x02, 0xC4, 0x80, 0x00, 0x01}), kWbxmlErrEntityCodeOverflow},
        {"entity naming a surrogate", Answer({0x45, 0x02, 0x83, 0xB0, 0x00, 0x01}), kWbxmlErrEntityCodeOverflow},
        {"number beyond 32 bits", Answer({0x45, 0x02, 0x9F, 0xFF, 0xFF, 0xFF, 0x7F, 0x01}),
         kWbxmlErrInvalidMbUint32},
        {"number of six bytes", Answer({0x45, 0x02, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0x01}),
         kWbxmlErrInvalidMbUint32},
        // The library's length check adds in 32 bits: 0xFFFFFFF0 wraps around and passes it.
        {"opaque longer than the answer", Answer({0x45, 0xC3, 0x8F, 0xFF, 0xFF, 0xFF, 0x70, 'a', 0x01}),
         kWbxmlErrBadOpaqueLength},
        // About 80 KB of nesting overflowed the parser's stack.
        {"nesting of 40,000 levels", Nested(40000), kWbxmlErrNestingTooDeep},
        {"nesting one level too deep", Nested(kWbxmlMaxDepth + 1), kWbxmlErrNestingTooDeep},
        {"string table", Answer({0x45, 0x01}, HeaderWithTable(std::string("ab\0", 3))), kWbxmlErrStrtblDisabled},
        // A literal "Data" under Add > Item was given a CDATA node, so its text read as absent.
        {"literal Data under Add and Item",
         Answer({0x44, 0x00, 0x44, 0x04, 0x44, 0x09, 0x03, 'x', 0x00, 0x01, 0x01, 0x01}, HeaderWithTable(syncMlTable)),
         kWbxmlErrStrtblDisabled},
        // Data typed as an embedded document was parsed as one, its markup then written into the XML.
        {"literal Data typed as an embedded document",
         Answer({0x45, 0x44, 0x0E, 0x44, 0x13, 0x83, 0x18, 0x01, 0x01,  // Meta > Type > table string
                 0x44, 0x09, 0xC3, 0x0A, 0x03, 0x01, 0x6A, 0x00, 0x45, 0x03, '<', 'x', 0x00, 0x01,  // Data
                 0x01, 0x01},
                HeaderWithTable(syncMlTable)),
         kWbxmlErrStrtblDisabled},
        {"literal tag without a table", Answer({0x45, 0x44, 0x00, 0x01, 0x01}), kWbxmlErrNullStringTable},
        {"table string without a table", Answer({0x45, 0x83, 0x00, 0x01}), kWbxmlErrNullStringTable},
        {"public id by table index", {0x03, 0x00, 0x00, 0x6A, 0x00, 0x45, 0x01}, kWbxmlOk},
        {"table naming the public id", {0x03, 0x00, 0x00, 0x6A, 0x02, 'p', 0x00, 0x45, 0x01}, kWbxmlOk},
        {"literal tag beside a table naming the public id",
         {0x03, 0x00, 0x00, 0x6A, 0x02, 'p', 0x00, 0x45, 0x04, 0x00, 0x01}, kWbxmlErrStrtblDisabled},
        {"attributes", Answer({0xC5, 0x05, 0x01, 0x01}), kWbxmlErrAttrTableUndefined},
        {"processing instruction", Answer({0x43, 0x05, 0x01, 0x45, 0x01}), kWbxmlErrAttrTableUndefined},
        {"processing instruction in content", Answer({0x45, 0x43, 0x05, 0x01, 0x01}), kWbxmlErrAttrTableUndefined},
        {"extension token", Answer({0x45, 0xC0, 0x01}), kWbxmlErrUnknownExtensionToken},
        {"extension after a page switch", Answer({0x45, 0x00, 0x01, 0x40, 'a', 0x00, 0x01}),
         kWbxmlErrUnknownExtensionToken},
        {"UTF-16 character set", {0x03, 0x01, 0x87, 0x77, 0x00, 0x45, 0x01}, kWbxmlErrInternal},
        {"nesting at the bound", Nested(kWbxmlMaxDepth), kWbxmlOk},
        {"content after the root", Answer({0x45, 0x01, 0x45, 0x01, 0xFF}), kWbxmlOk},
        {"empty root after a page switch", Answer({0x00, 0x07, 0x16}), kWbxmlOk},
        {"unknown token in content", Answer({0x45, 0x00, 0x1F, 0x7F, 0x01, 0x01}), kWbxmlOk},
    };
    for (const Case& c : cases) {
        WBXMLTree* tree = nullptr;
        EXPECT_EQ(Parse(c.bytes, &tree), c.expected) << c.what;
        if (c.expected != kWbxmlOk) {
            EXPECT_EQ(tree, nullptr) << c.what;
            continue;
        }
        ASSERT_NE(tree, nullptr) << c.what;
        ExpectOnlyElementsAndText(tree->root, c.what);
        TiXmlDocument doc;
        doc.Parse(CanonicalXml(tree).c_str());
        EXPECT_FALSE(doc.Error()) << c.what << ": " << doc.ErrorDesc();
        WbxmlDestroyTree(tree);
    }
}

TEST(WbxmlHostile, ManyChildrenAndPiecesParseInLinearTime)
{
    // 200,000 empty elements under one, then one element of 100,000 one-character entities: appending each child
    // after a walk over its siblings took 37 s for the first alone.
    const Bytes flat = Answer(Join({{0x45}, Repeat({0x07}, 200000), {0x01}}));
    const Bytes pieces = Answer(Join({{0x45, 0x4D}, Repeat({0x02, 'A'}, 100000), {0x01, 0x01}}));

    const auto start = std::chrono::steady_clock::now();
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(Parse(flat, &tree), kWbxmlOk);
    std::size_t children = 0;
    for (const WBXMLTreeNode* child = tree->root->children; child != nullptr; child = child->next)
        ++children;
    EXPECT_EQ(children, 200000u);
    WbxmlDestroyTree(tree);

    ASSERT_EQ(Parse(pieces, &tree), kWbxmlOk);
    unsigned length = 0;
    const char* text = ElementText(WbxmlFindElement(tree->root, "0x0D_0x00", true, 0), &length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, length), std::string(100000, 'A'));
    EXPECT_EQ(tree->root->children->children->next, nullptr) << "the pieces must form one text node";
    WbxmlDestroyTree(tree);
    // A guard against a hang, not a measure of speed (bench/ measures that): the quadratic build took minutes.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(WbxmlHostile, ControlBytesInTextStayReadableInEveryXmlForm)
{
    // Search (page 15) > Status holding opaque "a" NUL "b" 0x01 "c" tab, then inline "d" ESC.
    const Bytes answer = Answer({0x00, 0x0F, 0x45, 0x4C, 0xC3, 0x06, 'a', 0x00, 'b', 0x01, 'c', '\t', 0x03, 'd',
                                 0x1B, 0x00, 0x01, 0x01});
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(Parse(answer, &tree), kWbxmlOk);
    unsigned length = 0;
    const char* text = ElementText(tree->root->children, &length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, length), std::string("a\0b\x01" "c\td\x1B", 8)) << "the tree keeps the bytes";

    for (WbxmlXmlForm form : {kWbxmlXmlCanonical, kWbxmlXmlCompact, kWbxmlXmlIndent}) {
        char* xml = nullptr;
        unsigned xmlLength = 0;
        ASSERT_EQ(WbxmlTreeToXml(tree, form, &xml, &xmlLength), kWbxmlOk);
        const std::string out(xml, xmlLength);
        WbxmlFreeBytes(reinterpret_cast<unsigned char*>(xml));
        EXPECT_EQ(std::strlen(out.c_str()), out.size()) << "a NUL inside the text, form " << form;
        for (unsigned char c : out)
            EXPECT_FALSE(c < 0x20 && c != '\t' && c != '\n' && c != '\r') << "byte " << int(c) << ", form " << form;
        if (form != kWbxmlXmlCanonical)
            continue;
        TiXmlDocument doc;
        doc.Parse(out.c_str());
        ASSERT_FALSE(doc.Error()) << doc.ErrorDesc() << "\n" << out;
        ASSERT_NE(doc.RootElement(), nullptr) << out;
        const TiXmlElement* status = doc.RootElement()->FirstChildElement("Status");
        ASSERT_NE(status, nullptr) << out;
        EXPECT_STREQ(status->GetText(), "a\xE2\x90\x80" "b\xE2\x90\x81" "c\td\xE2\x90\x9B");
    }
    WbxmlDestroyTree(tree);
}

TEST(WbxmlHostile, ChildAppendedUnderAnEmbeddedDocumentIsFreedOnce)
{
    // A node of the library's embedded-document kind owns its tree field; its child must not share it.
    WBXMLTree* embedded = nullptr;
    ASSERT_EQ(CreateWbxmlTree(&embedded), kNoError);
    WBXMLTreeNode* holder = wbxml_tree_node_create(WBXML_TREE_TREE_NODE);
    ASSERT_NE(holder, nullptr);
    holder->tree = embedded;
    WBXMLTreeNode* child = nullptr;
    ASSERT_EQ(CreateTextElementNode(&child, "0x0D_0x00", "5:1"), kNoError);
    ASSERT_EQ(AppendChildNode(holder, nullptr, child), kNoError);
    EXPECT_EQ(child->tree, nullptr);
    WbxmlDestroyNode(holder);
}
