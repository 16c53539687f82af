// A stream over one bytes-typed property of a store object (a body, an
// attachment's data). It never holds the value whole: reads come chunk by
// chunk from the file, and written chunks wait in an unlinked temporary file
// until Commit writes them in one transaction (Release without Commit
// forgets them). Until then others see the property as it was.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "mapistoreobjects.h"

namespace vplat {
namespace {

const int64_t kChunk = static_cast<int64_t>(kMapiChunk);
const DWORD kStreamType = 2;  // a stream, as Stat reports it

// One open stream: the committed value it started from (bytes below
// m_baseLimit still count), the chunks written since, its size and position.
class MapiStream : public IStream {
public:
    MapiStream(int64_t store, int64_t object, ULONG tag, bool writable, int64_t baseSize, bool changed,
               std::shared_ptr<MapiWriteStreams> owner)
        : m_store(store), m_object(object), m_tag(tag), m_writable(writable), m_size(baseSize),
          m_baseSize(baseSize), m_baseLimit(baseSize), m_changed(changed), m_owner(std::move(owner)) {
        if (m_writable && m_owner != nullptr) m_owner->open.insert(this);
    }

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override {
        if (ppvObject == nullptr) return E_INVALIDARG;
        *ppvObject = nullptr;
        if (!IsEqualGUID(riid, IID_IStream)) return E_NOINTERFACE;
        AddRef();
        *ppvObject = static_cast<IStream *>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT Read(void *pv, ULONG cb, ULONG *pcbRead) override;
    HRESULT Write(const void *pv, ULONG cb, ULONG *pcbWritten) override;
    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER *plibNewPosition) override;
    HRESULT SetSize(ULARGE_INTEGER libNewSize) override;
    HRESULT CopyTo(IStream *pstm, ULARGE_INTEGER cb, ULARGE_INTEGER *pcbRead, ULARGE_INTEGER *pcbWritten) override;
    HRESULT Commit(DWORD grfCommitFlags) override;
    HRESULT Revert() override;
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Stat(STATSTG *pstatstg, DWORD grfStatFlag) override;
    HRESULT Clone(IStream **ppstm) override {
        if (ppstm != nullptr) *ppstm = nullptr;
        return STG_E_INVALIDFUNCTION;
    }

private:
    ~MapiStream() override {
        if (m_owner != nullptr) m_owner->open.erase(this);
        if (m_temp != nullptr) std::fclose(m_temp);
    }
    // Reads len bytes at off of chunk seq as the stream now holds them.
    HRESULT ReadChunk(int64_t seq, int64_t off, int64_t len, BYTE *out);
    // Makes chunk seq a written one, its bytes copied to the temporary file.
    HRESULT Dirty(int64_t seq);
    HRESULT TempIo(bool write, int64_t at, void *data, int64_t len);

