#include "support/ActiveSyncWire.h"

#include <wbxml/wbxml_conv.h>

#include <cstdlib>
#include <cstring>

const char kActiveSyncDoctype[] =
    "<!DOCTYPE ActiveSync PUBLIC \"-//MICROSOFT//DTD ActiveSync//EN\" \"http://www.microsoft.com/\">";
const char kActiveSyncContentType[] = "application/vnd.ms-sync.wbxml";
const char kPeerProtocolVersions[] = "2.5,12.0,12.1,14.0,14.1";
const char kPeerProtocolCommands[] =
    "Sync,SendMail,SmartForward,SmartReply,GetAttachment,GetHierarchy,CreateCollection,DeleteCollection,"
    "MoveCollection,FolderSync,FolderCreate,FolderDelete,FolderUpdate,MoveItems,GetItemEstimate,MeetingResponse,"
    "Search,Settings,Ping,ItemOperations,ResolveRecipients,ValidateCert";

namespace {

// Where the root element starts: after the declaration, document type,
// comments and white space before it.
size_t RootStart(const std::string &xml)
{
    size_t i = 0;
    for (;;) {
        i = xml.find_first_not_of(" \t\r\n", i);
        if (i == std::string::npos)
            return xml.size();
        if (xml.compare(i, 4, "<!--") == 0) {
            size_t end = xml.find("-->", i + 4);
            i = end == std::string::npos ? xml.size() : end + 3;
        } else if (xml.compare(i, 2, "<?") == 0 || xml.compare(i, 2, "<!") == 0) {
            size_t end = xml.find('>', i);
            i = end == std::string::npos ? xml.size() : end + 1;
        } else {
            return i;
        }
    }
}

// A text between tags with the escapes that text does not need undone, so
// that both spellings compare equal; &amp; and &lt; stay.
std::string PlainText(const std::string &text)
{
    static const struct {
        const char *escape;
        char plain;
    } kOptional[] = {{"&quot;", '"'}, {"&apos;", '\''}, {"&gt;", '>'}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto &e : kOptional) {
            size_t n = std::strlen(e.escape);
            if (text.compare(i, n, e.escape) == 0) {
                out += e.plain;
                i += n;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}

// The element name of a start or end tag's text ("<a x='1'>" or "</a>").
std::string TagName(const std::string &tag)
{
    size_t begin = tag.compare(0, 2, "</") == 0 ? 2 : 1;
    size_t end = tag.find_first_of(" \t\r\n/>", begin);
    return tag.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The XML reduced as SameXml describes.
std::string ReducedXml(const std::string &xml)
{
    std::string out;
    size_t openAt = std::string::npos;  // where the last start tag begins in out, while nothing followed it
    for (size_t i = RootStart(xml); i < xml.size();) {
        if (xml.compare(i, 4, "<!--") == 0) {
            size_t end = xml.find("-->", i + 4);
            i = end == std::string::npos ? xml.size() : end + 3;
            continue;
        }
        if (xml[i] == '<') {
            size_t end = xml.find('>', i);
            std::string tag = xml.substr(i, end == std::string::npos ? std::string::npos : end - i + 1);
            i = end == std::string::npos ? xml.size() : end + 1;
            // "<a >" and "<a />" as "<a>" and "<a/>".
            size_t close = tag.size() - 1;
            bool selfClosing = close > 0 && tag[close - 1] == '/';
            size_t last = tag.find_last_not_of(" \t\r\n", selfClosing ? close - 2 : close - 1);
            tag = tag.substr(0, last + 1) + (selfClosing ? "/>" : ">");
            if (tag[1] == '/' && openAt != std::string::npos && TagName(out.substr(openAt)) == TagName(tag)) {
                out.insert(out.size() - 1, "/");
                openAt = std::string::npos;
                continue;
            }
            openAt = (tag[1] != '/' && !selfClosing) ? out.size() : std::string::npos;
            out += tag;
            continue;
        }
        size_t end = xml.find('<', i);
        std::string text = xml.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? xml.size() : end;
        if (text.find_first_not_of(" \t\r\n") == std::string::npos)
            continue;
        out += PlainText(text);
        openAt = std::string::npos;
    }
    return out;
}

const char *Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 449: return "Retry after sending a PROVISION command";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One name or value of the query, decoded; false when it holds a malformed
// escape or a character that a query must carry escaped (the text is then
// kept as sent).
bool Decode(const std::string &text, std::string *out)
{
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                *out = text;
                return false;
            }
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+') {
            decoded += ' ';
        } else if (c <= 0x20 || c >= 0x7F || c == '#') {
            *out = text;
            return false;
        } else {
            decoded += static_cast<char>(c);
        }
    }
    *out = decoded;
    return true;
}

}  // namespace

