// The contacts mapping against an in-memory contact: every Contacts tag to
// its field and back, dates (and the device's "no date", which is never
// sent), the two lists, a server Change that replaces the whole contact, a
// command without data that changes nothing, and a whole contact's
// ApplicationData.
#include "ContactFake.h"
#include "DataManagerFixture.h"
#include "PimMappingProbe.h"

namespace {

struct StringTag {
    const char *name;
    uint32_t field;
};

// Every string field and the Contacts tag it travels in, in token order.
const StringTag kStringTags[] = {
    {"AssistantName", 1000},      {"AssistantTelephoneNumber", 1001}, {"Body", 1002},
    {"Business2PhoneNumber", 1003}, {"BusinessCity", 1004},          {"BusinessCountry", 1005},
    {"BusinessPostalCode", 1006}, {"BusinessState", 1007},           {"BusinessStreet", 1008},
    {"BusinessFaxNumber", 1009},  {"BusinessPhoneNumber", 1010},     {"CarPhoneNumber", 1011},
    {"CompanyName", 1012},        {"Department", 1013},              {"Email1Address", 1014},
    {"Email2Address", 1015},      {"Email3Address", 1016},           {"FileAs", 1017},
    {"FirstName", 1018},          {"Home2PhoneNumber", 1019},        {"HomeCity", 1020},
    {"HomeCountry", 1021},        {"HomePostalCode", 1022},          {"HomeState", 1023},
    {"HomeStreet", 1024},         {"HomeFaxNumber", 1025},           {"HomePhoneNumber", 1026},
    {"JobTitle", 1027},           {"LastName", 1028},                {"MiddleName", 1029},
    {"MobilePhoneNumber", 1030},  {"OfficeLocation", 1031},          {"OtherCity", 1032},
    {"OtherCountry", 1033},       {"OtherPostalCode", 1034},         {"OtherState", 1035},
    {"OtherStreet", 1036},        {"PagerNumber", 1037},             {"RadioPhoneNumber", 1038},
    {"Spouse", 1039},             {"Suffix", 1040},                  {"Title", 1041},
    {"WebPage", 1042},            {"YomiCompanyName", 1043},         {"YomiFirstName", 1044},
    {"YomiLastName", 1045},
};

std::string Contacts(const std::string &name, const std::string &text) {
    return "<" + name + " xmlns=\"Contacts:\">" + text + "</" + name + ">";
}

std::string Data(const std::string &inner) {
    return "<ApplicationData xmlns=\"AirSync:\">" + inner + "</ApplicationData>";
}

class ContactMappingTest : public DataManagerTest {
protected:
    DErrorCode Apply(ContactFake &contact, const std::string &xml) {
        return PimMappingProbe::ApplyContact(*data, &contact, xml);
    }
    std::string Build(ContactFake &contact) {
        DErrorCode result = generalErrUnknownError;
        const std::string xml = PimMappingProbe::BuildContact(*data, &contact, &result);
        EXPECT_EQ(result, kNoError);
        return xml;
    }
    // The string fields that hold text.
    static std::map<uint32_t, std::string> Filled(const ContactFake &contact) {
        std::map<uint32_t, std::string> filled;
        for (const auto &field : contact.strings)
            if (!field.second.empty()) filled.insert(field);
        return filled;
    }
};

TEST_F(ContactMappingTest, EachStringTagReachesItsFieldAndComesBack) {
    ASSERT_EQ(std::size(kStringTags), 46u);
    for (const StringTag &tag : kStringTags) {
        SCOPED_TRACE(tag.name);
        const std::string text = std::string("v ") + tag.name + " \xC3\xA9";
        ContactFake server;
        ASSERT_EQ(Apply(server, ChangeWith(Contacts(tag.name, text))), kNoError);
        EXPECT_EQ(Filled(server), (std::map<uint32_t, std::string>{{tag.field, text}}));

        ContactFake device;
        device.bodyChanged = true;
        device.strings[tag.field] = text;
        EXPECT_TRUE(SameXml(Data(Contacts(tag.name, text)), Build(device)));
    }
    // The three name fields are logged as they arrive.
    ContactFake contact;
    ASSERT_EQ(Apply(contact, ChangeWith(Contacts("CompanyName", "Acme") + Contacts("FirstName", "Ann") +
                                        Contacts("LastName", "Lee"))),
              kNoError);
    EXPECT_NE(Log().find("Company: Acme\nFirst Name: Ann\nLast Name: Lee\n"), std::string::npos);
}

TEST_F(ContactMappingTest, DatesBothWaysAndNoDateIsNeverSent) {
    // Server text -> the date field.
    const struct {
        const char *tag;
        uint32_t field;
        const char *text;
        const char *stored;
    } applied[] = {
        {"Birthday", kContactBirthday, "1970-05-12T23:00:00.000Z", "1970-05-12 23:00:00"},
        {"Anniversary", kContactAnniversary, "2001-06-30T00:00:00.000Z", "2001-06-30 00:00:00"},
        {"Birthday", kContactBirthday, "20010630T010000+0200", "2001-06-29 23:00:00"},
        {"Birthday", kContactBirthday, "", "none"},
    };
    for (const auto &c : applied) {
        SCOPED_TRACE(c.text);
        ContactFake contact;
        contact.dates[c.field] = DateRecord(1999, 1, 1);
        ASSERT_EQ(Apply(contact, ChangeWith(Contacts(c.tag, c.text))), kNoError);
        EXPECT_EQ(DateText(contact.dates[c.field]), c.stored);
    }
    ContactFake bad;
    EXPECT_EQ(Apply(bad, ChangeWith(Contacts("Birthday", "1970-13-40"))), ASDataManagerErrInvalidDataType);

    // The date field -> what goes to the server.
    const struct {
        struct tm date;
        const char *sent;
    } built[] = {
        {DateRecord(1970, 5, 12, 23), "1970-05-12T23:00:00.000Z"},
        {tm{}, nullptr},                // all zero: no date
        {DateRecord(4501, 1, 1), nullptr},  // the device's own "no date"
    };
    for (const auto &c : built) {
        SCOPED_TRACE(DateText(c.date));
        ContactFake contact;
        contact.dates[kContactBirthday] = c.date;
        contact.dates[kContactAnniversary] = c.date;
        const std::string expected =
            c.sent != nullptr ? Contacts("Anniversary", c.sent) + Contacts("Birthday", c.sent) : "";
        EXPECT_TRUE(SameXml(Data(expected), Build(contact)));
    }
}

TEST_F(ContactMappingTest, CategoriesAndChildrenAreLists) {
    ContactFake contact;
    contact.lists[kContactChildren] = {"old"};
    ASSERT_EQ(Apply(contact, ChangeWith("<Categories xmlns=\"Contacts:\"><Category>Work</Category>"
                                        "<Category>VIP</Category></Categories>"
                                        "<Children xmlns=\"Contacts:\"><Child>Kim</Child><Child>Lou</Child>"
                                        "</Children>")),
              kNoError);
    EXPECT_EQ(contact.lists[kContactCategories], (std::vector<std::string>{"Work", "VIP"}));
    EXPECT_EQ(contact.lists[kContactChildren], (std::vector<std::string>{"Kim", "Lou"}));
    EXPECT_TRUE(SameXml(Data("<Categories xmlns=\"Contacts:\"><Category>Work</Category><Category>VIP</Category>"
                             "</Categories><Children xmlns=\"Contacts:\"><Child>Kim</Child><Child>Lou</Child>"
                             "</Children>"),
                        Build(contact)));
    // An empty list element empties the list; an empty list is not sent.
    ASSERT_EQ(Apply(contact, ChangeWith("<Categories xmlns=\"Contacts:\"/>" + Contacts("Children", "") +
                                        Contacts("FirstName", "Ann"))),
              kNoError);
    EXPECT_TRUE(contact.lists[kContactCategories].empty());
    EXPECT_TRUE(contact.lists[kContactChildren].empty());
    EXPECT_TRUE(SameXml(Data(Contacts("FirstName", "Ann")), Build(contact)));
}

TEST_F(ContactMappingTest, ChangeReplacesTheContactAddKeepsWhatWasNotSent) {
    const auto full = [] {
        ContactFake contact;
        for (const StringTag &tag : kStringTags) contact.strings[tag.field] = "old";
        contact.dates[kContactBirthday] = DateRecord(1970, 5, 12);
        contact.dates[kContactAnniversary] = DateRecord(1999, 9, 9);
        contact.lists[kContactCategories] = {"Work"};
        contact.lists[kContactChildren] = {"Kim"};
        return contact;
    };
    // Pictures, RTF bodies, the sizes and the second Contacts page are dropped.
    const std::string sent = Contacts("FirstName", "Ann") + Contacts("Picture", "AAAA") +
                             Contacts("CompressedRTF", "AAAA") + Contacts("BodySize", "12") +
                             "<NickName xmlns=\"Contacts2:\">Annie</NickName>";
    ContactFake changed = full();
    ASSERT_EQ(Apply(changed, ChangeWith(sent)), kNoError);
    EXPECT_EQ(Filled(changed), (std::map<uint32_t, std::string>{{kContactFirstName, "Ann"}}));
    EXPECT_EQ(DateText(changed.dates[kContactBirthday]), "none");
    EXPECT_EQ(DateText(changed.dates[kContactAnniversary]), "none");
    EXPECT_TRUE(changed.lists[kContactCategories].empty());
    EXPECT_TRUE(changed.lists[kContactChildren].empty());

    ContactFake added = full();
    PimMappingProbe::InHand(*data, true, 1);
    ASSERT_EQ(Apply(added, ChangeWith(sent)), kNoError);
    EXPECT_EQ(added.setOrder, std::vector<uint32_t>{kContactFirstName});
    EXPECT_EQ(added.strings[kContactLastName], "old");
    EXPECT_EQ(PimMappingProbe::AddedCount(*data), 1u);
}

TEST_F(ContactMappingTest, CommandWithoutDataChangesNothing) {
    const struct {
        const char *what;
        bool madeNew;
        const char *status;
        uint32_t addedAfter;
        bool conflict;
    } cases[] = {
        {"found in the store", false, "", 1, false},
        {"made for the Add", true, "", 0, false},
        {"conflict", true, "<Status>7</Status>", 1, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        global->log.text.clear();
        ContactFake contact;
        contact.strings[kContactFirstName] = "Ann";
        PimMappingProbe::InHand(*data, c.madeNew, 1);
        EXPECT_EQ(Apply(contact, std::string("<Change xmlns=\"AirSync:\"><ServerId>s1</ServerId>") + c.status +
                                     "</Change>"),
                  ASDataManagerErrItemNotSupported);
        EXPECT_TRUE(contact.setOrder.empty());
        EXPECT_EQ(contact.strings[kContactFirstName], "Ann");
        EXPECT_EQ(PimMappingProbe::AddedCount(*data), c.addedAfter);
        EXPECT_NE(Log().find("No item data is present!\n"), std::string::npos);
        EXPECT_EQ(Log().find("Conflict matching the client and server object.\n") != std::string::npos, c.conflict);
    }
}

TEST_F(ContactMappingTest, WholeContactGoesInItsOrderWithTheAddressesLast) {
    ContactFake contact;
    for (const StringTag &tag : kStringTags) contact.strings[tag.field] = std::to_string(tag.field);
    contact.dates[kContactAnniversary] = DateRecord(1999, 9, 9);
    contact.dates[kContactBirthday] = DateRecord(1970, 5, 12, 23);
    contact.lists[kContactCategories] = {"Work", "VIP"};
    contact.lists[kContactChildren] = {"Kim"};
    const std::vector<std::pair<std::string, std::string>> head = {
        {"Anniversary", "1999-09-09T00:00:00.000Z"}, {"AssistantName", "1000"},
        {"AssistantTelephoneNumber", "1001"},        {"Birthday", "1970-05-12T23:00:00.000Z"}};
    const std::vector<std::pair<std::string, std::string>> middle = {
        {"Business2PhoneNumber", "1003"}, {"BusinessCity", "1004"},      {"BusinessCountry", "1005"},
        {"BusinessPostalCode", "1006"},   {"BusinessState", "1007"},     {"BusinessStreet", "1008"},
        {"BusinessFaxNumber", "1009"},    {"BusinessPhoneNumber", "1010"}, {"CarPhoneNumber", "1011"}};
    const std::string lists =
        "<Categories xmlns=\"Contacts:\"><Category>Work</Category><Category>VIP</Category></Categories>"
        "<Children xmlns=\"Contacts:\"><Child>Kim</Child></Children>";
    const std::vector<std::pair<std::string, std::string>> tail = {
        {"CompanyName", "1012"},      {"Department", "1013"},       {"FileAs", "1017"},
        {"FirstName", "1018"},        {"Home2PhoneNumber", "1019"}, {"HomeCity", "1020"},
        {"HomeCountry", "1021"},      {"HomePostalCode", "1022"},   {"HomeState", "1023"},
        {"HomeStreet", "1024"},       {"HomeFaxNumber", "1025"},    {"HomePhoneNumber", "1026"},
        {"JobTitle", "1027"},         {"LastName", "1028"},         {"MiddleName", "1029"},
        {"MobilePhoneNumber", "1030"}, {"OfficeLocation", "1031"},  {"OtherCity", "1032"},
        {"OtherCountry", "1033"},     {"OtherPostalCode", "1034"},  {"OtherState", "1035"},
        {"OtherStreet", "1036"},      {"PagerNumber", "1037"},      {"RadioPhoneNumber", "1038"},
        {"Spouse", "1039"},           {"Suffix", "1040"},           {"Title", "1041"},
        {"WebPage", "1042"},          {"YomiCompanyName", "1043"},  {"YomiFirstName", "1044"},
        {"YomiLastName", "1045"},     {"Email1Address", "1014"},    {"Email2Address", "1015"},
        {"Email3Address", "1016"}};
    const auto join = [](const std::vector<std::pair<std::string, std::string>> &fields) {
        std::string xml;
        for (const auto &field : fields) xml += Contacts(field.first, field.second);
        return xml;
    };
    // The body goes only when it changed on the device.
    contact.bodyChanged = true;
    EXPECT_TRUE(SameXml(Data(join(head) + Contacts("Body", "1002") + join(middle) + lists + join(tail)),
                        Build(contact)));
    contact.bodyChanged = false;
    EXPECT_TRUE(SameXml(Data(join(head) + join(middle) + lists + join(tail)), Build(contact)));
}

TEST_F(ContactMappingTest, FailingFieldEndsTheContact) {
    ContactFake contact;
    contact.failField = kContactFirstName;
    EXPECT_EQ(Apply(contact, ChangeWith(Contacts("FirstName", "Ann") + Contacts("LastName", "Lee"))),
              generalErrUnknownError);
    // Neither the fields behind it nor the clearing of the rest.
    EXPECT_TRUE(contact.setOrder.empty());
}

TEST_F(ContactMappingTest, RefusedLocalContactIsLoggedByName) {
    const struct {
        const char *first, *last, *logged;
    } cases[] = {
        {"Ann", "Lee", "[text 92]\n[text 93] Ann Lee\n[text 94] Acme\n"},
        {"", "Lee", "[text 92]\n[text 93] Lee\n[text 94] Acme\n"},
        {"Ann", "", "[text 92]\n[text 93] Ann \n[text 94] Acme\n"},
        {"", "", "[text 92]\n[text 94] Acme\n"},
    };
    for (const auto &c : cases) {
        global->log.text.clear();
        ContactFake contact;
        contact.strings = {{kContactFirstName, c.first}, {kContactLastName, c.last}, {kContactCompanyName, "Acme"}};
        PimMappingProbe::LogRejectedContact(*data, &contact);
        EXPECT_EQ(Log(), c.logged);
    }
}

}  // namespace
