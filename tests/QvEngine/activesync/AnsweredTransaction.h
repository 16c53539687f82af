// Canned bodies and answers for the engine's tests: a temporary file with
// given bytes, and a transaction that has already received its answer.
#ifndef VTEST_ANSWEREDTRANSACTION_H
#define VTEST_ANSWEREDTRANSACTION_H

#include <gtest/gtest.h>

#include <string>

#include "DHTTPTransaction.h"
#include "TempVFile.h"
#include "VFile.h"

// A temporary file holding bytes (closed), as the data manager spools a
// request body or the transfer leaves an answer.
inline VFile *TempFileWith(const std::string &bytes) {
    VFile *file = nullptr;
    EXPECT_EQ(EnsureTempVFile(&file), kNoError);
    if (file == nullptr) return nullptr;
    bool open = false;
    file->IsOpen(&open);
    if (!open) {
        EXPECT_EQ(file->Open(kVFileReadWrite), kNoError);
    }
    uint32_t written = 0;
    if (!bytes.empty()) {
        EXPECT_EQ(file->Write(uint32_t(bytes.size()), bytes.data(), &written), kNoError);
    }
    file->Close();
    return file;
}

// A transaction whose answer has the status and body the test gives it.
class AnsweredTransaction : public DHTTPTransaction {
public:
    AnsweredTransaction(IGlobalData *global, uint32_t status, const std::string &body)
        : DHTTPTransaction(global, nullptr) {
        m_status = status;
        EXPECT_EQ(SetResponseData(TempFileWith(body)), kNoError);
    }
};

#endif
