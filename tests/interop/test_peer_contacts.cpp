// Contacts and tasks against the real ActiveSync server on loopback, checked
// on the server's side over CardDAV: a fresh device learns alice's address
// book; a contact a person makes on the device reaches the server and a
// change made there comes back; a tasks run takes the server's tasks without
// keeping them, since the device keeps no tasks of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DavProbe.h"
#include "PeerPimFixture.h"

namespace {

const char kContacts[] = "Contacts/personal/";

class PeerContactsTest : public PeerPimTest {
protected:
    PeerContactsTest() : PeerPimTest("VCON") {}

    // The server's vCards, by resource.
    std::vector<std::pair<std::string, std::string>> ServerCards() {
        std::vector<std::pair<std::string, std::string>> cards;
        const std::string collection = Peer().user + "/" + kContacts;
        for (const std::string &path : DavList(Peer(), Peer().user, Peer().password, collection)) {
            const DavAnswer got = DavGet(Peer(), Peer().user, Peer().password, path);
            if (got.status == 200 && got.body.find("BEGIN:VCARD") != std::string::npos)
                cards.emplace_back(path, got.body);
        }
        return cards;
    }

    static const DeviceContact *ByName(const std::vector<DeviceContact> &all, const std::string &first,
                                       const std::string &last) {
        for (const auto &c : all)
            if (c.firstName == first && c.lastName == last) return &c;
        return nullptr;
    }
};

// "Doe;Dave;;;" as {first, last}.
std::pair<std::string, std::string> NameOf(const std::string &card) {
    const std::string n = DavProperty(card, "N");
    const size_t semicolon = n.find(';');
    const std::string last = n.substr(0, semicolon);
    std::string first = semicolon == std::string::npos ? std::string() : n.substr(semicolon + 1);
    first = first.substr(0, first.find(';'));
    return {first, last};
}

TEST_F(PeerContactsTest, AFreshDeviceLearnsTheAddressBook) {
    RunTypes(kRunFlagContacts);
    if (HasFatalFailure()) return;
    const std::vector<DeviceContact> device = DevicePim().Contacts();
    const auto cards = ServerCards();
    ASSERT_FALSE(cards.empty());
    EXPECT_EQ(device.size(), cards.size());
    for (const auto &card : cards) {
        const auto name = NameOf(card.second);
        SCOPED_TRACE(name.first + " " + name.second);
        const DeviceContact *c = ByName(device, name.first, name.second);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->email, DavProperty(card.second, "EMAIL"));
    }
}

TEST_F(PeerContactsTest, AContactMadeOnTheDeviceReachesTheServerAndAServerChangeComesBack) {
    RunTypes(kRunFlagContacts);
    if (HasFatalFailure()) return;

    const std::string last = "Field" + std::to_string(GetTickCount());
    vplat::PimUserContact ann;
    ann.firstName = u"Ann";
    ann.lastName = std::u16string(last.begin(), last.end());
    ann.email = u"ann.field@example.test";
    ann.mobilePhone = u"+49 170 1234567";
    CEOID oid = 0;
    ASSERT_EQ(vplat::PimUserCreateContact(ann, &oid), S_OK);
    RecordNewItem(kShadowContacts, oid);
    if (HasFatalFailure()) return;
    RunTypes(kRunFlagContacts);
    if (HasFatalFailure()) return;

    std::string path, card;
    for (const auto &c : ServerCards())
        if (NameOf(c.second).second == last) {
            path = c.first;
            card = c.second;
        }
    ASSERT_FALSE(path.empty()) << global->log.text;
    EXPECT_EQ(NameOf(card).first, "Ann");
    EXPECT_NE(card.find("ann.field@example.test"), std::string::npos) << card;
    EXPECT_NE(card.find("+49 170 1234567"), std::string::npos) << card;

    // The server's versions are told apart by their second of change.
    Sleep(1100);
    std::string changed = card;
    const size_t at = changed.find("ann.field@example.test");
    changed.replace(at, std::string("ann.field@example.test").size(), "ann@field.example.test");
    ASSERT_LT(DavPut(Peer(), Peer().user, Peer().password, path, "text/vcard", changed).status, 300);
    RunTypes(kRunFlagContacts);
    const std::vector<DeviceContact> device = DevicePim().Contacts();
    const DeviceContact *mine = ByName(device, "Ann", last);
    ASSERT_NE(mine, nullptr) << global->log.text;
    EXPECT_EQ(mine->oid, oid);
    EXPECT_EQ(mine->email, "ann@field.example.test");
    DavDelete(Peer(), Peer().user, Peer().password, path);
}

TEST_F(PeerContactsTest, ATasksRunTakesTheServersTasksAndKeepsNone) {
    RunTypes(kRunFlagTasks);
    if (HasFatalFailure()) return;
    EXPECT_NE(global->log.text.find("TASKS Sync Key"), std::string::npos) << global->log.text;
    // A second run has nothing of the device's own to send.
    const size_t from = global->log.text.size();
    RunTypes(kRunFlagTasks);
    EXPECT_EQ(global->log.text.find("Send NEW", from), std::string::npos);
}

}  // namespace
