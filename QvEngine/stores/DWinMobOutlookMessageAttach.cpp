// DWinMobOutlookMessage: the message's attachments as device files. Data
// moves between the store's attachment streams and the device files piece by
// piece; temporary files get names of their own and belong to the message.
#include <new>
#include <vector>

#include "DWinMobOutlookMessage.h"
#include "MAPIPropertyHelpers.h"
#include "MessageText.h"
#include "winstorage.h"

namespace {

constexpr unsigned kLogLevel = 1;
// Bytes moved per stream or file transfer.
constexpr ULONG kAttachChunk = 0x10000;
// Attachment rows read per table query.
constexpr LONG kAttachmentRows = 50;
// Bits of an attachment's status that a finished download clears.
constexpr ULONG kAttachStatusDownloadBits = 0x04000000 | 0x00010000 | kAttachStatusMarked;

const SPropValue *FindColumn(const SRow &row, ULONG tag) {
    for (ULONG i = 0; i < row.cValues; ++i)
        if (row.lpProps[i].ulPropTag == tag) return &row.lpProps[i];
    return nullptr;
}

// Walks an attachment table from the beginning, rows of the given columns,
// calling visit(row) until it returns false or fails.
// *tableFailed (may be null) tells a table that could not be opened.
template <typename Visit>
DErrorCode WalkAttachments(IMessage *message, LPSPropTagArray columns, Visit visit, bool *tableFailed = nullptr) {
    LPMAPITABLE table = nullptr;
    HRESULT hr = message->GetAttachmentTable(0, &table);
    if (tableFailed != nullptr) *tableFailed = FAILED(hr) || table == nullptr;
    if (FAILED(hr) || table == nullptr) return FAILED(hr) ? DErrorCode(hr) : generalErrUnknownError;
    DErrorCode err = WalkMAPITable(table, columns, kAttachmentRows, [&](const SRow *rows, ULONG count, bool *stop) {
        bool more = true;
        DErrorCode rc = kNoError;
        for (ULONG r = 0; r < count && rc == kNoError && more; ++r) rc = visit(rows[r], &more);
        *stop = !more;
        return rc;
    });
    table->Release();
    return err;
}

// The stream of an attachment's data, opened for reading or created for writing.
DErrorCode OpenDataStream(IAttach *attach, bool write, IStream **stream) {
    LPUNKNOWN unknown = nullptr;
    HRESULT hr = write ? attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, STGM_CREATE | STGM_WRITE,
                                              MAPI_CREATE | MAPI_MODIFY, &unknown)
                       : attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, STGM_READ, 0, &unknown);
    if (FAILED(hr) || unknown == nullptr) return FAILED(hr) ? DErrorCode(hr) : generalErrUnknownError;
    *stream = static_cast<IStream *>(unknown);
    return kNoError;
}

}  // namespace

void DWinMobOutlookMessage::DropTempFiles() { m_tempFiles.clear(); }  // each file goes with its record

