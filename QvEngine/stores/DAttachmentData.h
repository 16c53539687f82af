// DAttachmentData: one attachment of a message as the engine and the
// message store pass it between them: its name (the server's reference,
// kept by the store as the attachment's path name), its display name (the
// store's file name), its size in bytes, whether it is marked for
// download, and the device file that holds or will hold its data (owned).
// Copying copies the texts and numbers and gives the copy its own file
// object naming the same file.
#ifndef QV_DATTACHMENTDATA_H
#define QV_DATTACHMENTDATA_H

#include <cstdint>

#include "DErrorCode.h"
#include "VFile.h"
#include "VString.h"

class DAttachmentData {
public:
    DAttachmentData() = default;
    ~DAttachmentData() { delete m_file; }
    DAttachmentData(const DAttachmentData &) = delete;
    DAttachmentData &operator=(const DAttachmentData &) = delete;

    DErrorCode CopyFrom(const DAttachmentData &other);

    VString &Name() { return m_name; }
    const VString &Name() const { return m_name; }
    VString &DisplayName() { return m_displayName; }
    const VString &DisplayName() const { return m_displayName; }
    uint32_t GetSize() const { return m_size; }
    void SetSize(uint32_t size) { m_size = size; }
    bool IsMarked() const { return m_marked; }
    void SetMarked(bool marked) { m_marked = marked; }
    VFile *GetFile() const { return m_file; }
    // Takes the file over, deleting the one held.
    void SetFile(VFile *file) {
        if (file != m_file) delete m_file;
        m_file = file;
    }
    // Gives the file up to the caller.
    VFile *TakeFile() {
        VFile *file = m_file;
        m_file = nullptr;
        return file;
    }

private:
    VString m_name;
    VString m_displayName;
    uint32_t m_size = 0;
    bool m_marked = false;
    VFile *m_file = nullptr;
};

#endif
