// One logon's hold on the three personal-information databases: the
// volume they live in (mounted for the Smartphone edition), one handle per
// database, and the record calls the items make through those handles
// (every write a CeWriteRecordProps or CeDeleteRecord, so the database's
// notices go out as for any other writer). Missing databases are made at
// open, also when another process makes them at the same moment. Errors are
// the platform's error numbers; a record that is not there is ERROR_NO_DATA.
#ifndef VPLATFORM_PIMSTORE_H
#define VPLATFORM_PIMSTORE_H

#include <memory>
#include <vector>

#include "pimrecord.h"
#include "vplatform_pim.h"

namespace vplat {

enum class PimKind { Appointment = 0, Contact = 1, Task = 2 };

// One logon's databases; Close ends every item's writes.
class PimStore {
public:
    explicit PimStore(PimEdition edition) : m_edition(edition) {}
    ~PimStore() { Close(); }
    PimStore(const PimStore &) = delete;
    PimStore &operator=(const PimStore &) = delete;

    DWORD Open();
    void Close();
    bool IsOpen() const { return m_open; }

    DWORD Read(PimKind kind, CEOID oid, PimValues *values);
    // oid 0 makes a new record; *written gets the record's id.
    DWORD Write(PimKind kind, CEOID oid, std::vector<CEPROPVAL> &changes, CEOID *written);
    DWORD Delete(PimKind kind, CEOID oid);
    DWORD Count(PimKind kind, DWORD *count);
    // The record at a 0-based position of the database's order.
    DWORD OidAt(PimKind kind, DWORD index, CEOID *oid);
    // Which database holds the record.
    DWORD KindOf(CEOID oid, PimKind *kind);

private:
    HANDLE Db(PimKind kind) const { return m_db[int(kind)]; }
    DWORD OpenOne(int index, const WCHAR *name);

    PimEdition m_edition;
    bool m_open = false;
    bool m_mounted = false;
    CEGUID m_volume{};
    HANDLE m_db[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
};

// The HRESULT of a platform error (PIM_E_NOTFOUND for a missing record).
HRESULT PimResult(DWORD err);

}  // namespace vplat

#endif
