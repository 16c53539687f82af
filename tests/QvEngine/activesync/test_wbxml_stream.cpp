#include "ActiveSyncLanguage.h"
#include "support/TestDevice.h"
#include "WbxmlStream.h"
#include "WbxmlTree.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// FolderSync holding SyncKey "0".
const std::vector<unsigned char> kFolderSync = {0x03, 0x01, 0x6A, 0x00, 0x00, 0x07, 0x56,
                                                0x52, 0x03, 0x30, 0x00, 0x01, 0x01};

class WbxmlStreamTest : public DeviceTest {
protected:
    // A response file holding the bytes, left open for reading and writing with its position at the end, as the
    // transfer leaves it.
    void Write(const std::vector<unsigned char>& bytes)
    {
        ASSERT_EQ(m_file.SetFileName(u"\\Temp\\response.bin"), kNoError);
        ASSERT_EQ(m_file.Create(), kNoError);
        ASSERT_EQ(m_file.Open(kVFileReadWrite), kNoError);
        uint32_t written = 0;
        if (!bytes.empty()) {
            ASSERT_EQ(m_file.Write(static_cast<uint32_t>(bytes.size()), bytes.data(), &written), kNoError);
        }
    }
    bool IsOpen()
    {
        bool open = false;
        EXPECT_EQ(m_file.IsOpen(&open), kNoError);
        return open;
    }
    VFile m_file;
};

}  // namespace

TEST_F(WbxmlStreamTest, ParsesAnOpenStreamFromItsStartAndLeavesItOpen)
{
    Write(kFolderSync);
    ASSERT_TRUE(IsOpen());
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(wbxml_tree_from_wbxml_file(&m_file, kActiveSyncLanguageId, &tree), kWbxmlOk);
    ASSERT_NE(tree, nullptr);
    EXPECT_NE(WbxmlFindElement(tree->root, "0x12_0x07", true, 0), nullptr);
    EXPECT_TRUE(IsOpen());
    WbxmlDestroyTree(tree);
}

TEST_F(WbxmlStreamTest, OpensAClosedStreamAndClosesItAgain)
{
    Write(kFolderSync);
    ASSERT_EQ(m_file.Close(), kNoError);
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(wbxml_tree_from_wbxml_file(&m_file, kActiveSyncLanguageId, &tree), kWbxmlOk);
    ASSERT_NE(tree, nullptr);
    EXPECT_STREQ(WbxmlElementName(tree->root), "0x16_0x07");
    EXPECT_FALSE(IsOpen());
    WbxmlDestroyTree(tree);
}

TEST_F(WbxmlStreamTest, FailuresLeaveNoTree)
{
    WBXMLTree* tree = reinterpret_cast<WBXMLTree*>(&tree);
    EXPECT_EQ(wbxml_tree_from_wbxml_file(nullptr, kActiveSyncLanguageId, &tree), kWbxmlErrBadParameter);
    EXPECT_EQ(tree, nullptr);

    VFile missing;
    ASSERT_EQ(missing.SetFileName(u"\\Temp\\none.bin"), kNoError);
    tree = reinterpret_cast<WBXMLTree*>(&tree);
    EXPECT_EQ(wbxml_tree_from_wbxml_file(&missing, kActiveSyncLanguageId, &tree), kWbxmlErrInternal);
    EXPECT_EQ(tree, nullptr);

    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        WbxmlResult expected;
    };
    const Case cases[] = {
        {"empty body", {}, kWbxmlErrEmptyWbxml},
        {"cut short", std::vector<unsigned char>(kFolderSync.begin(), kFolderSync.end() - 2), kWbxmlErrEndOfBuffer},
    };
    // Without a language the document's public id decides, and 1 is WBXML's "unknown".
    Write(kFolderSync);
    EXPECT_EQ(wbxml_tree_from_wbxml_file(&m_file, static_cast<WBXMLLanguage>(0), &tree), kWbxmlErrUnknownPublicId);
    EXPECT_EQ(tree, nullptr);
    ASSERT_EQ(m_file.Close(), kNoError);

    for (const Case& c : cases) {
        Write(c.bytes);
        tree = reinterpret_cast<WBXMLTree*>(&tree);
        EXPECT_EQ(wbxml_tree_from_wbxml_file(&m_file, kActiveSyncLanguageId, &tree), c.expected) << c.what;
        EXPECT_EQ(tree, nullptr) << c.what;
        ASSERT_EQ(m_file.Close(), kNoError);
    }
}
