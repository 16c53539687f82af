#include "DSimpleDBSnapshot.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "DSimpleDBFileIO.h"
#include "DSimpleDBWriteHook.h"
#include "winfile.h"
#include "winthread.h"

namespace {

// The temporary copy a save writes before renaming it over the snapshot.
// One name per database is enough: its writer holds the database open
// exclusively while it saves.
std::u16string TempName(const std::u16string &snapshot) { return snapshot + u".tmp"; }

bool IsBusy(DErrorCode err) {
    return err == vfileErrFileAccesDenied || err == vfileErrFileNotFound || err == ERROR_SHARING_VIOLATION;
}

template <class F>
DErrorCode RetryWhileBusy(F step, int tries = kDBFileTries, DWORD delay = kDBFileRetryDelay) {
    DErrorCode err = step();
    for (int tried = 1; IsBusy(err) && tried < tries; ++tried) {
        Sleep(delay);
        err = step();
    }
    return err;
}

bool EndsWithBrw(const std::u16string &name) {
    static const char16_t kExtension[] = u".brw";
    if (name.size() < 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        char16_t c = name[name.size() - 4 + i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}

DErrorCode DeleteIfPresent(const std::u16string &name) {
    VFile file;
    DErrorCode err = file.SetFileName(name.c_str());
    return err != kNoError ? err : file.Delete();
}

}  // namespace

DErrorCode DBSnapshotName(const VFile &database, std::u16string *name) {
    if (name == nullptr) return generalErrInvalidParameter;
    WCHAR path[MAX_PATH + 1];
    DErrorCode err = database.GetFileName(path, MAX_PATH + 1, nullptr, 0);
    if (err != kNoError) return err;
    if (path[0] == 0) return vfileErrFileNotFound;
    try {
        *name = path;
        if (EndsWithBrw(*name)) name->resize(name->size() - 4);
        *name += u".ro";
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DBOpenWithRetries(VFile &file, int mode) {
    DErrorCode err = RetryWhileBusy([&] { return file.Open(mode); });
    return IsBusy(err) ? vfileErrFileAccesDenied : err;
}

DErrorCode DBWriteSnapshot(VFile &database, const std::u16string &snapshot) {
    std::u16string tempName;
    VFile temp;
    try {
        tempName = TempName(snapshot);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    DErrorCode err = temp.SetFileName(tempName.c_str());
    if (err == kNoError) err = database.CopyTo(temp);
    if (err == kNoError) {
        DBAfterWrite();
        err = RetryWhileBusy(
            [&]() -> DErrorCode {
                if (MoveFileExW(tempName.c_str(), snapshot.c_str(), MOVEFILE_REPLACE_EXISTING)) return kNoError;
                return GetLastError();
            },
            kDBSnapshotReplaceTries, kDBSnapshotReplaceDelay);
    }
    if (err == kNoError) DBAfterWrite();
    if (err != kNoError) {
        temp.Delete();
        if (IsBusy(err)) err = vfileErrFileAccesDenied;
    }
    return err;
}

DErrorCode DBDeleteSnapshot(const std::u16string &snapshot) {
    DErrorCode err = RetryWhileBusy([&] { return DeleteIfPresent(snapshot); });
    try {
        DeleteIfPresent(TempName(snapshot));
    } catch (const std::bad_alloc &) {
        // The leftover copy is harmless: the next save replaces it.
    }
    return IsBusy(err) ? vfileErrFileAccesDenied : err;
}

DErrorCode DBSnapshotIsCurrent(VFile &database, const std::u16string &snapshot, bool *current) {
    if (current == nullptr) return generalErrInvalidParameter;
    *current = true;
    VFile copy;
    bool exists = false;
    DErrorCode err = copy.SetFileName(snapshot.c_str());
    if (err == kNoError) copy.Exists(&exists);
    if (err != kNoError) return err;
    if (!exists) {
        *current = false;
        return kNoError;
    }
    if (copy.Open(kVFileRead) != kNoError) return kNoError;  // a reader's, or unreadable
    const uint32_t size = DBFileSize(database);
    bool same = DBFileSize(copy) == size;
    std::unique_ptr<BYTE[]> mine(new (std::nothrow) BYTE[kVFileChunkSize]);
    std::unique_ptr<BYTE[]> theirs(new (std::nothrow) BYTE[kVFileChunkSize]);
    if (!mine || !theirs) err = generalErrMemoryError;
    for (uint32_t at = 0; same && err == kNoError && at < size; at += kVFileChunkSize) {
        const uint32_t n = std::min(size - at, kVFileChunkSize);
        err = DBReadAt(database, at, n, mine.get());
        if (err == kNoError) err = DBReadAt(copy, at, n, theirs.get());
        same = err == kNoError && memcmp(mine.get(), theirs.get(), n) == 0;
    }
    copy.Close();
    if (err == kNoError) *current = same;
    return err;
}