    std::atomic<ULONG> m_refs{1};
    int64_t m_store;
    int64_t m_object;
    ULONG m_tag;
    bool m_writable;
    int64_t m_size;
    int64_t m_pos = 0;
    int64_t m_baseSize;  // the committed size when the stream was opened or last committed
    int64_t m_baseLimit;  // the committed bytes below this still belong to the stream
    bool m_changed;
    std::set<int64_t> m_dirty;  // chunks whose bytes are in the temporary file
    FILE *m_temp = nullptr;
    std::shared_ptr<MapiWriteStreams> m_owner;
};

HRESULT MapiStream::TempIo(bool write, int64_t at, void *data, int64_t len) {
    if (m_temp == nullptr) {
        m_temp = std::tmpfile();
        if (m_temp == nullptr) return STG_E_MEDIUMFULL;
    }
    int fd = fileno(m_temp);
    auto *p = static_cast<BYTE *>(data);
    while (len > 0) {
        ssize_t n = write ? pwrite(fd, p, static_cast<size_t>(len), at) : pread(fd, p, static_cast<size_t>(len), at);
        if (n < 0) return STG_E_MEDIUMFULL;
        if (n == 0) {
            // Past the end of the file: a part never written holds zeros.
            std::memset(p, 0, static_cast<size_t>(len));
            break;
        }
        p += n;
        at += n;
        len -= n;
    }
    return S_OK;
}

HRESULT MapiStream::ReadChunk(int64_t seq, int64_t off, int64_t len, BYTE *out) {
    if (m_dirty.count(seq) != 0) return TempIo(false, seq * kChunk + off, out, len);
    std::memset(out, 0, static_cast<size_t>(len));
    int64_t start = seq * kChunk + off;
    if (start >= m_baseLimit) return S_OK;
    int64_t wanted = std::min(len, m_baseLimit - start);
    return MapiRead([&](SqliteDb &db) -> HRESULT {
        SqliteStatement query(db, "SELECT substr(data, ?4, ?5) FROM chunks WHERE object = ?1 AND tag = ?2 AND seq = ?3");
        query.BindInt(1, m_object);
        query.BindInt(2, m_tag);
        query.BindInt(3, seq);
        query.BindInt(4, off + 1);
        query.BindInt(5, wanted);
        bool row = false;
        DWORD err = query.Step(&row);
        if (err != ERROR_SUCCESS) return MapiResult(err);
        if (!row) return S_OK;  // the value changed under the stream: what is gone reads as zeros
        std::vector<BYTE> piece;
        query.Blob(0, &piece);
        std::memcpy(out, piece.data(), std::min(piece.size(), static_cast<size_t>(wanted)));
        return S_OK;
    });
}

HRESULT MapiStream::Dirty(int64_t seq) {
    if (m_dirty.count(seq) != 0) return S_OK;
    std::vector<BYTE> chunk(static_cast<size_t>(kChunk));
    HRESULT hr = ReadChunk(seq, 0, kChunk, chunk.data());
    if (SUCCEEDED(hr)) hr = TempIo(true, seq * kChunk, chunk.data(), kChunk);
    if (SUCCEEDED(hr)) m_dirty.insert(seq);
    return hr;
}

HRESULT MapiStream::Read(void *pv, ULONG cb, ULONG *pcbRead) {
    if (pv == nullptr && cb > 0) return STG_E_INVALIDFUNCTION;
    ULONG done = 0;
    auto *out = static_cast<BYTE *>(pv);
    while (done < cb && m_pos < m_size) {
        int64_t seq = m_pos / kChunk, off = m_pos % kChunk;
        int64_t len = std::min({static_cast<int64_t>(cb - done), kChunk - off, m_size - m_pos});
        HRESULT hr = ReadChunk(seq, off, len, out + done);
        if (FAILED(hr)) return hr;
        done += static_cast<ULONG>(len);
        m_pos += len;
    }
    if (pcbRead != nullptr) *pcbRead = done;
    return S_OK;
}

HRESULT MapiStream::Write(const void *pv, ULONG cb, ULONG *pcbWritten) {
    if (pcbWritten != nullptr) *pcbWritten = 0;
    if (!m_writable) return STG_E_ACCESSDENIED;
    if (pv == nullptr && cb > 0) return STG_E_INVALIDFUNCTION;
    ULONG done = 0;
    const auto *in = static_cast<const BYTE *>(pv);
    while (done < cb) {
        int64_t seq = m_pos / kChunk, off = m_pos % kChunk;
        int64_t len = std::min(static_cast<int64_t>(cb - done), kChunk - off);
        // A chunk written whole needs none of its old bytes.
        HRESULT hr = S_OK;
        if (len == kChunk)
            m_dirty.insert(seq);
        else
            hr = Dirty(seq);
        if (SUCCEEDED(hr)) hr = TempIo(true, m_pos, const_cast<BYTE *>(in + done), len);
        if (FAILED(hr)) return hr;
        done += static_cast<ULONG>(len);
        m_pos += len;
        m_size = std::max(m_size, m_pos);
        m_changed = true;
        if (pcbWritten != nullptr) *pcbWritten = done;
    }
    return S_OK;
}

HRESULT MapiStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER *plibNewPosition) {
    int64_t origin;
    switch (dwOrigin) {
        case STREAM_SEEK_SET: origin = 0; break;
        case STREAM_SEEK_CUR: origin = m_pos; break;
        case STREAM_SEEK_END: origin = m_size; break;
        default: return STG_E_INVALIDFUNCTION;
    }
    int64_t target = origin + dlibMove.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    m_pos = target;
    if (plibNewPosition != nullptr) plibNewPosition->QuadPart = static_cast<ULONGLONG>(target);
    return S_OK;
}

HRESULT MapiStream::SetSize(ULARGE_INTEGER libNewSize) {
    if (!m_writable) return STG_E_ACCESSDENIED;
    auto size = static_cast<int64_t>(libNewSize.QuadPart);
    if (size < 0) return STG_E_INVALIDFUNCTION;
    if (size < m_size) {
        // Bytes cut off must read as zeros if the stream grows again.
        m_dirty.erase(m_dirty.lower_bound((size + kChunk - 1) / kChunk), m_dirty.end());
        if (size % kChunk != 0) {
            int64_t seq = size / kChunk;
            HRESULT hr = Dirty(seq);
            std::vector<BYTE> zeros(static_cast<size_t>(kChunk - size % kChunk), 0);
            if (SUCCEEDED(hr)) hr = TempIo(true, size, zeros.data(), static_cast<int64_t>(zeros.size()));
            if (FAILED(hr)) return hr;
        }
        m_baseLimit = std::min(m_baseLimit, size);
    }
    m_size = size;
    m_changed = true;
    return S_OK;
}

HRESULT MapiStream::CopyTo(IStream *pstm, ULARGE_INTEGER cb, ULARGE_INTEGER *pcbRead, ULARGE_INTEGER *pcbWritten) {
    if (pstm == nullptr) return STG_E_INVALIDFUNCTION;
    std::vector<BYTE> buffer(static_cast<size_t>(kChunk));
    ULONGLONG read = 0, written = 0;
    HRESULT hr = S_OK;
    while (read < cb.QuadPart) {
        ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(cb.QuadPart - read, buffer.size()));
        ULONG got = 0, put = 0;
        hr = Read(buffer.data(), want, &got);
        if (FAILED(hr) || got == 0) break;
        read += got;
        hr = pstm->Write(buffer.data(), got, &put);
        written += put;
        if (FAILED(hr)) break;
    }
    if (pcbRead != nullptr) pcbRead->QuadPart = read;
    if (pcbWritten != nullptr) pcbWritten->QuadPart = written;
    return hr;
}

