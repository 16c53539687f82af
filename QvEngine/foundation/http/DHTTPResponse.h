// The two outcomes of a completed HTTP exchange. Both point at the
// transaction, which stays its creator's (the engine's); the receiver reads
// status, content type and body from it during the callback.
//
// DHTTPSuccessResponse (type 4): a status was received and it lies in
// 200 to 299.
// DHTTPFailureResponse (type 5): a status was received outside 200 to 299
// (the transaction's status code tells which). It also carries the error
// code of the outcome, which is never 0, so a failure can never read as
// success.
#ifndef QV_DHTTPRESPONSE_H
#define QV_DHTTPRESPONSE_H

#include "DClientResponse.h"
#include "DErrorCode.h"

class DHTTPTransaction;

class DHTTPSuccessResponse : public DClientResponse {
public:
    explicit DHTTPSuccessResponse(DHTTPTransaction *transaction)
        : DClientResponse(kResponseTypeHTTPSuccess), m_transaction(transaction) {}
    virtual DHTTPTransaction *GetPayload() const { return m_transaction; }

private:
    DHTTPTransaction *m_transaction;
};

class DHTTPFailureResponse : public DClientResponse {
public:
    // code 0 is taken as httpErrRequestFailed.
    DHTTPFailureResponse(DHTTPTransaction *transaction, DErrorCode code)
        : DClientResponse(kResponseTypeHTTPFailure),
          m_transaction(transaction),
          m_code(code == kNoError ? httpErrRequestFailed : code) {}
    virtual DHTTPTransaction *GetPayload() const { return m_transaction; }
    DErrorCode GetErrorCode() const { return m_code; }

private:
    DHTTPTransaction *m_transaction;
    DErrorCode m_code;
};

#endif
