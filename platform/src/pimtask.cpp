// A task: every field one property of its record in "Tasks Database".
#include "pimitems.h"
#include "pimprops.h"

namespace vplat {
namespace {

// One task over its record.
class PimTask : public PimObject<ITask> {
public:
    explicit PimTask(std::shared_ptr<PimStore> store) : m_core(std::move(store), PimKind::Task) {}
    HRESULT Load(CEOID oid) { return m_core.Load(oid); }

    HRESULT get_Oid(CEOID *oid) override {
        if (oid == nullptr) return E_POINTER;
        *oid = m_core.Oid();
        return S_OK;
    }
    HRESULT get_ItemType(LONG *type) override {
        if (type == nullptr) return E_POINTER;
        *type = olTaskItem;
        return S_OK;
    }
    HRESULT Save() override { return m_core.Save(); }
    HRESULT Delete() override { return m_core.Delete(); }
    HRESULT QueryAppointment(IAppointment **) override { return E_NOINTERFACE; }
    HRESULT QueryContact(IContact **) override { return E_NOINTERFACE; }
    HRESULT QueryTask(ITask **task) override {
        if (task == nullptr) return E_POINTER;
        AddRef();
        *task = this;
        return S_OK;
    }

    HRESULT get_Subject(std::u16string *text) override { return m_core.GetText(kTaskSubject, text); }
    HRESULT put_Subject(LPCWSTR text) override { return m_core.PutText(kTaskSubject, text); }
    HRESULT get_Body(std::u16string *text) override { return m_core.GetText(kTaskBody, text); }
    HRESULT put_Body(LPCWSTR text) override { return m_core.PutText(kTaskBody, text); }
    HRESULT get_Categories(std::u16string *text) override { return m_core.GetText(kTaskCategories, text); }
    HRESULT put_Categories(LPCWSTR text) override { return m_core.PutText(kTaskCategories, text); }
    HRESULT get_StartDate(DATE *date) override { return m_core.GetDate(kTaskStartDate, date); }
    HRESULT put_StartDate(DATE date) override { return m_core.PutDate(kTaskStartDate, date); }
    HRESULT get_DueDate(DATE *date) override { return m_core.GetDate(kTaskDueDate, date); }
    HRESULT put_DueDate(DATE date) override { return m_core.PutDate(kTaskDueDate, date); }
    HRESULT get_Complete(VARIANT_BOOL *complete) override { return m_core.GetBool(kTaskComplete, complete); }
    HRESULT put_Complete(VARIANT_BOOL complete) override { return m_core.PutBool(kTaskComplete, complete); }
    HRESULT get_DateCompleted(DATE *date) override { return m_core.GetDate(kTaskDateCompleted, date); }
    HRESULT put_DateCompleted(DATE date) override { return m_core.PutDate(kTaskDateCompleted, date); }
    HRESULT get_Importance(LONG *importance) override {
        if (importance == nullptr) return E_POINTER;
        *importance = LONG(m_core.Record().Num(kTaskImportance, olImportanceNormal));
        return S_OK;
    }
    HRESULT put_Importance(LONG importance) override {
        if (importance < olImportanceLow || importance > olImportanceHigh) return E_INVALIDARG;
        return m_core.PutNum(kTaskImportance, importance);
    }
    HRESULT get_Sensitivity(LONG *sensitivity) override { return m_core.GetNum(kTaskSensitivity, sensitivity); }
    HRESULT put_Sensitivity(LONG sensitivity) override {
        if (sensitivity < olNormal || sensitivity > olConfidential) return E_INVALIDARG;
        return m_core.PutNum(kTaskSensitivity, sensitivity);
    }
    HRESULT get_ReminderSet(VARIANT_BOOL *set) override { return m_core.GetBool(kTaskReminderSet, set); }
    HRESULT put_ReminderSet(VARIANT_BOOL set) override { return m_core.PutBool(kTaskReminderSet, set); }

private:
    PimItemCore m_core;
};

}  // namespace

HRESULT PimNewTask(std::shared_ptr<PimStore> store, CEOID oid, IPimItem **item) {
    return PimMakeItem<PimTask>(std::move(store), oid, item);
}

}  // namespace vplat
