// DEASFolderInfoStoreHeader: the folder-info store's file header: the 16
// bytes of DSimpleDBVFileHeader, then the FolderSync key as u32 key length
// (text + NUL, or 0 when there is no key) and the text with its NUL. The
// header length is 20 + key length, so the index follows the key.
//
// Contract:
// - SerializeIn given too few bytes for the stored key remembers the key
//   length and answers dbVariableSizeHeaderSerializeInError; the database
//   then reads again with GetSerializedSize() bytes. A key that lacks its
//   NUL is dbFieldSerialzeInError.
// - Any key text is kept as it is, "0" included.
#ifndef QV_DEASFOLDERINFOSTOREHEADER_H
#define QV_DEASFOLDERINFOSTOREHEADER_H

#include <string>

#include "DSimpleDBVFileHeader.h"

class DEASFolderInfoStoreHeader : public DSimpleDBVFileHeader {
public:
    explicit DEASFolderInfoStoreHeader(DSimpleDB *database) : DSimpleDBVFileHeader(database) {}

    uint32_t GetSerializedSize() const override;
    DErrorCode SerializeIn(const BYTE *bytes, uint32_t length) override;
    DErrorCode SerializeOut(BYTE *bytes, uint32_t room) override;

    // The key, "0" when there is none.
    const char *GetFolderSyncKey() const { return m_hasKey ? m_key.c_str() : "0"; }
    bool HasFolderSyncKey() const { return m_hasKey; }
    // Keeps a copy; null clears the key.
    DErrorCode SetFolderSyncKey(const char *key);

private:
    static constexpr uint32_t kKeyFieldsAt = kFileSize;
    static constexpr uint32_t kFixedSize = kFileSize + 4;

    std::string m_key;
    bool m_hasKey = false;
    // The key length learned from a read that was given too few bytes.
    uint32_t m_pendingKeyLength = 0;
};

#endif
