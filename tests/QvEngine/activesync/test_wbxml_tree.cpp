#include "WbxmlTestBytes.h"
#include "WbxmlTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string ChildNames(const WBXMLTreeNode* parent)
{
    std::string names;
    for (const WBXMLTreeNode* child = parent->children; child != nullptr; child = child->next)
        names += std::string(names.empty() ? "" : " ") + WbxmlElementName(child);
    return names;
}

std::string TextOf(const WBXMLTreeNode* element)
{
    unsigned length = 0;
    const char* text = ElementText(element, &length);
    return text != nullptr ? std::string(text, length) : std::string("<none>");
}

// A FolderSync request root, owned by the tree.
struct FolderSyncTree {
    WBXMLTree* tree = nullptr;
    WBXMLTreeNode* root = nullptr;
    FolderSyncTree()
    {
        EXPECT_EQ(CreateWbxmlTree(&tree), kNoError);
        EXPECT_EQ(CreateElementNode(&root, "0x16_0x07"), kNoError);
        EXPECT_TRUE(WbxmlAddNode(tree, nullptr, root));
    }
    ~FolderSyncTree() { WbxmlDestroyTree(tree); }
};

}  // namespace

TEST(WbxmlTree, ChildAppendedWithoutPreviousSiblingGoesAfterExistingChildren)
{
    FolderSyncTree t;
    WBXMLTreeNode* syncKey = nullptr;
    WBXMLTreeNode* status = nullptr;
    WBXMLTreeNode* serverId = nullptr;
    ASSERT_EQ(CreateTextElementNode(&syncKey, "0x12_0x07", "0"), kNoError);
    ASSERT_EQ(AppendChildNode(t.root, nullptr, syncKey), kNoError);
    ASSERT_EQ(CreateTextElementNode(&status, "0x0C_0x07", "1"), kNoError);
    ASSERT_EQ(AppendChildNode(t.root, nullptr, status), kNoError);
    // With a previous sibling the child goes right after it, before the siblings that followed it.
    ASSERT_EQ(CreateTextElementNode(&serverId, "0x08_0x07", "2"), kNoError);
    ASSERT_EQ(AppendChildNode(t.root, syncKey, serverId), kNoError);
    EXPECT_EQ(AppendChildNode(t.root, nullptr, nullptr), kNoError);

    EXPECT_EQ(ChildNames(t.root), "0x12_0x07 0x08_0x07 0x0C_0x07");
    EXPECT_EQ(status->prev, serverId);
    const std::vector<unsigned char> expected = {0x03, 0x01, 0x6A, 0x00, 0x00, 0x07, 0x56, 0x52, 0x03, 0x30, 0x00, 0x01,
                                                 0x48, 0x03, 0x32, 0x00, 0x01, 0x4C, 0x03, 0x31, 0x00, 0x01, 0x01};
    EXPECT_EQ(EncodeToBytes(t.tree), expected);
}

TEST(WbxmlTree, AppendElementBuildsUnderParentAndRejectsUnknownNames)
{
    FolderSyncTree t;
    WBXMLTreeNode* first = nullptr;
    WBXMLTreeNode* second = nullptr;
    ASSERT_EQ(AppendElementNode(t.root, nullptr, "0x12_0x07", &first), kNoError);
    ASSERT_EQ(AppendElementNode(t.root, first, "0x0C_0x07", &second), kNoError);
    EXPECT_EQ(second->parent, t.root);
    EXPECT_EQ(ChildNames(t.root), "0x12_0x07 0x0C_0x07");

    WBXMLTreeNode* node = reinterpret_cast<WBXMLTreeNode*>(&t);
    EXPECT_EQ(AppendElementNode(t.root, nullptr, "NoSuchTag", &node), generalErrMemoryError);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(ChildNames(t.root), "0x12_0x07 0x0C_0x07");
    node = reinterpret_cast<WBXMLTreeNode*>(&t);
    EXPECT_EQ(CreateElementNode(&node, "0x04_0x00"), generalErrMemoryError);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(CreateTextElementNode(&node, "0x40_0x07", "x"), generalErrMemoryError);
    EXPECT_EQ(node, nullptr);
}

