// DASDP_GetItemEstimateResponse (type 14): what the server holds for the
// device. The e-mail estimate is a count; the other three are non-zero when
// the type has changes. kEstimateStatusRestart makes the engine start again
// with Options and FolderSync. Plain fields only.
#ifndef QV_DASDP_GETITEMESTIMATERESPONSE_H
#define QV_DASDP_GETITEMESTIMATERESPONSE_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"

constexpr uint32_t kEstimateStatusRestart = 2;

class DASDP_GetItemEstimateResponse : public DClientResponse {
public:
    DASDP_GetItemEstimateResponse()
        : DClientResponse(kResponseTypeGetItemEstimate), m_emailEstimate(0), m_contactsChanges(0),
          m_calendarChanges(0), m_tasksChanges(0), m_status(0) {}

    uint32_t GetEmailEstimate() const { return m_emailEstimate; }
    void SetEmailEstimate(uint32_t estimate) { m_emailEstimate = estimate; }
    uint32_t GetContactsChanges() const { return m_contactsChanges; }
    void SetContactsChanges(uint32_t changes) { m_contactsChanges = changes; }
    uint32_t GetCalendarChanges() const { return m_calendarChanges; }
    void SetCalendarChanges(uint32_t changes) { m_calendarChanges = changes; }
    uint32_t GetTasksChanges() const { return m_tasksChanges; }
    void SetTasksChanges(uint32_t changes) { m_tasksChanges = changes; }
    uint32_t GetStatus() const { return m_status; }
    void SetStatus(uint32_t status) { m_status = status; }

    // Any of the four is non-zero.
    bool HasChanges() const {
        return m_emailEstimate != 0 || m_contactsChanges != 0 || m_calendarChanges != 0 || m_tasksChanges != 0;
    }

private:
    uint32_t m_emailEstimate;
    uint32_t m_contactsChanges;
    uint32_t m_calendarChanges;
    uint32_t m_tasksChanges;
    uint32_t m_status;
};

#endif
