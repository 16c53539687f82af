#include <gtest/gtest.h>

#include <memory>

#include "DAliveStatusData.h"
#include "DHTTPResponse.h"
#include "DHTTPSession.h"
#include "DHTTPTransaction.h"
#include "DProgressStatusData.h"
#include "DStringStatusData.h"
#include "DWinMobInternetConnectResponse.h"
#include "FakeGlobalData.h"

TEST(StatusRecords, PercentIsExactAtAnySizeAndNeverAbove100) {
    struct Case {
        uint32_t total;
        uint32_t done;
        uint32_t percent;
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, 500, 0},
        {200, 50, 25},
        // done * 100 passes 32 bits from about 43 MB on.
        {100000000, 50000000, 50},
        {0xFFFFFFFF, 0xFFFFFFFE, 99},
        {0xFFFFFFFF, 0xFFFFFFFF, 100},
        {1000, 5000, 100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.total);
        DProgressStatusData progress(c.total, c.done);
        EXPECT_EQ(progress.GetPercent(), c.percent);
        DHTTPProgressStatusRecieveData received(c.total, c.done);
        EXPECT_EQ(received.GetPercent(), c.percent);
    }
}

TEST(StatusRecords, TypesAndPayloads) {
    VString text;
    ASSERT_EQ(text.AssignCStr("Connected", kVStringWindows1252), kNoError);
    {
        // The records only point at the sender's text: deleting them leaves
        // it to the sender.
        std::unique_ptr<DStatusData> main(new DStringStatusData(&text));
        std::unique_ptr<DStatusData> minor(new DStringMinorStatusData(&text));
        EXPECT_EQ(main->GetType(), 1u);
        EXPECT_EQ(minor->GetType(), 2u);
        EXPECT_EQ(static_cast<DStringStatusData *>(minor.get())->GetPayload(), &text);
    }
    EXPECT_STREQ(text.GetNarrowText(), "Connected");

    DProgressStatusData progress(10, 4);
    progress.SetDone(5);
    EXPECT_EQ(progress.GetType(), 3u);
    EXPECT_EQ(progress.GetTotal(), 10u);
    EXPECT_EQ(progress.GetDone(), 5u);
    EXPECT_EQ(DHTTPProgressStatusRecieveData(0, 1).GetType(), 5u);
    DAliveStatusData alive;
    EXPECT_EQ(alive.GetType(), 7u);
    EXPECT_EQ(alive.GetValue(), 990u);
}

TEST(ResponseRecords, TypesPayloadsAndFailureCodes) {
    FakeGlobalData global(nullptr, nullptr);
    DHTTPSession session(&global);
    auto trx = std::make_unique<DHTTPTransaction>(&global, &session);
    {
        // The transaction stays its creator's when a record goes.
        std::unique_ptr<DClientResponse> success(new DHTTPSuccessResponse(trx.get()));
        std::unique_ptr<DClientResponse> failure(new DHTTPFailureResponse(trx.get(), httpErrRequestFailed));
        EXPECT_EQ(success->GetType(), 4u);
        EXPECT_EQ(failure->GetType(), 5u);
        EXPECT_EQ(static_cast<DHTTPSuccessResponse *>(success.get())->GetPayload(), trx.get());
        EXPECT_EQ(static_cast<DHTTPFailureResponse *>(failure.get())->GetPayload(), trx.get());
    }
    EXPECT_EQ(trx->GetSession(), &session);

    // A failure never carries "no error".
    EXPECT_EQ(DHTTPFailureResponse(trx.get(), kNoError).GetErrorCode(), httpErrRequestFailed);
    EXPECT_EQ(DHTTPFailureResponse(trx.get(), httpErrTransactionTimedOut).GetErrorCode(), httpErrTransactionTimedOut);

    int handle = 0;
    DWinMobInternetConnectResponse connected(&handle);
    EXPECT_EQ(connected.GetType(), 31u);
    EXPECT_EQ(connected.GetPayload(), &handle);
}
