#include "ActiveSyncLanguage.h"
#include "WbxmlAdapter.h"

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
    ASSERT_EQ(WbxmlCreateTree(ActiveSyncLanguage(), &tree), WBXML_OK);
    WBXMLTreeNode* root = WbxmlCreateElement(ActiveSyncLanguage(), "0x16_0x07");
    WBXMLTreeNode* key = WbxmlCreateElement(ActiveSyncLanguage(), "0x12_0x07");
    WBXMLTreeNode* text = WbxmlCreateText("0", 1);
    ASSERT_TRUE(root && key && text);
    ASSERT_TRUE(WbxmlAddNode(tree, nullptr, root));
    ASSERT_TRUE(WbxmlAddNode(tree, root, key));
    ASSERT_TRUE(WbxmlAddNode(tree, key, text));

    unsigned char* bytes = nullptr;
    unsigned length = 0;
    ASSERT_EQ(WbxmlEncodeTree(tree, &bytes, &length), WBXML_OK);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + length), kFolderSyncKey0);
    WbxmlFreeBytes(bytes);
    WbxmlDestroyTree(tree);
}

TEST(WbxmlCodec, FolderSyncBytesParseBackIntoOurLanguage)
{
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(WbxmlParseTree(kFolderSyncKey0.data(), static_cast<unsigned>(kFolderSyncKey0.size()),
                             ActiveSyncLanguages(), kActiveSyncLanguageId, &tree),
              WBXML_OK);
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

TEST(WbxmlCodec, MalformedInputGivesAnErrorAndNoTree)
{
    const std::vector<std::vector<unsigned char>> inputs = {
        {},                                        // nothing
        {0x03, 0x01},                              // header cut short
        {0x03, 0x01, 0x6A, 0x00, 0x00, 0x07, 0x56, 0x52, 0x03, 0x30},  // string and elements never closed
        {0x03, 0x01, 0x6A, 0x05, 0x00},            // string table longer than the input
    };
    for (const auto& input : inputs) {
        static const unsigned char none = 0;
        const unsigned char* data = input.empty() ? &none : input.data();
        WBXMLTree* tree = reinterpret_cast<WBXMLTree*>(&tree);  // the call must reset it
        EXPECT_NE(WbxmlParseTree(data, static_cast<unsigned>(input.size()), ActiveSyncLanguages(),
                                 kActiveSyncLanguageId, &tree),
                  WBXML_OK)
            << "input of " << input.size() << " bytes";
        EXPECT_EQ(tree, nullptr);
    }
}
