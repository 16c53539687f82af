// The test server's ActiveSync helpers (tests/support/ActiveSyncWire.h): the WBXML library's conversion both ways,
// checked against a real server's captured bytes and against the engine's parser, and the request target's query.

#include "support/ActiveSyncWire.h"

#include "ActiveSyncLanguage.h"
#include "WbxmlAdapter.h"
#include "WbxmlTree.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// An indented FolderSync answer: white space between elements, an escaped '&', UTF-8 and a server id that carries
// an escape of its own.
const char kFolderSync[] = R"(
<FolderSync xmlns="FolderHierarchy:">
  <Status>1</Status>
  <SyncKey>1</SyncKey>
  <Changes>
    <Count>2</Count>
    <Add><ServerId>1</ServerId><ParentId>0</ParentId><DisplayName>Inbox</DisplayName><Type>2</Type></Add>
    <Add><ServerId>vevent%2Fpersonal</ServerId><ParentId>0</ParentId>
         <DisplayName>Mail &amp; Kalender – Büro</DisplayName><Type>8</Type></Add>
  </Changes>
</FolderSync>)";

// A compact Sync answer whose item switches to the Email page and back: quotes, '<', inner double blanks.
const char kSync[] =
    R"(<Sync xmlns="AirSync:"><Collections><Collection><Class>Email</Class><SyncKey>2</SyncKey>)"
    R"(<CollectionId>1</CollectionId><Status>1</Status><Commands><Add><ServerId>1:1</ServerId><ApplicationData>)"
    R"(<To xmlns="Email:">"Bob" &lt;bob@example.test&gt;</To><Subject xmlns="Email:">Hi  there</Subject>)"
    R"(<Read xmlns="Email:">0</Read></ApplicationData></Add></Commands><MoreAvailable/></Collection>)"
    R"(</Collections></Sync>)";

std::string ReadFixture(const std::string &name)
{
    std::ifstream in(std::string(VTEST_FIXTURES_DIR) + "/activesync/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The value of a header in a captured header block ("" when absent).
std::string CapturedHeader(const std::string &block, const std::string &name)
{
    std::istringstream lines(block);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, name.size() + 2, name + ": ") == 0) {
            size_t end = line.find_last_not_of("\r");
            return line.substr(name.size() + 2, end + 1 - (name.size() + 2));
        }
    }
    return std::string();
}

std::string ReplyHeader(const TestHttpReply &reply, const std::string &name)
{
    for (const auto &header : reply.headers)
        if (header.first == name)
            return header.second;
    return std::string();
}

// The engine's reading of the tree, one line per element: indented by depth, its name, then its text if any.
void Outline(const WBXMLTreeNode *node, int depth, std::vector<std::string> *lines)
{
    for (; node != nullptr; node = node->next) {
        if (node->type != WBXML_TREE_ELEMENT_NODE)
            continue;
        std::string line = std::string(depth, ' ') + WbxmlElementName(node);
        unsigned length = 0;
        if (const char *text = ElementText(node, &length))
            line += " " + std::string(text, length);
        lines->push_back(line);
        Outline(node->children, depth + 1, lines);
    }
}

}  // namespace

// Each answer goes to WBXML and back to the same XML, in the form servers send (WBXML 1.3, anonymous public id,
// UTF-8, no string table), and the XML read back encodes to the very same bytes.
TEST(ActiveSyncWire, AnswersRoundTripThroughTheLibrary)
{
    for (const char *xml : {kFolderSync, kSync}) {
        SCOPED_TRACE(xml);
        const TestHttpReply reply = ActiveSyncReply(xml);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(ReplyHeader(reply, "Content-Type"), "application/vnd.ms-sync.wbxml");
        ASSERT_GT(reply.body.size(), 4u);
        EXPECT_EQ(reply.body.substr(0, 4), std::string("\x03\x01\x6A\x00", 4));
        const std::string back = XmlFromWbxml(reply.body);
        EXPECT_EQ(back.find("\n"), std::string::npos) << back;
        EXPECT_TRUE(SameXml(xml, back));
        EXPECT_EQ(WbxmlFromXml(back), reply.body);
    }
}

