// What the device's Inbox holds, read through a message manager of its own as
// another component of the device would: the subjects of its messages.
#ifndef VTEST_DEVICEINBOX_H
#define VTEST_DEVICEINBOX_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DWinMobMessageManager.h"
#include "IOutlookMessage.h"

inline std::vector<std::string> DeviceInboxSubjects(IGlobalData *global) {
    struct Quiet : IOutlookManagerClient {
        void OutlookManager_ReportStatus(DStatusData *, uint32_t) override {}
    } quiet;
    std::vector<std::string> subjects;
    DWinMobMessageManager *manager = nullptr;
    EXPECT_EQ(AllocateMessageManager(&manager, global, &quiet), kNoError);
    if (manager == nullptr) return subjects;
    DWinMobOutlookMessageCollection *inbox = nullptr;
    EXPECT_EQ(manager->Open(nullptr), kNoError);
    EXPECT_EQ(manager->GetInboxCollection(&inbox), kNoError);
    uint32_t count = 0;
    if (inbox != nullptr) inbox->GetCount(&count);
    for (uint32_t i = 0; i < count; ++i) {
        IOutlookItem *item = nullptr;
        if (inbox->GetItem(i, &item) != kNoError) continue;
        if (auto *message = dynamic_cast<IOutlookMessage *>(item)) {
            VString subject;
            message->GetSubject(&subject);
            subject.ConvertTo(kVStringUTF8);
            subjects.push_back(subject.GetNarrowText() != nullptr ? subject.GetNarrowText() : "");
        }
        delete item;
    }
    delete manager;
    return subjects;
}

#endif
