// Stand-ins for the HTTP layer's platform side, shared by the session and
// transaction tests: a connection engine that connects at once (or fails),
// a transaction whose result the test sets as a transfer worker would, a
// session that passes the connection record on and makes such
// transactions, and a client that records what reaches it.
#ifndef VTEST_HTTPTESTUTIL_H
#define VTEST_HTTPTESTUTIL_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "DHTTPResponse.h"
#include "DHTTPSession.h"
#include "DHTTPTransaction.h"
#include "DProgressStatusData.h"
#include "DWinMobInternetConnectResponse.h"

class FakeConnectEngine : public DInternetConnectEngine {
public:
    using DInternetConnectEngine::DInternetConnectEngine;

    // Connects synchronously, as the platform engine does: the connection
    // record reaches the client inside this call.
    DErrorCode Connect() override {
        ++connects;
        if (failWith != kNoError) {
            ReportError(failWith, "FakeConnectEngine::Connect()");
            return kNoError;
        }
        return ReportConnection();
    }
    DErrorCode ReportConnection() override {
        m_state = kConnectStateConnected;
        DWinMobInternetConnectResponse record(&handle);
        return m_client->InternetConnect_RecievedResponse(&record);
    }
    DErrorCode CloseConnection() override {
        ++closes;
        m_state = kConnectStateDisconnected;
        return kNoError;
    }
    // The network went away under the connection.
    void Drop() { m_state = kConnectStateDisconnected; }

    int connects = 0;
    int closes = 0;
    DErrorCode failWith = kNoError;
    int handle = 0;
};

class FakeTransaction : public DHTTPTransaction {
public:
    using DHTTPTransaction::DHTTPTransaction;
    using DHTTPTransaction::EnsureResponseFile;

    // What a worker leaves behind.
    void SetResult(uint32_t status, uint32_t contentLength, uint32_t bytes) {
        m_status = status;
        m_contentLength = contentLength;
        m_bytesReceived = bytes;
    }
};

class FakeSession : public DHTTPSession {
public:
    using DHTTPSession::DHTTPSession;

    DErrorCode InternetConnect_RecievedResponse(DClientResponse *response) override {
        if (response->GetType() == kResponseTypeInternetConnect) return m_client->HTTP_RecievedResponse(response);
        return DHTTPSession::InternetConnect_RecievedResponse(response);
    }
    DErrorCode CreateTransaction(DHTTPTransaction **out) override {
        *out = new FakeTransaction(m_global, this);
        return kNoError;
    }
    // The worker finished the current transaction.
    DErrorCode Finish(DErrorCode result, uint32_t status, uint32_t contentLength = 0, uint32_t bytes = 0) {
        static_cast<FakeTransaction *>(m_current)->SetResult(status, contentLength, bytes);
        return DeliverTransferResult(result, "FakeSession::Finish()");
    }
    FakeConnectEngine *Engine() {
        EnsureConnectEngine();
        return static_cast<FakeConnectEngine *>(m_engine.get());
    }

protected:
    DErrorCode CreateConnectEngine(DInternetConnectEngine **out) override {
        *out = new FakeConnectEngine(m_global);
        return kNoError;
    }
};

// Records each call as one line of text; onResponse runs inside
// HTTP_RecievedResponse, after the record was noted.
class RecordingClient : public IHTTPClient {
public:
    DErrorCode HTTP_ReportError(DErrorCode code, VString *detail) override {
        events.push_back("error " + Hex(code) + " " + detail->GetNarrowText());
        return kNoError;
    }
    DErrorCode HTTP_RecievedResponse(DClientResponse *response) override {
        std::string line = "response " + std::to_string(response->GetType());
        if (response->GetType() == kResponseTypeHTTPSuccess)
            line += " status " + std::to_string(static_cast<DHTTPSuccessResponse *>(response)->GetPayload()->GetStatusCode());
        if (response->GetType() == kResponseTypeHTTPFailure) {
            auto *failure = static_cast<DHTTPFailureResponse *>(response);
            line += " status " + std::to_string(failure->GetPayload()->GetStatusCode()) + " code " +
                    Hex(failure->GetErrorCode());
        }
        events.push_back(line);
        // A copy: the hook may replace itself while it runs.
        if (auto hook = onResponse) hook(response);
        return kNoError;
    }
    DErrorCode HTTP_ReportStatus(DStatusData *status) override {
        auto *progress = static_cast<DProgressStatusData *>(status);
        events.push_back("status " + std::to_string(status->GetType()) + " " + std::to_string(progress->GetDone()) +
                         "/" + std::to_string(progress->GetTotal()));
        return kNoError;
    }
    DErrorCode HTTP_GetCredentials(VString *user, VString *password) override {
        DErrorCode err = user->AssignCStr("user", kVStringWindows1252);
        return err != kNoError ? err : password->AssignCStr("pass", kVStringWindows1252);
    }

    static std::string Hex(DErrorCode code) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", unsigned(code));
        return text;
    }

    std::vector<std::string> events;
    std::function<void(DClientResponse *)> onResponse;
};

#endif