// A real server's FolderSync answer, read by the library and written back, gives the server's bytes exactly; the
// OPTIONS answer made here carries the values that server sent.
TEST(ActiveSyncWire, CapturedServerAnswersAreReproduced)
{
    const std::string captured = ReadFixture("peer-foldersync-key0.wbxml");
    ASSERT_FALSE(captured.empty());
    const std::string xml = XmlFromWbxml(captured);
    EXPECT_NE(xml.find("<ServerId>vevent%2Fpersonal</ServerId>"), std::string::npos) << xml;
    EXPECT_EQ(WbxmlFromXml(xml), captured);

    const std::string options = ReadFixture("peer-options.http");
    const TestHttpReply reply = OptionsReply();
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.body.empty());
    for (const char *name : {"MS-ASProtocolVersions", "MS-ASProtocolCommands", "MS-Server-ActiveSync"}) {
        EXPECT_FALSE(CapturedHeader(options, name).empty()) << name;
        EXPECT_EQ(ReplyHeader(reply, name), CapturedHeader(options, name)) << name;
    }
    const TestHttpReply old = OptionsReply("1.0,2.0,2.1,2.5", "Sync,FolderSync,Ping");
    EXPECT_EQ(ReplyHeader(old, "MS-Server-ActiveSync"), "2.5");
    EXPECT_EQ(ReplyHeader(old, "MS-ASProtocolCommands"), "Sync,FolderSync,Ping");

    const TestHttpReply provision = Status449();
    EXPECT_EQ(provision.status, 449);
    EXPECT_TRUE(provision.body.empty());
}

// The engine's parser reads the library's bytes to the elements and texts the XML names (the engine names each
// tag by token and page: FolderSync is 0x16 on page 7).
TEST(ActiveSyncWire, EngineParserReadsTheLibrarysBytes)
{
    const std::string bytes = WbxmlFromXml(kFolderSync);
    ASSERT_FALSE(bytes.empty());
    WBXMLTree *tree = nullptr;
    ASSERT_EQ(WbxmlParseTree(reinterpret_cast<const unsigned char *>(bytes.data()), static_cast<unsigned>(bytes.size()),
                             ActiveSyncLanguages(), kActiveSyncLanguageId, &tree),
              kWbxmlOk);
    std::vector<std::string> lines;
    Outline(tree->root, 0, &lines);
    WbxmlDestroyTree(tree);
    const std::vector<std::string> expected = {
        "0x16_0x07",                    // FolderSync
        " 0x0C_0x07 1",                 //  Status
        " 0x12_0x07 1",                 //  SyncKey
        " 0x0E_0x07",                   //  Changes
        "  0x17_0x07 2",                //   Count
        "  0x0F_0x07",                  //   Add
        "   0x08_0x07 1",               //    ServerId
        "   0x09_0x07 0",               //    ParentId
        "   0x07_0x07 Inbox",           //    DisplayName
        "   0x0A_0x07 2",               //    Type
        "  0x0F_0x07",                  //   Add
        "   0x08_0x07 vevent%2Fpersonal",
        "   0x09_0x07 0",
        "   0x07_0x07 Mail & Kalender \xE2\x80\x93 B\xC3\xBCro",
        "   0x0A_0x07 8",
    };
    EXPECT_EQ(lines, expected);
}

