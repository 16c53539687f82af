// Appointments: the stored appointment (one record of "Appointments
// Database") and what hangs off it: its attendees, its recurrence pattern,
// its exceptions and its occurrences. The pattern and the attendees change
// the appointment's record and are written by its Save; an occurrence's
// Save or Delete writes the appointment's exception list alone, at once.
#ifndef VPLATFORM_PIMAPPOINTMENT_H
#define VPLATFORM_PIMAPPOINTMENT_H

#include <memory>
#include <vector>

#include "pimblob.h"
#include "pimobject.h"
#include "pimprops.h"
#include "pimrecurrence.h"

namespace vplat {

// The stored appointment: its fields are its record's properties.
class PimAppointment : public PimObject<IAppointment> {
public:
    explicit PimAppointment(std::shared_ptr<PimStore> store) : m_core(std::move(store), PimKind::Appointment) {}
    HRESULT Load(CEOID oid) { return m_core.Load(oid); }

    HRESULT get_Oid(CEOID *oid) override;
    HRESULT get_ItemType(LONG *type) override;
    // A recurring appointment needs a start and a pattern that can make
    // occurrences (else E_INVALIDARG, nothing written); when the pattern or
    // the start changed, exceptions that no longer fall on an occurrence
    // are dropped in the same write.
    HRESULT Save() override;
    HRESULT Delete() override { return m_core.Delete(); }
    HRESULT QueryAppointment(IAppointment **appointment) override;
    HRESULT QueryContact(IContact **) override { return E_NOINTERFACE; }
    HRESULT QueryTask(ITask **) override { return E_NOINTERFACE; }

    HRESULT get_Subject(std::u16string *text) override;
    HRESULT put_Subject(LPCWSTR text) override;
    HRESULT get_Location(std::u16string *text) override;
    HRESULT put_Location(LPCWSTR text) override;
    HRESULT get_Body(std::u16string *text) override;
    HRESULT put_Body(LPCWSTR text) override;
    HRESULT get_Categories(std::u16string *text) override;
    HRESULT put_Categories(LPCWSTR text) override;
    HRESULT get_Start(DATE *date) override;
    HRESULT put_Start(DATE date) override;
    HRESULT get_End(DATE *date) override;
    HRESULT put_End(DATE date) override;
    HRESULT get_ReminderMinutesBeforeStart(LONG *minutes) override;
    HRESULT put_ReminderMinutesBeforeStart(LONG minutes) override;
    HRESULT get_ReminderSet(VARIANT_BOOL *set) override;
    HRESULT put_ReminderSet(VARIANT_BOOL set) override;
    HRESULT get_AllDayEvent(VARIANT_BOOL *allDay) override;
    HRESULT put_AllDayEvent(VARIANT_BOOL allDay) override;
    HRESULT get_BusyStatus(LONG *status) override;
    HRESULT put_BusyStatus(LONG status) override;
    HRESULT get_Sensitivity(LONG *sensitivity) override;
    HRESULT put_Sensitivity(LONG sensitivity) override;
    HRESULT get_MeetingStatus(LONG *status) override;
    HRESULT get_IsRecurring(VARIANT_BOOL *recurring) override;
    HRESULT get_Recipients(IRecipients **recipients) override;
    HRESULT GetRecurrencePattern(IRecurrencePattern **pattern) override;
    HRESULT ClearRecurrencePattern() override;

    // For the objects that hang off the appointment.
    PimItemCore &Core() { return m_core; }
    bool Recurs() const { return m_core.Record().Has(kRecurType); }
    PimPattern Pattern() const;
    // The start (0 when none) and the length in seconds (never negative).
    int64_t StartSeconds() const;
    int64_t DurationSeconds() const;
    // Makes the appointment recur weekly on its start's weekday.
    void BeginRecurrence();
    std::vector<std::shared_ptr<PimRecipient>> &RecipientList();
    void RecipientsChanged();
    // The exceptions as stored now (those of the record read, for an
    // appointment never saved); a damaged list reads as none.
    void StoredExceptions(std::vector<PimException> *list);
    // Writes the exception list alone, in one write of the record.
    HRESULT WriteExceptions(const std::vector<PimException> &list);

private:
    PimItemCore m_core;
    bool m_recipientsRead = false;
    std::vector<std::shared_ptr<PimRecipient>> m_recipients;
};

HRESULT PimNewRecipients(PimAppointment *master, IRecipients **recipients);
HRESULT PimNewPattern(PimAppointment *master, IRecurrencePattern **pattern);
HRESULT PimNewExceptions(PimAppointment *master, std::vector<PimException> list, IExceptions **exceptions);
HRESULT PimNewOccurrence(PimAppointment *master, const PimException &entry, IAppointment **occurrence);

}  // namespace vplat

#endif
