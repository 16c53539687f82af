#include "ActiveSyncLanguage.h"
#include "WbxmlAdapter.h"
#include "WbxmlTestBytes.h"
#include "WbxmlTree.h"

#include <tinyxml.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// FolderSync (page 7 token 0x16) holding SyncKey (token 0x12) "0".
const std::vector<unsigned char> kFolderSyncKey0 = {0x03, 0x01, 0x6A, 0x00, 0x00, 0x07, 0x56,
                                                    0x52, 0x03, 0x30, 0x00, 0x01, 0x01};

std::string TextOf(const WBXMLTreeNode* element)
{
    std::string text;
    for (const WBXMLTreeNode* child = element->children; child != nullptr; child = child->next) {
        unsigned length = 0;
        if (const char* piece = WbxmlNodeText(child, &length))
            text.append(piece, length);
    }
    return text;
}

}  // namespace

TEST(WbxmlCodec, FolderSyncRequestEncodesToExactBytes)
{
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(WbxmlCreateTree(ActiveSyncLanguage(), &tree), kWbxmlOk);
    WBXMLTreeNode* root = WbxmlCreateElement(ActiveSyncLanguage(), "0x16_0x07");
    WBXMLTreeNode* key = WbxmlCreateElement(ActiveSyncLanguage(), "0x12_0x07");
    WBXMLTreeNode* text = WbxmlCreateText("0", 1);
    ASSERT_TRUE(root && key && text);
    ASSERT_TRUE(WbxmlAddNode(tree, nullptr, root));
    ASSERT_TRUE(WbxmlAddNode(tree, root, key));
    ASSERT_TRUE(WbxmlAddNode(tree, key, text));

    unsigned char* bytes = nullptr;
    unsigned length = 0;
    ASSERT_EQ(WbxmlEncodeTree(tree, &bytes, &length), kWbxmlOk);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + length), kFolderSyncKey0);
    WbxmlFreeBytes(bytes);
    WbxmlDestroyTree(tree);
}

TEST(WbxmlCodec, FolderSyncBytesParseBackIntoOurLanguage)
{
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(WbxmlParseTree(kFolderSyncKey0.data(), static_cast<unsigned>(kFolderSyncKey0.size()),
                             ActiveSyncLanguages(), kActiveSyncLanguageId, &tree),
              kWbxmlOk);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->lang, ActiveSyncLanguage());
    const WBXMLTreeNode* root = tree->root;
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(WbxmlElementName(root), "0x16_0x07");
    EXPECT_EQ(root->next, nullptr);
    const WBXMLTreeNode* key = root->children;
    ASSERT_NE(key, nullptr);
    EXPECT_STREQ(WbxmlElementName(key), "0x12_0x07");
    EXPECT_EQ(key->next, nullptr);
    EXPECT_EQ(TextOf(key), "0");
    WbxmlDestroyTree(tree);
}

TEST(WbxmlCodec, UnknownElementNameMakesNoNode)
{
    EXPECT_EQ(WbxmlCreateElement(ActiveSyncLanguage(), "FolderSync"), nullptr);
    EXPECT_EQ(WbxmlCreateElement(ActiveSyncLanguage(), ""), nullptr);
    EXPECT_EQ(WbxmlCreateElement(nullptr, "0x16_0x07"), nullptr);
}

namespace {

// Builds element under parent (the tree's root when parent is null), with text when given.
WBXMLTreeNode* Add(WBXMLTree* tree, WBXMLTreeNode* parent, const char* name, const char* text = nullptr)
{
    WBXMLTreeNode* node = nullptr;
    EXPECT_EQ(CreateTextElementNode(&node, name, text), kNoError) << name;
    if (parent == nullptr)
        EXPECT_TRUE(WbxmlAddNode(tree, nullptr, node));
    else
        EXPECT_EQ(AppendChildNode(parent, nullptr, node), kNoError);
    return node;
}

}  // namespace

TEST(WbxmlCodec, RequestThatSwitchesPagesEncodesToExactBytes)
{
    // GetItemEstimate (page 6) carrying AirSync (page 0) FilterType and SyncKey in each of two collections: the
    // encoder switches to page 0 inside the first and back to page 6 for the second.
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(CreateWbxmlTree(&tree), kNoError);
    WBXMLTreeNode* root = Add(tree, nullptr, "0x05_0x06");
    WBXMLTreeNode* collections = Add(tree, root, "0x07_0x06");
    const char* rows[2][4] = {{"Email", "5", "3", "1"}, {"Calendar", "7", "4", "2"}};
    for (const auto& row : rows) {
        WBXMLTreeNode* collection = Add(tree, collections, "0x08_0x06");
        Add(tree, collection, "0x09_0x06", row[0]);
        Add(tree, collection, "0x0A_0x06", row[1]);
        Add(tree, collection, "0x18_0x00", row[2]);
        Add(tree, collection, "0x0B_0x00", row[3]);
    }
    const std::vector<unsigned char> expected = {
        0x03, 0x01, 0x6A, 0x00,                                          // WBXML 1.3, public id 1, UTF-8
        0x00, 0x06, 0x45, 0x47,                                          // page 6: GetItemEstimate, Collections
        0x48, 0x49, 0x03, 'E', 'm', 'a', 'i', 'l', 0x00, 0x01,           // Collection, Class "Email"
        0x4A, 0x03, '5', 0x00, 0x01,                                     // CollectionId "5"
        0x00, 0x00, 0x58, 0x03, '3', 0x00, 0x01,                         // page 0: FilterType "3"
        0x4B, 0x03, '1', 0x00, 0x01, 0x01,                               // SyncKey "1", end Collection
        0x00, 0x06, 0x48, 0x49, 0x03, 'C', 'a', 'l', 'e', 'n', 'd', 'a', 'r', 0x00, 0x01,  // back to page 6
        0x4A, 0x03, '7', 0x00, 0x01,
        0x00, 0x00, 0x58, 0x03, '4', 0x00, 0x01,
        0x4B, 0x03, '2', 0x00, 0x01, 0x01,
        0x01, 0x01};                                                     // end Collections, GetItemEstimate
    EXPECT_EQ(EncodeToBytes(tree), expected);
    WbxmlDestroyTree(tree);
}