DErrorCode DWinMobOutlookMessage::GetTempAttachFilePath(uint32_t index, std::u16string *path) const {
    if (path == nullptr) return generalErrInvalidParameter;
    if (index >= m_tempFiles.size()) return generalErrIndexOutOfRange;
    WCHAR name[MAX_PATH + 1];
    DErrorCode err = m_tempFiles[index]->file.GetFileName(name, MAX_PATH + 1, nullptr, 0);
    if (err != kNoError) return err;
    try {
        path->assign(name);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

// --- Reading the stored attachments ---

DErrorCode DWinMobOutlookMessage::GetAttachmentsList(DListNode<DAttachmentData> *list) {
    if (list == nullptr) return generalErrInvalidParameter;
    DropTempFiles();
    if (m_message == nullptr) return generalErrNotInitialized;
    SizedSPropTagArray(5, columns) = {
        5, {PR_MSG_STATUS, PR_ATTACH_SIZE, PR_ATTACH_FILENAME_W, PR_ATTACH_PATHNAME_W, PR_ATTACH_NUM}};
    bool tableFailed = false;
    DErrorCode err = WalkAttachments(
        m_message, reinterpret_cast<LPSPropTagArray>(&columns),
        [&](const SRow &row, bool *) { return CopyAttachmentInfoToCoreList(row, list); }, &tableFailed);
    if (tableFailed) LogFailure("Failed to load MAPI attachment table - ", err);
    if (err != kNoError) LogFailure("DWinMobOutlookMessage::GetAttachmentsList() - Failed ", err);
    return err;
}

DErrorCode DWinMobOutlookMessage::CopyAttachmentInfoToCoreList(const SRow &row, DListNode<DAttachmentData> *list) {
    const SPropValue *number = FindColumn(row, PR_ATTACH_NUM);
    if (number == nullptr) return generalErrItemNotFound;
    const SPropValue *status = FindColumn(row, PR_MSG_STATUS);
    const SPropValue *size = FindColumn(row, PR_ATTACH_SIZE);
    const SPropValue *fileName = FindColumn(row, PR_ATTACH_FILENAME_W);
    const SPropValue *pathName = FindColumn(row, PR_ATTACH_PATHNAME_W);

    DAttachmentData *attachment = new (std::nothrow) DAttachmentData;
    if (attachment == nullptr) return generalErrMemoryError;
    const WCHAR *display = fileName != nullptr && fileName->Value.lpszW != nullptr ? fileName->Value.lpszW : u"";
    const WCHAR *name = pathName != nullptr && pathName->Value.lpszW != nullptr ? pathName->Value.lpszW : u"";
    DErrorCode err = attachment->DisplayName().AssignWide(display, kQvUnknown, kVStringUTF16LE);
    if (err == kNoError) err = attachment->Name().AssignWide(name, kQvUnknown, kVStringUTF16LE);
    attachment->SetSize(size != nullptr ? size->Value.ul : 0);
    attachment->SetMarked(status != nullptr && (status->Value.ul & kAttachStatusMarked) != 0);

    LPATTACH attach = nullptr;
    if (err == kNoError) {
        HRESULT hr = m_message->OpenAttach(number->Value.ul, nullptr, MAPI_BEST_ACCESS, &attach);
        if (FAILED(hr) || attach == nullptr) err = FAILED(hr) ? DErrorCode(hr) : generalErrItemNotFound;
    }
    if (err == kNoError) err = CreateTempAttachFile(attach, number->Value.ul, attachment);
    if (attach != nullptr) attach->Release();
    if (err == kNoError) err = list->Append(attachment);
    if (err != kNoError) delete attachment;
    return err;
}

DErrorCode DWinMobOutlookMessage::CreateTempAttachFile(IAttach *attach, ULONG attachNum, DAttachmentData *attachment) {
    std::unique_ptr<TempAttachFile> temp(new (std::nothrow) TempAttachFile);
    if (temp == nullptr) return generalErrMemoryError;
    // The file's name is made here; the server's names stay texts.
    if (temp->file.MakeTempName() != kNoError) return vfileErrCantCreateFile;
    DErrorCode err = kNoError;
    if (m_fromDevice) {
        err = GetMAPIAttachFileStream(attach, &temp->file);
    } else if (attachment->IsMarked()) {
        // Left for the download; AttachmentDownloadComplete finds it by the names.
        temp->attachNum = attachNum;
        temp->awaitingDownload = true;
        err = MessageTextToWide(attachment->DisplayName(), &temp->fileName);
        if (err == kNoError) err = MessageTextToWide(attachment->Name(), &temp->pathName);
        if (err == kNoError) err = temp->file.Create();
    } else {
        err = temp->file.Create();
    }
    VFile *file = nullptr;
    if (err == kNoError) {
        file = new (std::nothrow) VFile;
        if (file == nullptr) err = generalErrMemoryError;
    }
    // The attachment's file names the message's temporary file; the message deletes it.
    if (err == kNoError) err = file->CopyFileName(temp->file);
    if (err == kNoError) {
        try {
            m_tempFiles.push_back(std::move(temp));
        } catch (const std::bad_alloc &) {
            err = generalErrMemoryError;
        }
    }
    if (err != kNoError) {
        delete file;
        return err;
    }
    attachment->SetFile(file);
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::GetMAPIAttachFileStream(IAttach *attach, VFile *file) {
    DErrorCode err = file->Create();
    if (err == kNoError) err = file->Open(kVFileReadWrite);
    if (err != kNoError) return err;
    IStream *stream = nullptr;
    err = OpenDataStream(attach, false, &stream);
    if (err == DErrorCode(MAPI_E_NOT_FOUND)) {
        file->Close();
        return kNoError;  // no data: an empty file
    }
    std::vector<BYTE> chunk;
    if (err == kNoError) {
        try {
            chunk.resize(kAttachChunk);
        } catch (const std::bad_alloc &) {
            err = generalErrMemoryError;
        }
    }
    while (err == kNoError) {
        ULONG read = 0;
        HRESULT hr = stream->Read(chunk.data(), kAttachChunk, &read);
        if (FAILED(hr)) {
            err = DErrorCode(hr);
            break;
        }
        if (read == 0) break;
        uint32_t written = 0;
        err = file->Write(read, chunk.data(), &written);
        if (err == kNoError && written != read) err = vfileErrOutOfStorageSpace;
    }
    if (stream != nullptr) stream->Release();
    file->Close();
    return err;
}

DErrorCode DWinMobOutlookMessage::SetMAPIAttachFileStream(IAttach *attach, VFile *file) {
    bool exists = false;
    if (file->Exists(&exists) != kNoError || !exists) {
        LogText("DWinMobOutlookMessage::SetMAPIAttachFileStream() - No file\n");
        return vfileErrFileNotFound;
    }
    DErrorCode err = file->Open(kVFileRead);
    IStream *stream = nullptr;
    if (err == kNoError) err = OpenDataStream(attach, true, &stream);
    std::vector<BYTE> chunk;
    if (err == kNoError) {
        try {
            chunk.resize(kAttachChunk);
        } catch (const std::bad_alloc &) {
            err = generalErrMemoryError;
        }
    }
    while (err == kNoError) {
        uint32_t read = 0;
        err = file->Read(kAttachChunk, chunk.data(), &read);
        if (err == vfileErrEOF) err = kNoError;
        if (err != kNoError || read == 0) break;
        ULONG written = 0;
        HRESULT hr = stream->Write(chunk.data(), read, &written);
        if (FAILED(hr))
            err = DErrorCode(hr);
        else if (written != read)
            err = DErrorCode(STG_E_MEDIUMFULL);
    }
    if (err == kNoError) {
        HRESULT hr = stream->Commit(STGC_DEFAULT);
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    if (stream != nullptr) stream->Release();
    file->Close();
    if (err != kNoError) LogFailure("DWinMobOutlookMessage::SetMAPIAttachFileStream() - Failed ", err);
    return err;
}

// --- Adding attachment records ---

DErrorCode DWinMobOutlookMessage::MatchAttachmentInExistingList(const VString &pathName, bool *found) {
    *found = false;
    if (m_message == nullptr) return kNoError;  // not in the store yet: nothing stored to match
    std::u16string wanted;
    DErrorCode err = MessageTextToWide(pathName, &wanted);
    if (err != kNoError) return err;
    SizedSPropTagArray(1, columns) = {1, {PR_ATTACH_PATHNAME_W}};
    err = WalkAttachments(m_message, reinterpret_cast<LPSPropTagArray>(&columns), [&](const SRow &row, bool *more) {
        const SPropValue *name = FindColumn(row, PR_ATTACH_PATHNAME_W);
        if (name != nullptr && name->Value.lpszW != nullptr && wanted == name->Value.lpszW) {
            *found = true;
            *more = false;
        }
        return kNoError;
    });
    if (err != kNoError) LogFailure("DWinMobOutlookMessage::MatchAttachmentInExistingList() - Failed ", err);
    return err;
}

DErrorCode DWinMobOutlookMessage::AddAttachments(DListNode<DAttachmentData> *list, DActiveTaskSignal *completion) {
    DErrorCode err = list == nullptr ? generalErrInvalidParameter : kNoError;
    // Each record is taken over or dropped: the caller's list ends empty.
    for (DListNode<DAttachmentData> *node = list; node != nullptr; node = node->next) {
        DAttachmentData *attachment = node->item;
        node->item = nullptr;
        if (attachment == nullptr) continue;
        bool stored = false;
        if (err == kNoError) err = MatchAttachmentInExistingList(attachment->Name(), &stored);
        if (err == kNoError && !stored) {
            err = m_attachments.Append(attachment);
            if (err == kNoError) attachment = nullptr;
        }
        delete attachment;
    }
    if (list != nullptr) list->Free();
    if (completion != nullptr) completion->Signal(err);
    return err;
}

// --- Downloads ---

DErrorCode DWinMobOutlookMessage::MatchMAPIAttachmentByAttachData(const DAttachmentData &attachment, size_t *index) {
    std::u16string fileName, pathName;
    DErrorCode err = MessageTextToWide(attachment.DisplayName(), &fileName);
    if (err == kNoError) err = MessageTextToWide(attachment.Name(), &pathName);
    if (err != kNoError) return err;
    for (size_t i = 0; i < m_tempFiles.size(); ++i) {
        const TempAttachFile &temp = *m_tempFiles[i];
        if (temp.awaitingDownload && temp.fileName == fileName && temp.pathName == pathName) {
            *index = i;
            return kNoError;
        }
    }
    LogText("DWinMobOutlookMessage::MatchMAPIAttachmentByAttachData - Item not found!\n");
    return generalErrItemNotFound;
}

DErrorCode DWinMobOutlookMessage::AttachmentDownloadComplete(DAttachmentData *attachment, DErrorCode result) {
    if (attachment == nullptr) return generalErrInvalidParameter;
    size_t index = 0;
    DErrorCode err = MatchMAPIAttachmentByAttachData(*attachment, &index);
    if (err != kNoError) return err;
    if (result != kNoError) {
        // A failed download leaves the attachment marked for the next try;
        // only its temporary file goes.
        m_tempFiles.erase(m_tempFiles.begin() + ptrdiff_t(index));
        return kNoError;
    }
    if (m_message == nullptr) return generalErrNotInitialized;
    TempAttachFile &temp = *m_tempFiles[index];
    if (m_record != nullptr) m_record->SetIgnoringChanges(true);
    LPATTACH attach = nullptr;
    HRESULT hr = m_message->OpenAttach(temp.attachNum, nullptr, MAPI_MODIFY, &attach);
    if (FAILED(hr) || attach == nullptr) err = FAILED(hr) ? DErrorCode(hr) : generalErrItemNotFound;
    // The data first, then the marks: both land together at the save.
    if (err == kNoError) err = SetMAPIAttachFileStream(attach, &temp.file);
    ULONG status = 0;
    if (err == kNoError) {
        DErrorCode statusErr = GetMAPIMessageULONGProprty(attach, PR_MSG_STATUS, &status, nullptr);
        if (statusErr != kNoError && statusErr != generalErrItemNotFound) err = statusErr;
    }
    if (err == kNoError) err = SetMAPIMessageULONGProprty(attach, PR_MSG_STATUS, status & ~kAttachStatusDownloadBits, m_log);
    if (err == kNoError) {
        hr = attach->SaveChanges(0);
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    if (err == kNoError) {
        hr = m_message->SaveChanges(KEEP_OPEN_READWRITE);
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    if (attach != nullptr) attach->Release();
    if (err == kNoError) m_tempFiles.erase(m_tempFiles.begin() + ptrdiff_t(index));  // written: the file goes

    bool more = true;
    if (err == kNoError) err = MessageHasAdditionalAttachmentsToDownload(&more);
    if (err == kNoError && !more) {
        m_attachmentRequested = false;
        const ULONG msgStatus = m_msgStatus & ~kMsgStatusAttachmentRequested;
        err = SetMAPIMessageULONGProprty(m_message, PR_MSG_STATUS, msgStatus, m_log);
        if (err == kNoError) {
            hr = m_message->SaveChanges(KEEP_OPEN_READWRITE);
            if (FAILED(hr)) err = DErrorCode(hr);
        }
        if (err == kNoError) m_msgStatus = msgStatus;
        if (err == kNoError && m_record != nullptr) err = m_record->SetAttachmentRequested(false);
        if (err == kNoError && m_record != nullptr) err = m_record->ClearModified();
    }
    if (m_record != nullptr) m_record->SetIgnoringChanges(false);
    if (err != kNoError) LogFailure("DWinMobOutlookMessage::AttachmentDownloadComplete() - Failed ", err);
    return err;
}

DErrorCode DWinMobOutlookMessage::MessageHasAdditionalAttachmentsToDownload(bool *more) {
    if (more == nullptr) return generalErrInvalidParameter;
    *more = false;
    if (m_message == nullptr) return generalErrNotInitialized;
    SizedSPropTagArray(1, columns) = {1, {PR_MSG_STATUS}};
    return WalkAttachments(m_message, reinterpret_cast<LPSPropTagArray>(&columns), [&](const SRow &row, bool *go) {
        const SPropValue *status = FindColumn(row, PR_MSG_STATUS);
        if (status != nullptr && (status->Value.ul & kAttachStatusMarked) != 0) {
            *more = true;
            *go = false;
        }
        return kNoError;
    });
}

DErrorCode DWinMobOutlookMessage::HasRoomForAttachment(DAttachmentData *attachment, bool *ok) {
    if (attachment == nullptr || ok == nullptr) return generalErrInvalidParameter;
    *ok = false;
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(u"\\", &available, nullptr, nullptr)) return DErrorCode(GetLastError());
    *ok = available.QuadPart > uint64_t(attachment->GetSize()) + kAttachmentSpareSpace;
    return kNoError;
}