TEST(WbxmlTree, TextElementHasTextChildOnlyForNonEmptyText)
{
    WBXMLTreeNode* empty = nullptr;
    WBXMLTreeNode* full = nullptr;
    ASSERT_EQ(CreateTextElementNode(&empty, "0x0B_0x00", ""), kNoError);
    ASSERT_EQ(CreateTextElementNode(&full, "0x0B_0x00", "abc"), kNoError);
    EXPECT_EQ(empty->children, nullptr);
    EXPECT_EQ(TextOf(empty), "<none>");
    EXPECT_EQ(TextOf(full), "abc");
    EXPECT_EQ(full->children->next, nullptr);
    WbxmlDestroyNode(empty);
    WbxmlDestroyNode(full);
}

TEST(WbxmlTree, SharedNameGivesLowerToken)
{
    const WBXMLTagEntry* entry = ActiveSyncTagFromName("11_0x23");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->wbxmlCodePage, 0x11);
    EXPECT_EQ(entry->wbxmlToken, 0x23);

    WBXMLTreeNode* node = nullptr;
    ASSERT_EQ(CreateElementNode(&node, "11_0x23"), kNoError);
    EXPECT_EQ(node->name->u.token->wbxmlToken, 0x23);
    WbxmlDestroyNode(node);
    EXPECT_EQ(ActiveSyncTagFromName("11_0x24"), nullptr);
}

TEST(WbxmlTree, FindHonoursDepthAndNeverWalksStartSiblings)
{
    // Sync > [Collections > Collection > [SyncKey, Status "deep"]], Status "shallow"
    WBXMLTree* tree = nullptr;
    WBXMLTreeNode* sync = nullptr;
    WBXMLTreeNode* collections = nullptr;
    WBXMLTreeNode* collection = nullptr;
    WBXMLTreeNode* syncKey = nullptr;
    WBXMLTreeNode* deep = nullptr;
    WBXMLTreeNode* shallow = nullptr;
    ASSERT_EQ(CreateWbxmlTree(&tree), kNoError);
    ASSERT_EQ(CreateElementNode(&sync, "0x05_0x00"), kNoError);
    ASSERT_TRUE(WbxmlAddNode(tree, nullptr, sync));
    ASSERT_EQ(AppendElementNode(sync, nullptr, "0x1C_0x00", &collections), kNoError);
    ASSERT_EQ(AppendElementNode(collections, nullptr, "0x0F_0x00", &collection), kNoError);
    ASSERT_EQ(AppendElementNode(collection, nullptr, "0x0B_0x00", &syncKey), kNoError);
    ASSERT_EQ(CreateTextElementNode(&deep, "0x0E_0x00", "deep"), kNoError);
    ASSERT_EQ(AppendChildNode(collection, nullptr, deep), kNoError);
    ASSERT_EQ(CreateTextElementNode(&shallow, "0x0E_0x00", "shallow"), kNoError);
    ASSERT_EQ(AppendChildNode(sync, nullptr, shallow), kNoError);

    struct Case {
        WBXMLTreeNode* start;
        const char* name;
        bool recursion;
        unsigned depth;
        WBXMLTreeNode* expected;
    };
    const Case cases[] = {
        {sync, "0x0E_0x00", true, 0, deep},          // whole subtree: first in document order
        {sync, "0x0E_0x00", false, 1, shallow},      // one level: the node's own children only
        {sync, "0x0E_0x00", false, 2, shallow},
        {sync, "0x0E_0x00", false, 3, deep},
        {sync, "0x0E_0x00", false, 0, nullptr},
        {sync, "0x05_0x00", false, 0, sync},         // the start node itself
        {syncKey, "0x0E_0x00", true, 5, nullptr},    // a following sibling is not searched
        {collections, "0x0E_0x00", false, 0, nullptr},
        {collections, "0x1C_0x00", true, 0, collections},
        {sync, "0x0D_0x00", true, 0, nullptr},
        {nullptr, "0x0E_0x00", true, 0, nullptr},
        {sync, nullptr, true, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name != nullptr ? c.name : "null") + " recursion " +
                     std::to_string(c.recursion) + " depth " + std::to_string(c.depth));
        EXPECT_EQ(WbxmlFindElement(c.start, c.name, c.recursion, c.depth), c.expected);
    }
    EXPECT_EQ(TextOf(WbxmlFindElement(sync, "0x0E_0x00", true, 0)), "deep");
    WbxmlDestroyTree(tree);
}
