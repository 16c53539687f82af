// DWinMobOutlookCalendarException: one occurrence of a series as its own
// item, written with its master.
#include "DWinMobOutlookCalendarException.h"

#include <new>

DWinMobOutlookCalendarException::DWinMobOutlookCalendarException(ILogProvider *log)
    : DWinMobOutlookCalendarItem(log), m_originalStart(0.0), m_deleted(false), m_stored(false), m_master(nullptr) {}

DErrorCode DWinMobOutlookCalendarException::InitException(IPOutlookApp *application, DWinMobOutlookCalendarItem *master,
                                                          DATE originalStart, bool deleted) {
    if (application == nullptr || master == nullptr) return generalErrInvalidParameter;
    m_app = application;
    m_master = master;
    m_originalStart = originalStart;
    m_deleted = deleted;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarException::CopyFrom(const DWinMobOutlookCalendarException &exception) {
    try {
        m_fields = exception.m_fields;
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    m_log = exception.m_log;
    m_app = exception.m_app;
    m_master = exception.m_master;
    m_originalStart = exception.m_originalStart;
    m_deleted = exception.m_deleted;
    m_stored = exception.m_stored;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarException::Commit() {
    return m_master == nullptr ? generalErrNotInitialized : m_master->AddException(this);
}

DErrorCode DWinMobOutlookCalendarException::IsBodyChanged(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    if (m_master == nullptr) return generalErrNotInitialized;
    bool modified = false;
    DErrorCode err = m_master->IsModified(&modified);
    if (err != kNoError) return err;
    const std::u16string none;
    const std::u16string &own = m_fields.body ? *m_fields.body : none;
    const std::u16string &master = m_master->m_fields.body ? *m_master->m_fields.body : none;
    *flag = modified && own != master;
    return kNoError;
}
