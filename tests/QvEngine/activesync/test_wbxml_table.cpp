#include "ActiveSyncLanguage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<const WBXMLTagEntry*> Entries()
{
    std::vector<const WBXMLTagEntry*> entries;
    for (const WBXMLTagEntry* e = ActiveSyncTagTable(); e->xmlName != nullptr; ++e)
        entries.push_back(e);
    return entries;
}

std::string RuleName(unsigned page, unsigned token)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X_0x%02X", token, page);
    return buf;
}

}  // namespace

TEST(WbxmlTable, HoldsTwentyOnePagesEachGapFreeFromToken5InOrder)
{
    // Last token of each page 0..20.
    const unsigned lastToken[21] = {0x23, 0x3E, 0x3E, 0x19, 0x32, 0x0E, 0x10, 0x1A, 0x0F, 0x25, 0x16,
                                    0x0C, 0x10, 0x0F, 0x1C, 0x23, 0x11, 0x24, 0x19, 0x0E, 0x13};
    const std::vector<const WBXMLTagEntry*> entries = Entries();
    ASSERT_EQ(entries.size(), kActiveSyncTagCount);
    ASSERT_EQ(entries.size(), 497u);

    size_t i = 0;
    for (unsigned page = 0; page < 21; ++page) {
        for (unsigned token = 0x05; token <= lastToken[page]; ++token, ++i) {
            ASSERT_LT(i, entries.size());
            EXPECT_EQ(entries[i]->wbxmlCodePage, page) << "entry " << i;
            EXPECT_EQ(entries[i]->wbxmlToken, token) << "entry " << i;
            EXPECT_EQ(entries[i]->options, 0u) << "entry " << i;
        }
    }
    EXPECT_EQ(i, entries.size());

    const WBXMLTagEntry& end = ActiveSyncTagTable()[kActiveSyncTagCount];
    EXPECT_EQ(end.xmlName, nullptr);
}

TEST(WbxmlTable, NamesFollowTheTokenPageRuleExceptTheWordNames)
{
    // Word names at the edges of every run of them, and the rule-named tokens that border a run.
    struct Case { unsigned page, token; const char* name; };
    const Case cases[] = {
        {0, 0x05, "0x05_0x00"},        {0, 0x20, "0x20_0x00"},         {0, 0x21, "0_SoftDelete"},
        {0, 0x23, "0_MimeTruncation"}, {2, 0x33, "0x33_0x02"},         {2, 0x34, "2_GlobalObjId"},
        {2, 0x3E, "2_CompleteTime"},   {4, 0x28, "0x28_0x04"},         {4, 0x29, "4_Attendee_Status"},
        {4, 0x32, "4_DisplayName"},    {7, 0x0C, "0x0C_0x07"},         {14, 0x0C, "0x0C_0x0E"},
        {14, 0x0D, "E_EASProvisionDoc"}, {14, 0x1A, "E_DevicePasswordHistory"}, {14, 0x1B, "0x1B_0x0E"},
        {15, 0x05, "Search"},          {15, 0x10, "Total"},            {15, 0x11, "F_EqualTo"},
        {15, 0x19, "F_RebuildResults"}, {15, 0x1A, "0x1A_0x0F"},       {15, 0x1F, "0x1F_0x0F"},
        {15, 0x20, "F_LessThan"},      {15, 0x23, "F_Supported"},      {16, 0x05, "DisplayName"},
        {16, 0x0F, "EmailAddress"},    {16, 0x10, "0x10_0x10"},        {17, 0x05, "11_Settings"},
        {17, 0x16, "11_DeviceInformaton"}, {17, 0x1A, "11_0x1A"},      {17, 0x20, "11_OS"},
        {17, 0x23, "11_0x23"},         {17, 0x24, "11_0x23"},          {18, 0x05, "12_BodyPreference"},
        {18, 0x17, "12_ContentType"},  {18, 0x19, "12_0x19"},          {19, 0x05, "13_LinkId"},
        {19, 0x0E, "13_0x0E"},         {20, 0x05, "14_ItemOperations"}, {20, 0x13, "14_0x13"},
    };
    std::map<std::pair<unsigned, unsigned>, std::string> byPosition;
    for (const WBXMLTagEntry* e : Entries())
        byPosition[{e->wbxmlCodePage, e->wbxmlToken}] = e->xmlName;
    for (const Case& c : cases)
        EXPECT_EQ(byPosition[std::make_pair(c.page, c.token)], c.name) << "page " << c.page << " token " << c.token;

    // 345 rule names; 152 word names, all distinct but for the one name two Settings tokens share.
    size_t ruleNamed = 0;
    std::set<std::string> words;
    size_t wordEntries = 0;
    for (const WBXMLTagEntry* e : Entries()) {
        if (e->xmlName == RuleName(e->wbxmlCodePage, e->wbxmlToken)) {
            ++ruleNamed;
        } else {
            ++wordEntries;
            words.insert(e->xmlName);
        }
    }
    EXPECT_EQ(ruleNamed, 345u);
    EXPECT_EQ(wordEntries, 152u);
    EXPECT_EQ(words.size(), 151u);
}

TEST(WbxmlTable, LanguageEntryCarriesIdentifiersAndTerminatedLanguageList)
{
    const WBXMLLangEntry* lang = ActiveSyncLanguage();
    EXPECT_EQ(static_cast<int>(lang->langID), 1);
    EXPECT_EQ(lang->tagTable, ActiveSyncTagTable());
    ASSERT_NE(lang->publicID, nullptr);
    EXPECT_EQ(lang->publicID->wbxmlPublicID, 1u);
    EXPECT_STREQ(lang->publicID->xmlPublicID, "-//ACTIVESYNC//DTD MS ActiveSync 1.3//EN");
    EXPECT_STREQ(lang->publicID->xmlRootElt, "MS-ActiveSync-Message");
    EXPECT_NE(lang->publicID->xmlDTD, nullptr);
    EXPECT_EQ(lang->nsTable, nullptr);
    EXPECT_EQ(lang->attrTable, nullptr);
    EXPECT_EQ(lang->attrValueTable, nullptr);
    EXPECT_EQ(lang->extValueTable, nullptr);

    const WBXMLLangEntry* list = ActiveSyncLanguages();
    EXPECT_EQ(&list[0], lang);
    EXPECT_EQ(list[1].langID, WBXML_LANG_UNKNOWN);
    EXPECT_EQ(list[1].tagTable, nullptr);

    // The library's lookup by public identifier finds the language, and nothing for another identifier.
    EXPECT_EQ(WbxmlFindLanguage(list, "-//ACTIVESYNC//DTD MS ActiveSync 1.3//EN"), lang);
    EXPECT_EQ(WbxmlFindLanguage(list, "-//AIRSYNC//DTD AirSync//EN"), nullptr);
}
