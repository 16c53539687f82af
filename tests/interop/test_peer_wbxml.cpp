// The engine's WBXML against the real ActiveSync server: requests built as
// trees in the engine's language and encoded by its encoder, answers read
// back from a response file into trees and searched by name, as the data
// manager will do it. A server that cannot read our bytes, or answers that
// our parser misreads, fail here even when our own fakes agree.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "WbxmlStream.h"
#include "WbxmlTree.h"
#include "peertestutil.h"
#include "platform/wininettestutil.h"

namespace {

// Owns a parsed or built tree.
struct TreeDeleter {
    void operator()(WBXMLTree *tree) const { WbxmlDestroyTree(tree); }
};
using Tree = std::unique_ptr<WBXMLTree, TreeDeleter>;

std::string Text(WBXMLTreeNode *element) {
    unsigned length = 0;
    const char *text = ElementText(element, &length);
    return text != nullptr ? std::string(text, length) : std::string();
}

// The text of the first element of that name below node (or node itself).
std::string Find(WBXMLTreeNode *node, const char *name, bool wholeSubtree = true) {
    return Text(WbxmlFindElement(node, name, wholeSubtree, wholeSubtree ? 0 : 1));
}

// Builds a request: each step names an element and, optionally, its text and
// how many levels up the next element goes (0: it becomes this one's child).
struct Step {
    const char *name;
    const char *text;
    int up;
};

Tree Build(const std::vector<Step> &steps) {
    WBXMLTree *tree = nullptr;
    EXPECT_EQ(CreateWbxmlTree(&tree), kNoError);
    Tree owned(tree);
    WBXMLTreeNode *parent = nullptr;
    for (const Step &step : steps) {
        WBXMLTreeNode *node = nullptr;
        EXPECT_EQ(CreateTextElementNode(&node, step.name, step.text), kNoError) << step.name;
        if (node == nullptr) return Tree();
        if (parent == nullptr) {
            EXPECT_TRUE(WbxmlAddNode(tree, nullptr, node));
        } else {
            EXPECT_EQ(AppendChildNode(parent, nullptr, node), kNoError);
        }
        parent = node;
        for (int i = 0; i < step.up && parent != nullptr; ++i) parent = parent->parent;
    }
    return owned;
}

// What the Inbox sync keeps of one added message.
struct Item {
    std::string serverId;
    std::string subject;
    std::string body;
    std::string truncated;  // BodyTruncated, empty when absent
};

// Subjects of seeded messages the test looks into. The second is UTF-8 of
// "Grüße aus München €", seeded as an RFC 2047 encoded word.
const std::string kLargeSubject = "Large message (24 KB body)";
const std::string kNonAsciiSubject = "Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen \xE2\x82\xAC";

class PeerWbxmlTest : public PeerTest {
protected:
    // Encodes the request, posts it as the engine does and reads the answer
    // back from a response file into a tree; null when anything fails.
    Tree Post(const std::string &command, WBXMLTree *request) {
        unsigned char *bytes = nullptr;
        unsigned length = 0;
        EXPECT_EQ(WbxmlEncodeTree(request, &bytes, &length), kWbxmlOk);
        std::string body(reinterpret_cast<char *>(bytes), length);
        WbxmlFreeBytes(bytes);

        std::string target = "/Microsoft-Server-ActiveSync?User=" + Peer().user +
                             "&DeviceId=VIPWBXML&DeviceType=VantrelClient&Cmd=" + command;
        std::u16string wideTarget(target.begin(), target.end());
        TestInternetRequest r(Peer().http.host.c_str(), Peer().http.port, u"POST", wideTarget.c_str(),
                              kEngineRequestFlags);
        EXPECT_NE(r.request, nullptr) << r.openError;
        if (r.request == nullptr) return Tree();
        std::string headers = "MS-ASProtocolVersion: 2.5\r\nUser-Agent: Vantrel-PocketPC/2.0\r\nAuthorization: " +
                              BasicAuthorization(Peer().user, Peer().password) + "\r\nContent-Type: " + kWbxmlType;
        std::u16string wideHeaders(headers.begin(), headers.end());
        EXPECT_TRUE(HttpAddRequestHeadersW(r.request, wideHeaders.c_str(), static_cast<DWORD>(-1),
                                           HTTP_ADDREQ_FLAG_ADD));
        EXPECT_EQ(r.Send(body), 0u);
        DWORD status = 0;
        EXPECT_EQ(r.QueryNumber(HTTP_QUERY_STATUS_CODE, &status), 0u);
        EXPECT_EQ(status, 200u) << command;
        std::string answer;
        EXPECT_EQ(r.ReadAll(&answer), 0u);
        if (status != 200 || answer.empty()) return Tree();

        VFile file;
        EXPECT_EQ(file.SetFileName(u"\\response.wbxml"), kNoError);
        EXPECT_EQ(file.Create(), kNoError);
        EXPECT_EQ(file.Open(kVFileReadWrite), kNoError);
        uint32_t written = 0;
        EXPECT_EQ(file.Write(static_cast<uint32_t>(answer.size()), answer.data(), &written), kNoError);
        WBXMLTree *tree = nullptr;
        EXPECT_EQ(wbxml_tree_from_wbxml_file(&file, static_cast<WBXMLLanguage>(1), &tree), kWbxmlOk) << command;
        file.Close();
        return Tree(tree);
    }
};

// FolderSync from key 0, then the Inbox synchronised page by page until the
// server has no more: every message the test account was seeded with
// arrives once, with its ServerId, its subject (the non-ASCII one decoded
// from UTF-8) and the large message's whole body.
TEST_F(PeerWbxmlTest, FolderSyncAndInboxSyncReadBackFromTheServer) {
    // FolderSync > SyncKey "0"
    Tree request = Build({{"0x16_0x07", nullptr, 0}, {"0x12_0x07", "0", 0}});
    ASSERT_TRUE(request);
    Tree folders = Post("FolderSync", request.get());
    ASSERT_TRUE(folders);
    WBXMLTreeNode *root = folders->root;
    EXPECT_EQ(Find(root, "0x0C_0x07"), "1");
    EXPECT_FALSE(Find(root, "0x12_0x07").empty());
    WBXMLTreeNode *changes = WbxmlFindElement(root, "0x0E_0x07", true, 0);
    ASSERT_NE(changes, nullptr);
    std::string inbox;
    int adds = 0;
    for (WBXMLTreeNode *add = changes->children; add != nullptr; add = add->next) {
        if (WbxmlElementName(add) == nullptr || std::string(WbxmlElementName(add)) != "0x0F_0x07") continue;
        ++adds;
        EXPECT_FALSE(Find(add, "0x07_0x07", false).empty());
        if (Find(add, "0x0A_0x07", false) == "2") inbox = Find(add, "0x08_0x07", false);
    }
    EXPECT_EQ(Find(changes, "0x17_0x07", false), std::to_string(adds));
    ASSERT_FALSE(inbox.empty()) << "no Inbox (type 2) among " << adds << " folders";

    // Sync > Collections > Collection > Class "Email", SyncKey "0", CollectionId
    request = Build({{"0x05_0x00", nullptr, 0},
                     {"0x1C_0x00", nullptr, 0},
                     {"0x0F_0x00", nullptr, 0},
                     {"0x10_0x00", "Email", 1},
                     {"0x0B_0x00", "0", 1},
                     {"0x12_0x00", inbox.c_str(), 1}});
    Tree first = Post("Sync", request.get());
    ASSERT_TRUE(first);
    EXPECT_EQ(Find(first->root, "0x0E_0x00"), "1");
    std::string key = Find(first->root, "0x0B_0x00");
    ASSERT_FALSE(key.empty());

    std::vector<Item> items;
    bool more = true;
    // The Inbox holds a few dozen messages at most: ten per page, a server
    // that still has more after this many pages never ends.
    for (int page = 0; page < 20 && more; ++page) {
        // ... with DeletesAsMoves, GetChanges, WindowSize and Options (FilterType, Truncation, MIMESupport).
        request = Build({{"0x05_0x00", nullptr, 0},
                         {"0x1C_0x00", nullptr, 0},
                         {"0x0F_0x00", nullptr, 0},
                         {"0x10_0x00", "Email", 1},
                         {"0x0B_0x00", key.c_str(), 1},
                         {"0x12_0x00", inbox.c_str(), 1},
                         {"0x1E_0x00", nullptr, 1},
                         {"0x13_0x00", nullptr, 1},
                         {"0x15_0x00", "10", 1},
                         {"0x17_0x00", nullptr, 0},
                         {"0x18_0x00", "0", 1},
                         {"0x19_0x00", "1", 1},
                         {"0_MIMESupport", "0", 1}});
        Tree answer = Post("Sync", request.get());
        ASSERT_TRUE(answer);
        EXPECT_EQ(Find(answer->root, "0x0E_0x00"), "1");
        key = Find(answer->root, "0x0B_0x00");
        ASSERT_FALSE(key.empty());
        if (WBXMLTreeNode *commands = WbxmlFindElement(answer->root, "0x16_0x00", true, 0)) {
            for (WBXMLTreeNode *add = commands->children; add != nullptr; add = add->next) {
                if (WbxmlElementName(add) == nullptr || std::string(WbxmlElementName(add)) != "0x07_0x00") continue;
                WBXMLTreeNode *data = WbxmlFindElement(add, "0x1D_0x00", false, 1);
                ASSERT_NE(data, nullptr);
                items.push_back({Find(add, "0x0D_0x00", false), Find(data, "0x14_0x02", false),
                                 Find(data, "0x0C_0x02", false), Find(data, "0x0E_0x02", false)});
            }
        }
        more = WbxmlFindElement(answer->root, "0x14_0x00", true, 0) != nullptr;  // MoreAvailable
    }
    EXPECT_FALSE(more) << "the server still had more after 20 pages (" << items.size() << " messages)";

    // Beside the seeded mail the Inbox holds an invitation, and whatever
    // else was delivered to the account since.
    std::set<std::string> serverIds;
    std::map<std::string, const Item *> bySubject;
    for (const Item &item : items) {
        EXPECT_FALSE(item.serverId.empty()) << item.subject;
        EXPECT_TRUE(serverIds.insert(item.serverId).second) << "ServerId " << item.serverId << " came twice";
        EXPECT_FALSE(item.subject.empty()) << "message " << item.serverId << " has no subject";
        if (!bySubject.emplace(item.subject, &item).second) ADD_FAILURE() << "\"" << item.subject << "\" came twice";
    }
    std::vector<std::string> seeded = {"HTML newsletter with formatting", "Report with attachments",
                                       kLargeSubject, kNonAsciiSubject};
    for (int i = 1; i <= 16; ++i) seeded.push_back((i < 10 ? "Test message 0" : "Test message ") + std::to_string(i));
    EXPECT_GE(items.size(), seeded.size() + 1);
    for (const std::string &subject : seeded) EXPECT_EQ(bySubject.count(subject), 1u) << "missing: " << subject;

    // The large body is whole (the server ignores 2.5 truncation options):
    // its 300 numbered lines in order between its first and last line.
    auto large = bySubject.find(kLargeSubject);
    ASSERT_NE(large, bySubject.end());
    const std::string &text = large->second->body;
    EXPECT_NE(large->second->truncated, "1");
    EXPECT_GE(text.size(), 23000u);
    EXPECT_EQ(text.rfind("Start of the large body.", 0), 0u) << text.substr(0, 80);
    size_t at = 0;
    for (int n = 1; n <= 300 && at != std::string::npos; ++n) {
        char line[96];
        snprintf(line, sizeof line, "%04d The quick brown fox jumps over the lazy dog. Lorem ipsum dolor sit amet.", n);
        at = text.find(line, at);
        EXPECT_NE(at, std::string::npos) << "line " << n << " missing or out of order";
    }
    EXPECT_NE(text.find("END OF LARGE BODY"), std::string::npos);
}

// A GAL search answer turns into the canonical XML of the search results
// file, and TinyXML finds the server's result in it.
TEST_F(PeerWbxmlTest, SearchAnswerBecomesReadableXml) {
    // Search > Store > Name "GAL", Query "bo", Options > Range "0-9"
    Tree request = Build({{"Search", nullptr, 0},
                          {"Store", nullptr, 0},
                          {"Name", "GAL", 1},
                          {"Query", "bo", 1},
                          {"Options", nullptr, 0},
                          {"Range", "0-9", 1}});
    ASSERT_TRUE(request);
    Tree answer = Post("Search", request.get());
    ASSERT_TRUE(answer);
    EXPECT_EQ(Find(answer->root, "Status"), "1");

    char *text = nullptr;
    unsigned length = 0;
    ASSERT_EQ(WbxmlTreeToXml(answer.get(), kWbxmlXmlCanonical, &text, &length), kWbxmlOk);
    std::string xml(text, length);
    WbxmlFreeBytes(reinterpret_cast<unsigned char *>(text));
    TiXmlDocument doc;
    doc.Parse(xml.c_str());
    ASSERT_FALSE(doc.Error()) << doc.ErrorDesc() << "\n" << xml;
    TiXmlElement *properties = TiXmlHandle(&doc)
                                   .FirstChildElement("Search")
                                   .FirstChildElement("Response")
                                   .FirstChildElement("Store")
                                   .FirstChildElement("Result")
                                   .FirstChildElement("Properties")
                                   .ToElement();
    ASSERT_NE(properties, nullptr) << xml;
    TiXmlElement *address = properties->FirstChildElement("EmailAddress");
    ASSERT_NE(address, nullptr) << xml;
    EXPECT_STREQ(address->GetText(), "bob@example.test");
}

}  // namespace