std::string WbxmlFromXml(const std::string &xml)
{
    std::string text = xml;
    if (text.find("<!DOCTYPE") == std::string::npos)
        text = std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n") + kActiveSyncDoctype + "\n" + xml;
    WBXMLConvXML2WBXML *conv = nullptr;
    if (wbxml_conv_xml2wbxml_create(&conv) != WBXML_OK) {
        ADD_FAILURE() << "the WBXML library could not make a converter";
        return std::string();
    }
    wbxml_conv_xml2wbxml_set_version(conv, WBXML_VERSION_13);
    wbxml_conv_xml2wbxml_disable_string_table(conv);
    wbxml_conv_xml2wbxml_disable_public_id(conv);
    WB_UTINY *wbxml = nullptr;
    WB_ULONG length = 0;
    WBXMLError err = wbxml_conv_xml2wbxml_run(conv, reinterpret_cast<WB_UTINY *>(&text[0]),
                                              static_cast<WB_ULONG>(text.size()), &wbxml, &length);
    wbxml_conv_xml2wbxml_destroy(conv);
    if (err != WBXML_OK) {
        ADD_FAILURE() << "the WBXML library cannot encode this XML (" << wbxml_errors_string(err) << "):\n" << xml;
        free(wbxml);
        return std::string();
    }
    std::string out(reinterpret_cast<char *>(wbxml), length);
    free(wbxml);
    return out;
}

std::string XmlFromWbxml(const std::string &bytes)
{
    WBXMLConvWBXML2XML *conv = nullptr;
    if (wbxml_conv_wbxml2xml_create(&conv) != WBXML_OK) {
        ADD_FAILURE() << "the WBXML library could not make a converter";
        return std::string();
    }
    wbxml_conv_wbxml2xml_set_language(conv, WBXML_LANG_ACTIVESYNC);
    wbxml_conv_wbxml2xml_set_gen_type(conv, WBXML_GEN_XML_COMPACT);
    wbxml_conv_wbxml2xml_enable_preserve_whitespaces(conv);
    std::string copy = bytes;  // the library takes the input as writable
    WB_UTINY *xml = nullptr;
    WB_ULONG length = 0;
    WBXMLError err = wbxml_conv_wbxml2xml_run(conv, reinterpret_cast<WB_UTINY *>(&copy[0]),
                                              static_cast<WB_ULONG>(copy.size()), &xml, &length);
    wbxml_conv_wbxml2xml_destroy(conv);
    if (err != WBXML_OK) {
        ADD_FAILURE() << "the WBXML library cannot read these " << bytes.size() << " bytes ("
                      << wbxml_errors_string(err) << ")";
        free(xml);
        return std::string();
    }
    std::string out(reinterpret_cast<char *>(xml), length);
    free(xml);
    return out.substr(RootStart(out));
}

::testing::AssertionResult SameXml(const std::string &expected, const std::string &actual)
{
    const std::string e = ReducedXml(expected);
    const std::string a = ReducedXml(actual);
    if (e == a)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the XML differs\nexpected: " << e << "\n  actual: " << a;
}

TestHttpReply ActiveSyncReply(const std::string &xml, int status)
{
    TestHttpReply reply;
    reply.status = status;
    reply.reason = Reason(status);
    reply.headers = {{"Content-Type", kActiveSyncContentType}};
    reply.body = WbxmlFromXml(xml);
    return reply;
}

TestHttpReply OptionsReply(const std::string &versions, const std::string &commands)
{
    size_t comma = versions.rfind(',');
    TestHttpReply reply;
    reply.headers = {{"Allow", "OPTIONS,POST"},
                     {"MS-Server-ActiveSync", comma == std::string::npos ? versions : versions.substr(comma + 1)},
                     {"MS-ASProtocolVersions", versions},
                     {"MS-ASProtocolCommands", commands},
                     {"Public", "OPTIONS,POST"},
                     {"Cache-Control", "private"}};
    return reply;
}

TestHttpReply Status449()
{
    TestHttpReply reply;
    reply.status = 449;
    reply.reason = Reason(449);
    return reply;
}

ActiveSyncQuery ParseQuery(const TestHttpRequest &request)
{
    ActiveSyncQuery query;
    const std::string &target = request.target;
    size_t mark = target.find('?');
    query.path = target.substr(0, mark);
    if (mark == std::string::npos)
        return query;
    const std::string rest = target.substr(mark + 1);
    for (size_t begin = 0; begin <= rest.size();) {
        size_t end = rest.find('&', begin);
        if (end == std::string::npos)
            end = rest.size();
        const std::string pair = rest.substr(begin, end - begin);
        begin = end + 1;
        size_t equals = pair.find('=');
        std::string name, value;
        bool ok = Decode(pair.substr(0, equals), &name);
        if (equals != std::string::npos)
            ok = Decode(pair.substr(equals + 1), &value) && ok;
        if (!ok)
            ADD_FAILURE() << "query part \"" << pair << "\" is not escaped properly in " << target;
        if (name.empty()) {
            ADD_FAILURE() << "empty query part \"" << pair << "\" in " << target;
            continue;
        }
        if (!query.all.emplace(name, value).second)
            ADD_FAILURE() << "query value \"" << name << "\" given twice in " << target;
    }
    auto value = [&query](const char *name) {
        auto it = query.all.find(name);
        return it == query.all.end() ? std::string() : it->second;
    };
    query.cmd = value("Cmd");
    query.user = value("User");
    query.deviceId = value("DeviceId");
    query.deviceType = value("DeviceType");
    return query;
}

std::vector<std::string> RequestCommands(const std::vector<TestHttpRequest> &requests, size_t first) {
    std::vector<std::string> out;
    for (size_t i = first; i < requests.size(); ++i)
        out.push_back(requests[i].method == "OPTIONS" ? "OPTIONS" : ParseQuery(requests[i]).cmd);
    return out;
}
