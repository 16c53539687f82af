// Our encoder and decoder must agree with an independent reader and writer of the same code pages, not only with
// each other: every tag of our table goes through the WBXML library's own ActiveSync conversion (its public
// WBXML-to-XML and XML-to-WBXML calls) and must come back as the same page and token.

#include "ActiveSyncLanguage.h"
#include "WbxmlAdapter.h"
#include "WbxmlTestBytes.h"
#include "WbxmlTree.h"

#include <gtest/gtest.h>
#include <tinyxml.h>
#include <wbxml/wbxml_conv.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string LibraryToXml(std::vector<unsigned char> wbxml)
{
    WBXMLConvWBXML2XML* conv = nullptr;
    EXPECT_EQ(wbxml_conv_wbxml2xml_create(&conv), WBXML_OK);
    wbxml_conv_wbxml2xml_set_language(conv, WBXML_LANG_ACTIVESYNC);
    wbxml_conv_wbxml2xml_set_gen_type(conv, WBXML_GEN_XML_INDENT);
    wbxml_conv_wbxml2xml_set_indent(conv, 1);
    WB_UTINY* xml = nullptr;
    WB_ULONG length = 0;
    WBXMLError err = wbxml_conv_wbxml2xml_run(conv, wbxml.data(), static_cast<WB_ULONG>(wbxml.size()), &xml, &length);
    wbxml_conv_wbxml2xml_destroy(conv);
    EXPECT_EQ(err, WBXML_OK) << wbxml_errors_string(err);
    std::string out(reinterpret_cast<char*>(xml), length);
    free(xml);
    return out;
}

std::vector<unsigned char> LibraryToWbxml(const std::string& xml)
{
    WBXMLConvXML2WBXML* conv = nullptr;
    EXPECT_EQ(wbxml_conv_xml2wbxml_create(&conv), WBXML_OK);
    wbxml_conv_xml2wbxml_disable_string_table(conv);
    wbxml_conv_xml2wbxml_set_version(conv, WBXML_VERSION_13);
    WB_UTINY* wbxml = nullptr;
    WB_ULONG length = 0;
    std::string copy = xml;
    WBXMLError err = wbxml_conv_xml2wbxml_run(conv, reinterpret_cast<WB_UTINY*>(&copy[0]),
                                              static_cast<WB_ULONG>(copy.size()), &wbxml, &length);
    wbxml_conv_xml2wbxml_destroy(conv);
    EXPECT_EQ(err, WBXML_OK) << wbxml_errors_string(err);
    std::vector<unsigned char> out(wbxml, wbxml + length);
    free(wbxml);
    return out;
}

// A document whose root is the table's first entry and whose children are the given entries, empty, in order.
std::vector<unsigned char> EncodeEntries(const std::vector<const WBXMLTagEntry*>& entries)
{
    WBXMLTree* tree = nullptr;
    EXPECT_EQ(CreateWbxmlTree(&tree), kNoError);
    WBXMLTreeNode* root = WbxmlCreateElementFromEntry(&ActiveSyncTagTable()[0]);
    EXPECT_TRUE(WbxmlAddNode(tree, nullptr, root));
    for (const WBXMLTagEntry* entry : entries)
        EXPECT_EQ(AppendChildNode(root, nullptr, WbxmlCreateElementFromEntry(entry)), kNoError);
    std::vector<unsigned char> out = EncodeToBytes(tree);
    WbxmlDestroyTree(tree);
    return out;
}

struct LibraryName {
    std::string name;
    std::string space;  // the code page's namespace, as the library writes it
};

// The element names of the root's children in the library's XML, each with its namespace (a child without its
// own xmlns is in the root's).
std::vector<LibraryName> ChildNames(const std::string& xml)
{
    TiXmlDocument doc;
    doc.Parse(xml.c_str());
    EXPECT_FALSE(doc.Error()) << doc.ErrorDesc();
    std::vector<LibraryName> names;
    const TiXmlElement* root = doc.RootElement();
    if (root == nullptr || root->Attribute("xmlns") == nullptr)
        return names;
    for (const TiXmlElement* e = root->FirstChildElement(); e != nullptr; e = e->NextSiblingElement())
        names.push_back({e->Value(), e->Attribute("xmlns") != nullptr ? e->Attribute("xmlns") : root->Attribute("xmlns")});
    return names;
}