// Layout is ignored, content is not.
TEST(ActiveSyncWire, SameXmlIgnoresOnlyLayout)
{
    const struct {
        const char *a, *b;
        bool same;
    } cases[] = {
        {"<a><b>1</b></a>", "<?xml version=\"1.0\"?>\n<!-- x -->\n<a>\n  <b>1</b>\n</a>\n", true},
        {"<a><b></b><c /></a>", "<a><b/><c/></a>", true},
        {"<a>\"x\" &gt; 'y'</a>", "<a>&quot;x&quot; > &apos;y&apos;</a>", true},
        {"<a><b>1</b></a>", "<a><b>2</b></a>", false},
        {"<a>x y</a>", "<a>x  y</a>", false},
        {"<a><b/></a>", "<a><b>x</b></a>", false},
        {"<a xmlns=\"AirSync:\"/>", "<a xmlns=\"Email:\"/>", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(static_cast<bool>(SameXml(c.a, c.b)), c.same) << c.a << " vs " << c.b;
}

// What the library cannot convert fails the test and gives nothing, rather than a partial answer.
TEST(ActiveSyncWire, ConversionErrorsFailTheTest)
{
    std::string out = "x";
    EXPECT_NONFATAL_FAILURE(out = WbxmlFromXml("<Sync xmlns=\"AirSync:\"><NoSuchTag/></Sync>"), "cannot encode");
    EXPECT_EQ(out, "");
    out = "x";
    EXPECT_NONFATAL_FAILURE(out = WbxmlFromXml("<Sync xmlns=\"AirSync:\"><Status>1</Sync>"), "cannot encode");
    EXPECT_EQ(out, "");
    out = "x";
    EXPECT_NONFATAL_FAILURE(out = XmlFromWbxml("HTTP/1.1 500"), "cannot read");
    EXPECT_EQ(out, "");
}

// Each value decoded once, '+' as a blank; a query that a server would misread fails the test, without a crash.
TEST(ActiveSyncWire, ParseQuerySplitsAndDecodesTheTarget)
{
    const struct {
        const char *target;
        const char *path, *cmd, *user, *deviceId, *deviceType;
        const char *failure;  // part of the failure message, null when the target is sound
    } cases[] = {
        {"/Microsoft-Server-ActiveSync?User=alice&DeviceId=V1&DeviceType=PocketPC&Cmd=Sync",
         "/Microsoft-Server-ActiveSync", "Sync", "alice", "V1", "PocketPC", nullptr},
        {"/Microsoft-Server-ActiveSync?Cmd=GetAttachment&AttachmentName=a%2Fb%253A%26c%3D%23&User=DOM%5Cj%C3%BCrgen+x",
         "/Microsoft-Server-ActiveSync", "GetAttachment", "DOM\\j\xC3\xBCrgen x", "", "", nullptr},
        {"/Microsoft-Server-ActiveSync", "/Microsoft-Server-ActiveSync", "", "", "", "", nullptr},
        {"/x?Cmd=Ping&User=a%2", "/x", "Ping", "a%2", "", "", "not escaped properly"},
        {"/x?Cmd=Ping&User=a%zz", "/x", "Ping", "a%zz", "", "", "not escaped properly"},
        {"/x?Cmd=Ping&User=a#b", "/x", "Ping", "a#b", "", "", "not escaped properly"},
        {"/x?Cmd=Ping&&User=a", "/x", "Ping", "a", "", "", "empty query part"},
        {"/x?Cmd=Ping&Cmd=Sync", "/x", "Ping", "", "", "", "given twice"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.target);
        TestHttpRequest request;
        request.method = "POST";
        request.target = c.target;
        ActiveSyncQuery query;
        if (c.failure != nullptr)
            EXPECT_NONFATAL_FAILURE(query = ParseQuery(request), c.failure);
        else
            query = ParseQuery(request);
        EXPECT_EQ(query.path, c.path);
        EXPECT_EQ(query.cmd, c.cmd);
        EXPECT_EQ(query.user, c.user);
        EXPECT_EQ(query.deviceId, c.deviceId);
        EXPECT_EQ(query.deviceType, c.deviceType);
    }
    TestHttpRequest request;
    request.target = "/Microsoft-Server-ActiveSync?Cmd=GetAttachment&AttachmentName=a%2Fb%253A%26c%3D%23";
    EXPECT_EQ(ParseQuery(request).all.at("AttachmentName"), "a/b%3A&c=#");
}
