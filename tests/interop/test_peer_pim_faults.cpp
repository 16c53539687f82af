// A contact made on the device goes to the real server in a Sync that fails:
// the device does not know whether its contact arrived, and sends it again
// with the same sync key and client id. However the spoilt run ends, the next
// runs leave exactly one such contact on the server and one on the device.
//
// An answer lost after the server kept the contact is not played here: this
// server takes a Sync sent again with the same key as a new one and keeps the
// contact twice (and the device, told of neither copy, keeps one).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DavProbe.h"
#include "FaultProxy.h"
#include "PeerPimFixture.h"

namespace {

const char kContacts[] = "Contacts/personal/";

struct PimFault {
    const char *name;
    const char *addon;
    DErrorCode error;  // what the spoilt run reports
};

void PrintTo(const PimFault &fault, std::ostream *out) { *out << fault.name; }

class PeerPimFaultTest : public PeerPimTest, public ::testing::WithParamInterface<PimFault> {
protected:
    PeerPimFaultTest() : PeerPimTest("VPFL") {}
    void TearDown() override {
        proxy.Stop();
        for (const std::string &path : CardsNamed(m_last)) DavDelete(Peer(), Peer().user, Peer().password, path);
        PeerPimTest::TearDown();
    }

    // The server's contacts of that last name, by resource.
    std::vector<std::string> CardsNamed(const std::string &last) {
        std::vector<std::string> paths;
        if (last.empty() || Peer().user.empty()) return paths;
        for (const std::string &path : DavList(Peer(), Peer().user, Peer().password, Peer().user + "/" + kContacts)) {
            const DavAnswer got = DavGet(Peer(), Peer().user, Peer().password, path);
            if (got.status == 200 && DavProperty(got.body, "N").compare(0, last.size() + 1, last + ";") == 0)
                paths.push_back(path);
        }
        return paths;
    }

    FaultProxy proxy;
    std::string m_last;
};

TEST_P(PeerPimFaultTest, AContactWhoseSyncFailsReachesTheServerOnceAndTheDeviceOnce) {
    const PimFault &fault = GetParam();
    RunTypes(kRunFlagContacts);
    if (HasFatalFailure()) return;
    m_last = "Lost" + std::to_string(GetTickCount());
    vplat::PimUserContact ann;
    ann.firstName = u"Ann";
    ann.lastName = std::u16string(m_last.begin(), m_last.end());
    ann.email = u"ann.lost@example.test";
    CEOID oid = 0;
    ASSERT_EQ(vplat::PimUserCreateContact(ann, &oid), S_OK);
    RecordNewItem(kShadowContacts, oid);
    if (HasFatalFailure()) return;

    std::string why;
    ASSERT_TRUE(proxy.StartBefore(Peer(), fault.addon, {"fault_cmd=Sync"}, &why)) << why;
    PointPeerAccountAt(global->prefs, Peer(), proxy.Port());
    MakeEngine();
    if (HasFatalFailure()) return;
    ASSERT_EQ(engine->StartSync(kRunFlagContacts, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(PumpEngineUntil(*global, [this] { return client.RunOver(); })) << global->log.text;
    EXPECT_EQ(client.errors, fault.error == kNoError ? std::vector<DErrorCode>{} : std::vector<DErrorCode>{fault.error})
        << global->log.text << proxy.Log();
    EXPECT_EQ(proxy.Spoilt(), 1);
    proxy.Stop();

    PointPeerAccountAt(global->prefs, Peer(), 0);
    RunTypes(kRunFlagContacts);
    if (HasFatalFailure()) return;
    RunTypes(kRunFlagContacts);
    if (HasFatalFailure()) return;
    EXPECT_EQ(CardsNamed(m_last).size(), 1u) << global->log.text;
    int onDevice = 0;
    for (const DeviceContact &c : DevicePim().Contacts())
        if (c.lastName == m_last) ++onDevice;
    EXPECT_EQ(onDevice, 1) << global->log.text;
}

const PimFault kPimFaults[] = {
    {"ServerError", "http_500.py", activeSyncErrTransactionFailed},
    {"ServerBusy", "http_503.py", activeSyncErrTransactionFailed},
    {"ProvisionAsked", "unasked_449.py", kNoError},
};

INSTANTIATE_TEST_SUITE_P(Faults, PeerPimFaultTest, ::testing::ValuesIn(kPimFaults),
                         [](const ::testing::TestParamInfo<PimFault> &info) { return info.param.name; });

}  // namespace