// The published namespace of each code page, spelled as the library spells it.
const char* const kPageSpaces[] = {
    "AirSync:",         "Contacts:",     "Email:",         "AirNotify:",         "Calendar:",  "Move:",
    "GetItemEstimate:", "FolderHierarchy:", "MeetingResponse:", "Tasks:",        "ResolveRecipients:",
    "ValidateCert:",    "Contacts2:",    "Ping:",          "Provision:",         "Search:",    "Gal:",
    "AirSyncBase:",     "Settings:",     "DocumentLibrary:", "ItemOperations:"};

// The word of a word-named entry without its page prefix ("2_Flag" gives "Flag"); empty for a "0xTT_0xPP" name
// or a prefix with a token ("11_0x1A").
std::string Word(const char* name)
{
    std::string word = name;
    if (word.rfind("0x", 0) == 0)
        return std::string();
    size_t underscore = word.find('_');
    if (underscore != std::string::npos && underscore <= 2 && word.find_first_not_of("0123456789ABCDEF") >= underscore)
        word.erase(0, underscore + 1);
    return word.rfind("0x", 0) == 0 ? std::string() : word;
}

}  // namespace

TEST(WbxmlLibraryAgreement, EveryTagBothKnowHasTheSamePageAndToken)
{
    const WBXMLTagEntry* table = ActiveSyncTagTable();
    std::vector<const WBXMLTagEntry*> all;
    for (size_t i = 0; i < kActiveSyncTagCount; ++i)
        all.push_back(&table[i]);

    // Our bytes, read by the library: which tags it knows, and by what names.
    const std::vector<LibraryName> names = ChildNames(LibraryToXml(EncodeEntries(all)));
    ASSERT_EQ(names.size(), all.size());
    // Word names of ours that the library spells otherwise. None is a tag the program sends or reads by that
    // word except "PhoneNumber", which the stored search results carry under our name. Pages 17 and 18 carry
    // words of tags the program never uses, and the library names those two pages the other way round.
    const std::set<std::string> ownSpelling = {"0_MimeTruncation", "F_AndOp",   "F_OrOp",
                                               "F_FreeTextOp",     "F_LessThan", "F_GreaterThan",
                                               "F_Schema",         "F_Supported", "PhoneNumber"};
    std::vector<const WBXMLTagEntry*> known;
    std::set<std::string> spelledOtherwise;
    for (size_t i = 0; i < all.size(); ++i) {
        if (names[i].name == "unknown")
            continue;
        known.push_back(all[i]);
        // The page our encoder wrote is the page the library read.
        EXPECT_EQ(names[i].space, kPageSpaces[all[i]->wbxmlCodePage]) << all[i]->xmlName;
        const std::string word = Word(all[i]->xmlName);
        if (!word.empty() && all[i]->wbxmlCodePage != 17 && all[i]->wbxmlCodePage != 18 && names[i].name != word)
            spelledOtherwise.insert(all[i]->xmlName);
    }
    EXPECT_EQ(spelledOtherwise, ownSpelling);
    // The library knows most of the published pages; far fewer would mean our bytes are off.
    EXPECT_GT(known.size(), 450u);

    // The library's XML of the tags it knows, written back by the library and read by us: the same entries.
    const std::vector<unsigned char> back = LibraryToWbxml(LibraryToXml(EncodeEntries(known)));
    WBXMLTree* tree = nullptr;
    ASSERT_EQ(WbxmlParseTree(back.data(), static_cast<unsigned>(back.size()), ActiveSyncLanguages(),
                             kActiveSyncLanguageId, &tree),
              kWbxmlOk);
    size_t i = 0;
    for (WBXMLTreeNode* child = tree->root->children; child != nullptr; child = child->next, ++i) {
        ASSERT_LT(i, known.size());
        ASSERT_EQ(child->name->type, WBXML_VALUE_TOKEN) << "entry " << known[i]->xmlName << " came back unknown";
        EXPECT_EQ(child->name->u.token->wbxmlCodePage, known[i]->wbxmlCodePage) << known[i]->xmlName;
        EXPECT_EQ(child->name->u.token->wbxmlToken, known[i]->wbxmlToken) << known[i]->xmlName;
    }
    EXPECT_EQ(i, known.size());
    WbxmlDestroyTree(tree);
}
