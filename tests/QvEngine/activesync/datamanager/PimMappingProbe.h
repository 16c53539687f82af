// The contact and task mappings of the data manager, reached directly: a
// server command given as XML is parsed into the engine's tree and applied to
// an item; an item's ApplicationData is built into a tree of its own and read
// back as XML by the WBXML library's own conversion.
#ifndef VTEST_PIMMAPPINGPROBE_H
#define VTEST_PIMMAPPINGPROBE_H

#include <gtest/gtest.h>

#include <string>

#include "ActiveSyncLanguage.h"
#include "DASDP_SyncResponse.h"
#include "DActiveSyncDataManager.h"
#include "IOutlookContact.h"
#include "IOutlookTask.h"
#include "WbxmlTree.h"
#include "support/ActiveSyncWire.h"

// A server command (an element of the AirSync page, its ApplicationData
// inside) parsed as the engine parses answers.
class CommandTree {
public:
    explicit CommandTree(const std::string &xml) {
        const std::string bytes = WbxmlFromXml(xml);
        EXPECT_EQ(WbxmlParseTree(reinterpret_cast<const unsigned char *>(bytes.data()), unsigned(bytes.size()),
                                 ActiveSyncLanguages(), kActiveSyncLanguageId, &m_tree),
                  kWbxmlOk)
            << xml;
    }
    ~CommandTree() {
        if (m_tree != nullptr) WbxmlDestroyTree(m_tree);
    }
    CommandTree(const CommandTree &) = delete;
    CommandTree &operator=(const CommandTree &) = delete;
    WBXMLTreeNode *Root() const { return m_tree != nullptr ? m_tree->root : nullptr; }

private:
    WBXMLTree *m_tree = nullptr;
};

// A Change of the item "s1" with the XML inside its ApplicationData.
inline std::string ChangeWith(const std::string &data) {
    return "<Change xmlns=\"AirSync:\"><ServerId>s1</ServerId><ApplicationData>" + data +
           "</ApplicationData></Change>";
}

struct PimMappingProbe {
    static DErrorCode ApplyContact(DActiveSyncDataManager &data, IOutlookContact *contact, const std::string &xml) {
        CommandTree tree(xml);
        return data.ApplyContactData(contact, tree.Root());
    }
    static DErrorCode ApplyTask(DActiveSyncDataManager &data, IOutlookTask *task, const std::string &xml) {
        CommandTree tree(xml);
        return data.ApplyTaskData(task, tree.Root());
    }
    // The item's ApplicationData as XML; *result the builder's answer.
    static std::string BuildContact(DActiveSyncDataManager &data, IOutlookContact *contact, DErrorCode *result) {
        return Build([&](WBXMLTreeNode *node) { return data.BuildContactData(node, contact); }, result);
    }
    static std::string BuildTask(DActiveSyncDataManager &data, IOutlookTask *task, DErrorCode *result) {
        return Build([&](WBXMLTreeNode *node) { return data.BuildTaskData(node, task); }, result);
    }
    static void LogRejectedContact(DActiveSyncDataManager &data, IOutlookContact *contact) {
        data.LogRejectedContact(contact);
    }
    static void LogRejectedTask(DActiveSyncDataManager &data, IOutlookTask *task) { data.LogRejectedTask(task); }
    // The item in hand was made for this server Add (or found in the store),
    // and the answer's record has counted `added` adds so far.
    static void InHand(DActiveSyncDataManager &data, bool madeNew, uint32_t added) {
        auto *record = new DASDP_ContactsSyncResponse;
        record->SetCounts(added, 0, 0);
        data.DropResponse();
        data.m_response = record;
        data.m_itemDataSet = madeNew ? 1 : 0;
    }
    static uint32_t AddedCount(DActiveSyncDataManager &data) {
        auto *record = dynamic_cast<DASDP_SyncResponse *>(data.m_response);
        return record != nullptr ? record->GetAddedCount() : 0;
    }

private:
    template <typename Builder>
    static std::string Build(Builder build, DErrorCode *result) {
        WBXMLTree *tree = nullptr;
        WBXMLTreeNode *root = nullptr;
        EXPECT_EQ(CreateWbxmlTree(&tree), kNoError);
        EXPECT_EQ(CreateElementNode(&root, "0x1D_0x00"), kNoError);
        EXPECT_TRUE(WbxmlAddNode(tree, nullptr, root));
        *result = build(root);
        unsigned char *bytes = nullptr;
        unsigned length = 0;
        EXPECT_EQ(WbxmlEncodeTree(tree, &bytes, &length), kWbxmlOk);
        const std::string xml = XmlFromWbxml(std::string(reinterpret_cast<const char *>(bytes), length));
        WbxmlFreeBytes(bytes);
        WbxmlDestroyTree(tree);
        return xml;
    }
};

#endif
