// The engine with its own data manager against the real ActiveSync server on
// loopback: a fresh device learns alice's folder hierarchy and the Inbox's
// message headers, checked against what the server's mail store holds; a
// second run with nothing new syncs the Inbox once and changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DWinMobMessageManager.h"
#include "DeviceInbox.h"
#include "IOutlookMessage.h"
#include "ImapProbe.h"
#include "PeerMailFixture.h"

namespace {

class PeerDataManagerTest : public PeerMailTest {
protected:
    PeerDataManagerTest() : PeerMailTest("VDM") {}

    size_t CountInLog(const std::string &piece, size_t from = 0) const {
        size_t count = 0;
        for (size_t at = global->log.text.find(piece, from); at != std::string::npos;
             at = global->log.text.find(piece, at + 1))
            ++count;
        return count;
    }
};

TEST_F(PeerDataManagerTest, AFreshDeviceLearnsTheFoldersAndTheInboxHeadersAndASecondRunChangesNothing) {
    RunEMail();
    if (HasFatalFailure()) return;

    // The hierarchy: the Inbox and the calendar by type, Alpha below Projects.
    DEASFolderInfoStore &folders = global->folders;
    DEASFolderInfoRecord *inbox = nullptr, *calendar = nullptr;
    ASSERT_EQ(folders.FindFirstFolderOfType(kFolderTypeInbox, &inbox), kNoError);
    EXPECT_EQ(std::string(inbox->GetString(kFolderFieldServerID)).rfind("mail%2F", 0), 0u);
    EXPECT_NE(std::string(inbox->GetString(kFolderFieldSyncKey)), "0");
    EXPECT_EQ(folders.FindFirstFolderOfType(kFolderTypeCalendar, &calendar), kNoError);
    ExpectAlphaBelowProjects(folders);
    if (HasFatalFailure()) return;

    // Every Inbox mail of the server, with its subject.
    const std::vector<std::string> subjects = DeviceInboxSubjects(global.get());
    const int onServer = ImapMessageCount(Peer(), "INBOX");
    ASSERT_GT(onServer, 0);
    EXPECT_EQ(int(subjects.size()), onServer);
    const std::set<std::string> held(subjects.begin(), subjects.end());
    EXPECT_TRUE(held.count("Test message 01")) << subjects.size();
    EXPECT_TRUE(held.count("Large message (24 KB body)"));

    // A second run with nothing new: the Inbox synced once at most, and
    // changed in nothing. The server's estimate decides whether it syncs at
    // all: it counts the read marks the server itself set as it first served
    // bodies, so one Sync when the estimate is not zero, none when it is.
    const size_t from = global->log.text.size();
    RunEMail();
    const std::string estimate = " GetItemEstimates updates count : ";
    const size_t at = global->log.text.find(estimate, from);
    ASSERT_NE(at, std::string::npos) << global->log.text.substr(from);
    const bool changes = std::strtoul(global->log.text.c_str() + at + estimate.size(), nullptr, 10) != 0;
    EXPECT_EQ(CountInLog("DActiveSyncDataManager::CollectCommandData() - ActiveSync command : 14", from),
              changes ? 1u : 0u)
        << global->log.text.substr(from);
    EXPECT_EQ(CountInLog("DActiveSyncDataManager::CollectCommandData() - ActiveSync command : 4", from), 0u);
    EXPECT_EQ(DeviceInboxSubjects(global.get()), subjects);
}

}  // namespace
