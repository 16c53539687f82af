// IThreadedSocketClient: what the transfer worker (DWinMobThreadedSocket)
// calls on the request that owns it. The owner implements it; the worker
// never sees the owner's type.
//
// Threads: all three are called on the thread that made the socket (the
// engine's); the worker itself never calls the owner, so the owner may be
// destroyed on that thread at any time, a worker still running or not.
#ifndef QV_ITHREADEDSOCKETCLIENT_H
#define QV_ITHREADEDSOCKETCLIENT_H

#include <cstdint>

class IThreadedSocketClient {
public:
    // The response bytes written so far (the latest count when several
    // reads came in since the last call). Not after the send's end.
    virtual void Socket_ReceiveProgress(uint32_t bytesReceived) = 0;
    // Engine thread: the transfer ended (or was given up on); the socket's
    // results are ready to read. Called once per send.
    virtual void Socket_TransferEnded() = 0;
    // Engine thread: close the request handle, so that a worker blocked on
    // it returns.
    virtual void DoWmCloseTrx() = 0;

protected:
    ~IThreadedSocketClient() = default;
};

#endif
