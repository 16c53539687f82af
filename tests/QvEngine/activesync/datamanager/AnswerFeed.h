// Feeding one answer to the data manager and running the chain it starts to
// its end. A chain is over when the task is idle and no longer active: its
// signal stays ready after the last step ran, so readiness tells nothing.
#ifndef VTEST_ANSWERFEED_H
#define VTEST_ANSWERFEED_H

#include <string>

#include "DataManagerFixture.h"

inline bool PumpChainToEnd(EngineGlobal &global, DActiveSyncDataManager &data) {
    return PumpEngineUntil(global, [&data] { return data.GetState() == kDMIdle && !data.IsActive(); });
}

// The answer (XML made WBXML) for the step; the record handed back, when
// asked for, is the caller's.
inline DErrorCode FeedAnswer(EngineGlobal &global, DActiveSyncDataManager &data, uint32_t step,
                             const std::string &xml, DClientResponse **record = nullptr) {
    TypedAnswer answer(&global, WbxmlFromXml(xml));
    DClientResponse *kept = nullptr;
    DErrorCode err = data.ProcessCommandData(step, &answer, answer.Body(), &kept);
    if (err == activeSyncErrWaitForCallback) {
        EXPECT_TRUE(PumpChainToEnd(global, data)) << "the chain never ended";
    }
    if (record != nullptr)
        *record = kept;
    else
        delete kept;
    return err;
}

#endif
