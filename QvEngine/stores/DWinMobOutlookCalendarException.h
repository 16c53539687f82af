// DWinMobOutlookCalendarException: one changed or cancelled occurrence of a
// recurring appointment. It lives in its master's exception list and is
// written with the master's commit; its own Commit hands a copy to the
// master. It is named by its original start (local time, on the day the
// pattern put the occurrence) and carries only the fields that differ from
// the master, as far as they were set.
// - Made by the master (read from the device, FindOrAddException,
//   GetException) and owned by the list or by the caller it was handed to.
// - The master is not owned and must outlive the exception.
#ifndef QV_DWINMOBOUTLOOKCALENDAREXCEPTION_H
#define QV_DWINMOBOUTLOOKCALENDAREXCEPTION_H

#include "DWinMobOutlookCalendarItem.h"

class DWinMobOutlookCalendarException : public DWinMobOutlookCalendarItem {
public:
    explicit DWinMobOutlookCalendarException(ILogProvider *log);
    ~DWinMobOutlookCalendarException() override = default;

    // Binds the exception to its master; originalStart is local time.
    DErrorCode InitException(IPOutlookApp *application, DWinMobOutlookCalendarItem *master, DATE originalStart,
                             bool deleted);
    // Takes every value of another exception, its master included.
    DErrorCode CopyFrom(const DWinMobOutlookCalendarException &exception);

    // Hands a copy to the master's list.
    DErrorCode Commit() override;
    // True when the master is modified and its body differs from this one's.
    DErrorCode IsBodyChanged(bool *flag) override;

    DATE GetOriginalStart() const { return m_originalStart; }
    bool IsDeletedOccurrence() const { return m_deleted; }
    DWinMobOutlookCalendarItem *GetMaster() const { return m_master; }
    // Read from the device as it stands there: the master's commit need
    // not write it again.
    bool IsStored() const { return m_stored; }
    void SetStored(bool stored) { m_stored = stored; }

private:
    DATE m_originalStart;
    bool m_deleted;
    bool m_stored;
    DWinMobOutlookCalendarItem *m_master;
};

#endif
