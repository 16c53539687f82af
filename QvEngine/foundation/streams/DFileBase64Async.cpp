#include "DFileBase64Async.h"

#include <memory>
#include <new>

#include "Base64.h"
#include "DActiveTaskManager.h"
#include "IGlobalData.h"
#include "ILogProvider.h"

DFileBase64Async::DFileBase64Async()
    : DActiveTask(kActiveTaskDefaultPriority),
      m_global(nullptr),
      m_done(nullptr),
      m_in(nullptr),
      m_out(nullptr),
      m_stage(kStageIdle) {}

DFileBase64Async::~DFileBase64Async() = default;

DErrorCode DFileBase64Async::Create(DFileBase64Async **out, IGlobalData *global) {
    if (out == nullptr || global == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    std::unique_ptr<DFileBase64Async> task(new (std::nothrow) DFileBase64Async);
    if (task == nullptr) return generalErrMemoryError;
    DErrorCode err = task->Init(global);
    if (err != kNoError) return err;
    DActiveTaskManager *manager = global->GetTaskManager();
    if (manager == nullptr) return generalErrNotInitialized;
    err = manager->AddTask(task.get());
    if (err != kNoError) return err;
    *out = task.release();
    return kNoError;
}

DErrorCode DFileBase64Async::Init(IGlobalData *global) {
    m_global = global;
    return kNoError;
}

DErrorCode DFileBase64Async::Start(VFile *in, VFile *out, DActiveTaskSignal *done) {
    if (in == nullptr || out == nullptr) return generalErrInvalidParameter;
    m_done = done;
    m_in = in;
    m_out = out;
    bool open = false;
    DErrorCode err = in->IsOpen(&open);
    if (err == kNoError) err = open ? in->SetPosition(0) : in->Open(kVFileRead);
    if (err == kNoError) err = out->IsOpen(&open);
    if (err == kNoError && !open) err = out->Open(kVFileReadWrite);
    if (err != kNoError) {
        CancelTask();
        return err;
    }
    m_stage = kStageEncoding;
    m_column = 0;
    return ActivateAndSignal();
}

void DFileBase64Async::CancelTask() {
    m_stage = kStageIdle;
    m_done = nullptr;
    m_in = nullptr;
    m_out = nullptr;
}

DErrorCode DFileBase64Async::RunTask() {
    if (m_signal.GetCode() != kNoError) return Fail(m_signal.GetCode());
    if (m_stage != kStageEncoding) return kNoError;
    bool finished = false;
    DErrorCode err = EncodeChunk(&finished);
    if (err != kNoError) return Fail(err);
    if (finished) {
        Finish(kNoError);
        return kNoError;
    }
    err = ActivateAndSignal();
    if (err != kNoError) return Fail(err);
    return kNoError;
}

DErrorCode DFileBase64Async::EncodeChunk(bool *finished) {
    BYTE chunk[kBase64ChunkBytes];
    uint32_t got = 0;
    DErrorCode readErr = m_in->Read(kBase64ChunkBytes, chunk, &got);
    // Running into the end of the input is how the last chunk ends.
    if (readErr != kNoError && readErr != vfileErrEOF) return readErr;

    if (got > 0) {
        uint32_t length = 0;
        std::unique_ptr<char[]> text(Base64Encode(chunk, got, &length));
        if (text == nullptr) return generalErrMemoryError;
        const char *bytes = text.get();
        std::unique_ptr<char[]> wrapped;
        if (m_lineLength != 0) {
            // At most two more characters per line begun.
            wrapped.reset(new (std::nothrow) char[length + 2 * (length / m_lineLength + 1)]);
            if (wrapped == nullptr) return generalErrMemoryError;
            uint32_t n = 0;
            for (uint32_t i = 0; i < length; ++i) {
                if (m_column == m_lineLength) {
                    wrapped[n++] = '\r';
                    wrapped[n++] = '\n';
                    m_column = 0;
                }
                wrapped[n++] = text[i];
                ++m_column;
            }
            bytes = wrapped.get();
            length = n;
        }
        DErrorCode err = m_out->Seek(kVFileSeekEnd, 0);
        uint32_t written = 0;
        if (err == kNoError) err = m_out->Write(length, bytes, &written);
        if (err == kNoError && written != length) err = vfileErrOutOfStorageSpace;
        if (err != kNoError) return err;
    }

    uint32_t position = 0, size = 0;
    DErrorCode err = m_in->GetPosition(&position);
    if (err == kNoError) err = m_in->GetSize(&size);
    if (err != kNoError) return err;
    *finished = readErr == vfileErrEOF || position >= size;
    return kNoError;
}

DErrorCode DFileBase64Async::Fail(DErrorCode code) {
    ILogProvider *log = m_global != nullptr ? m_global->GetLogger() : nullptr;
    if (log != nullptr) {
        log->WriteStringHexLine("DFileBase64Async::RunTask() - failed with ERROR: ", int32_t(code), 1,
                                kLogAllCategories);
        log->WriteStringHexLine("DFileBase64Async::RunTask() - failed at STAGE: ", int32_t(m_stage), 1,
                                kLogAllCategories);
    }
    Finish(code);
    return code;
}

void DFileBase64Async::Finish(DErrorCode code) {
    DActiveTaskSignal *done = m_done;
    m_stage = kStageIdle;
    m_done = nullptr;
    if (done != nullptr) done->Signal(code);
}
