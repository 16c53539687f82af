// IThreadedSocketClient: what the transfer worker (DWinMobThreadedSocket)
// calls on the request that owns it. The owner implements it; the worker
// never sees the owner's type.
//
// Threads: Socket_ReceiveProgress is called on the worker's thread, always
// under the socket's lock and never once the socket let the worker go, so
// the owner may be destroyed on its own thread at any time after that. The
// other two are called on the thread that made the socket (the engine's).
#ifndef QV_ITHREADEDSOCKETCLIENT_H
#define QV_ITHREADEDSOCKETCLIENT_H

#include <cstdint>

class IThreadedSocketClient {
public:
    // Worker thread: the response bytes read so far. Must not block.
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