TEST(WbxmlCodec, ServerStyleAnswerParses)
{
    // As a server writes it: public id 1, a value split into two inline strings and an entity, and a token that
    // the table lacks (page 0, 0x30) before a known one.
    const std::vector<unsigned char> answer = {
        0x03, 0x01, 0x6A, 0x00,
        0x45,                                                  // Sync
        0x70, 0x03, 'x', 0x00, 0x01,                           // unknown token with content
        0x4D, 0x03, '5', ':', 0x00, 0x03, '1', '2', 0x00,      // ServerId "5:" "12"
        0x02, 0x26, 0x03, 'z', 0x00, 0x01,                     // entity "&", "z"
        0x01};
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(WbxmlParseTree(answer.data(), static_cast<unsigned>(answer.size()), ActiveSyncLanguages(),
                             kActiveSyncLanguageId, &tree),
              kWbxmlOk);
    ASSERT_NE(tree, nullptr);
    WBXMLTreeNode* root = tree->root;
    EXPECT_STREQ(WbxmlElementName(root), "0x05_0x00");
    ASSERT_NE(root->children, nullptr);
    EXPECT_STREQ(WbxmlElementName(root->children), "unknown");
    WBXMLTreeNode* serverId = WbxmlFindElement(root, "0x0D_0x00", true, 0);
    ASSERT_NE(serverId, nullptr);
    ASSERT_NE(serverId->children, nullptr);
    EXPECT_EQ(serverId->children->next, nullptr) << "the pieces must form one text node";
    EXPECT_EQ(TextOf(serverId), "5:12&z");
    WbxmlDestroyTree(tree);
}

TEST(WbxmlCodec, MalformedInputGivesItsErrorAndNoTree)
{
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        WbxmlResult expected;
    };
    const Case cases[] = {
        {"nothing", {}, kWbxmlErrEmptyWbxml},
        {"header cut short", {0x03, 0x01}, kWbxmlErrEndOfBuffer},
        {"element never closed", {0x03, 0x01, 0x6A, 0x00, 0x45}, kWbxmlErrEndOfBuffer},
        {"string never ended", {0x03, 0x01, 0x6A, 0x00, 0x45, 0x03, 'a'}, kWbxmlErrNotNullTerminatedInlineString},
        {"string table longer than the input", {0x03, 0x01, 0x6A, 0x05, 0x00}, kWbxmlErrStrtblLength},
        {"multi-byte integer running off the end", {0x03, 0x01, 0x6A, 0x00, 0x45, 0x02, 0x80}, kWbxmlErrEndOfBuffer},
    };
    for (const Case& c : cases) {
        static const unsigned char none = 0;
        WBXMLTree* tree = reinterpret_cast<WBXMLTree*>(&tree);
        EXPECT_EQ(WbxmlParseTree(c.bytes.empty() ? &none : c.bytes.data(), static_cast<unsigned>(c.bytes.size()),
                                 ActiveSyncLanguages(), kActiveSyncLanguageId, &tree),
                  c.expected)
            << c.what;
        EXPECT_EQ(tree, nullptr) << c.what;
    }
}

TEST(WbxmlCodec, CanonicalXmlReadsBackThroughTinyXmlUnchanged)
{
    const std::string name = "Smith & Sons <Sales>\r\n\t\"Dept\" 'B' caf\xC3\xA9";
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(CreateWbxmlTree(&tree), kNoError);
    WBXMLTreeNode* root = Add(tree, nullptr, "Search");
    Add(tree, root, "Status", "1");
    WBXMLTreeNode* properties = Add(tree, Add(tree, Add(tree, root, "Response"), "Result"), "Properties");
    Add(tree, properties, "DisplayName", name.c_str());
    Add(tree, properties, "EmailAddress", "a&b@example.com");

    char* text = nullptr;
    unsigned length = 0;
    ASSERT_EQ(WbxmlTreeToXml(tree, kWbxmlXmlCanonical, &text, &length), kWbxmlOk);
    const std::string xml(text, length);
    WbxmlFreeBytes(reinterpret_cast<unsigned char*>(text));
    WbxmlDestroyTree(tree);

    TiXmlDocument doc;
    doc.Parse(xml.c_str());
    ASSERT_FALSE(doc.Error()) << doc.ErrorDesc() << "\n" << xml;
    TiXmlHandle search(doc.FirstChildElement("Search"));
    EXPECT_STREQ(search.FirstChildElement("Status").Element()->GetText(), "1");
    TiXmlHandle props = search.FirstChildElement("Response").FirstChildElement("Result").FirstChildElement("Properties");
    ASSERT_NE(props.FirstChildElement("DisplayName").Element(), nullptr) << xml;
    EXPECT_EQ(std::string(props.FirstChildElement("DisplayName").Element()->GetText()), name) << xml;
    EXPECT_STREQ(props.FirstChildElement("EmailAddress").Element()->GetText(), "a&b@example.com");
}
