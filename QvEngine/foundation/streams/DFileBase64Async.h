// DFileBase64Async: encodes a whole file into base64 as a cooperative task,
// one chunk of 1200 input bytes per step, so that a large attachment never
// blocks the thread. The text is appended at the end of the output file;
// when the input is used up the waiting task's signal gets 0, and on a
// failure it gets the error (which is also logged and returned by the
// step). The task belongs to the global info's task manager; the files and
// the waiting signal stay the caller's and must outlive the run.
#ifndef QV_DFILEBASE64ASYNC_H
#define QV_DFILEBASE64ASYNC_H

#include <cstdint>

#include "DActiveTask.h"
#include "DErrorCode.h"
#include "VFile.h"

class IGlobalData;

// Input bytes per step: a multiple of 3, so that chunks join without
// padding between them.
constexpr uint32_t kBase64ChunkBytes = 1200;

class DFileBase64Async : public DActiveTask {
public:
    enum Stage : uint32_t {
        kStageIdle = 0,      // no file in hand; waits for Start, then to Encoding
        kStageEncoding = 1,  // one chunk per step until the input ends, then signals the waiter and to Idle
    };

    // A new task with the global info, attached to its task manager.
    // generalErrMemoryError when it cannot be allocated,
    // generalErrNotInitialized when the global info has no task manager.
    static DErrorCode Create(DFileBase64Async **out, IGlobalData *global);

    ~DFileBase64Async() override;
    DErrorCode RunTask() override;
    // Back to idle; forgets the signal and both files.
    void CancelTask() override;
    virtual DErrorCode Init(IGlobalData *global);

    // Encodes in into the end of out and signals done (optional) at the
    // end. An open input is rewound, a closed one opened for reading; a
    // closed output is opened read/write (the file must exist). The open
    // errors are returned and nothing starts.
    DErrorCode Start(VFile *in, VFile *out, DActiveTaskSignal *done);

    uint32_t GetStage() const { return m_stage; }
    // Lines of at most length characters joined by CR LF (0, the default:
    // one unbroken line). The line runs on across chunks; each Start begins
    // a new one, and no line break follows the last character.
    void SetLineLength(uint32_t length) { m_lineLength = length; }

private:
    DFileBase64Async();
    // One chunk; *finished when the input is used up.
    DErrorCode EncodeChunk(bool *finished);
    // Logs the failure, signals the waiting task with it and goes idle.
    DErrorCode Fail(DErrorCode code);
    // Signals the waiting task (if any) and goes idle.
    void Finish(DErrorCode code);

    IGlobalData *m_global;
    DActiveTaskSignal *m_done;
    VFile *m_in;
    VFile *m_out;
    uint32_t m_stage;
    uint32_t m_lineLength = 0;
    // Characters on the current output line.
    uint32_t m_column = 0;
};

#endif