HRESULT MapiStream::Commit(DWORD) {
    if (!m_writable || !m_changed) return S_OK;
    std::vector<BYTE> chunk(static_cast<size_t>(kChunk));
    HRESULT hr = MapiWrite(m_store, [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        MapiObjectRow row;
        HRESULT result = MapiLoadObject(db, m_object, &row);
        if (result == MAPI_E_NOT_FOUND) return MAPI_E_OBJECT_DELETED;
        if (FAILED(result)) return result;
        int64_t count = (m_size + kChunk - 1) / kChunk;
        SqliteStatement cut(db, "DELETE FROM chunks WHERE object = ?1 AND tag = ?2 AND seq >= ?3");
        cut.BindInt(1, m_object);
        cut.BindInt(2, m_tag);
        cut.BindInt(3, count);
        DWORD err = cut.Run();
        for (int64_t seq = 0; seq < count && err == ERROR_SUCCESS; ++seq) {
            int64_t len = std::min(kChunk, m_size - seq * kChunk);
            bool base = seq * kChunk < m_baseLimit;
            if (base && m_dirty.count(seq) == 0) {
                // A committed chunk the stream kept: only the last one kept
                // may need zeros to reach its new length.
                SqliteStatement grow(db,
                                     "UPDATE chunks SET data = data || zeroblob(?4 - length(data))"
                                     " WHERE object = ?1 AND tag = ?2 AND seq = ?3 AND length(data) < ?4");
                grow.BindInt(1, m_object);
                grow.BindInt(2, m_tag);
                grow.BindInt(3, seq);
                grow.BindInt(4, len);
                err = grow.Run();
                continue;
            }
            if (m_dirty.count(seq) != 0) {
                result = TempIo(false, seq * kChunk, chunk.data(), len);
                if (FAILED(result)) return result;
            } else {
                std::fill(chunk.begin(), chunk.end(), 0);
            }
            SqliteStatement put(db, "INSERT OR REPLACE INTO chunks(object, tag, seq, data) VALUES(?1, ?2, ?3, ?4)");
            put.BindInt(1, m_object);
            put.BindInt(2, m_tag);
            put.BindInt(3, seq);
            put.BindBlob(4, chunk.data(), static_cast<size_t>(len));
            err = put.Run();
        }
        SqliteStatement prop(db, "INSERT OR REPLACE INTO props(object, tag, num, size) VALUES(?1, ?2, 0, ?3)");
        prop.BindInt(1, m_object);
        prop.BindInt(2, m_tag);
        prop.BindInt(3, m_size);
        if (err == ERROR_SUCCESS) err = prop.Run();
        if (err != ERROR_SUCCESS) return MapiResult(err);
        if (row.kind == kMapiKindAttach) return MapiAttachmentChanged(db, row, events);
        if (row.kind == kMapiKindMessage && row.saved) {
            MapiObjectEvent event;
            event.eventType = fnevObjectModified;
            event.objType = row.kind;
            event.entryID = MapiEntryId(row.store, row.id);
            event.parentID = MapiEntryId(row.store, row.parent);
            event.changedTags.push_back(m_tag);
            events->push_back(event);
        }
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    m_baseSize = m_baseLimit = m_size;
    m_dirty.clear();
    if (m_temp != nullptr && ftruncate(fileno(m_temp), 0) != 0) {
        std::fclose(m_temp);
        m_temp = nullptr;
    }
    m_changed = false;
    return S_OK;
}

HRESULT MapiStream::Revert() {
    m_dirty.clear();
    m_size = m_baseLimit = m_baseSize;
    m_changed = false;
    return S_OK;
}

HRESULT MapiStream::Stat(STATSTG *pstatstg, DWORD) {
    if (pstatstg == nullptr) return STG_E_INVALIDFUNCTION;
    std::memset(pstatstg, 0, sizeof *pstatstg);
    pstatstg->type = kStreamType;
    pstatstg->cbSize.QuadPart = static_cast<ULONGLONG>(m_size);
    pstatstg->grfMode = m_writable ? STGM_READWRITE : STGM_READ;
    return S_OK;
}

}  // namespace

HRESULT MapiOpenStream(int64_t store, int64_t object, ULONG tag, ULONG stgmMode, ULONG flags,
                       const std::shared_ptr<MapiWriteStreams> &owner, IStream **stream) {
    *stream = nullptr;
    bool create = (stgmMode & STGM_CREATE) != 0;
    bool writable = create || (stgmMode & (STGM_WRITE | STGM_READWRITE)) != 0;
    int64_t size = 0;
    bool found = false;
    HRESULT hr = MapiRead([&](SqliteDb &db) -> HRESULT {
        MapiObjectRow row;
        HRESULT result = MapiLoadObject(db, object, &row);
        if (result == MAPI_E_NOT_FOUND) return MAPI_E_OBJECT_DELETED;
        if (FAILED(result)) return result;
        return MapiPropSize(db, object, tag, &size, &found);
    });
    if (FAILED(hr)) return hr;
    if (!found && (flags & MAPI_CREATE) == 0) return MAPI_E_NOT_FOUND;
    if (!found && !writable) return MAPI_E_NOT_FOUND;
    // A created stream starts empty and, once committed, replaces the value.
    bool fresh = create || !found;
    *stream = new MapiStream(store, object, tag, writable, fresh ? 0 : size, fresh, owner);
    return S_OK;
}

}  // namespace vplat
