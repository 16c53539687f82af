#include "DWinMobITPolicyManager.h"

#include <new>
#include <utility>

#include "PrefsRegistry.h"
#include "winerror.h"
#include "winreg.h"

namespace {

// One registry value of the store.
struct PolicyValue {
    const WCHAR *name;
    bool text;
};

// Table order: Load reads and Save writes in it.
const PolicyValue kPolicyValues[] = {
    {u"RequiredKey", true},
    {u"SatisfiedKey", true},
    {u"FrequencyType", false},
    {u"FrequencyValue", false},
    {u"DeviceWipeThreshold", false},
    {u"CodewordFrequency", false},
    {u"MinimumPasswordLength", false},
    {u"PasswordComplexity", false},
    {u"IsFirstEnforcement", false},
};

// Runs work inside a registry transaction of its own, or inside the
// caller's when this thread has one open already. The transaction commits
// what work wrote even when it fails (what was written stands, as it would
// without a transaction); it only keeps other processes from seeing a half.
template <typename Work>
DErrorCode InTransaction(Work work) {
    LONG begin = RegBeginTransaction();
    if (begin == ERROR_BUSY) return work();
    if (begin != ERROR_SUCCESS) return static_cast<DErrorCode>(begin);
    DErrorCode err = work();
    DErrorCode end = static_cast<DErrorCode>(RegEndTransaction(TRUE));
    return err != kNoError ? err : end;
}

// Stores held as the number of a REG_DWORD.
DErrorCode ReadNumber(const WCHAR *name, DWORD *held) {
    DWORD stored = 0;
    DErrorCode err = QueryUserRegDWORD(kITPolicyRegKey, name, &stored);
    if (err == ERROR_FILE_NOT_FOUND) return WriteUserRegDWORD(kITPolicyRegKey, name, *held);
    if (err == kNoError) *held = stored;
    return err;
}

DErrorCode ReadText(const WCHAR *name, VString *held) {
    VString stored;
    DErrorCode err = QueryUserRegString(kITPolicyRegKey, name, &stored, kITPolicyKeyMaxChars);
    if (err == ERROR_FILE_NOT_FOUND) return WriteUserRegString(kITPolicyRegKey, name, held);
    if (err == kNoError) *held = std::move(stored);
    return err;
}

}  // namespace

DErrorCode DWinMobITPolicyManager::LoadValues() {
    DErrorCode err = ResetKeysInMemory();
    if (err != kNoError) return err;
    DWORD disposition = 0;
    HKEY opened = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, kITPolicyRegKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &opened, &disposition);
    if (rc != ERROR_SUCCESS) return static_cast<DErrorCode>(rc);
    RegCloseKey(opened);

    DWORD *numbers[] = {&m_frequencyType,        &m_frequencyValue,     &m_deviceWipeThreshold,
                        &m_codewordFrequency,    &m_minimumPasswordLength, &m_passwordComplexity};
    err = ReadText(kPolicyValues[0].name, &m_requiredKey);
    if (err == kNoError) err = ReadText(kPolicyValues[1].name, &m_satisfiedKey);
    for (size_t i = 0; i < 6 && err == kNoError; ++i) err = ReadNumber(kPolicyValues[i + 2].name, numbers[i]);
    if (err != kNoError) return err;
    DWORD first = m_isFirstEnforcement ? 1 : 0;
    err = ReadNumber(kPolicyValues[8].name, &first);
    if (err == kNoError) m_isFirstEnforcement = first != 0 ? TRUE : FALSE;
    return err;
}

DErrorCode DWinMobITPolicyManager::SaveValues() {
    const DWORD numbers[] = {m_frequencyType,     m_frequencyValue,        m_deviceWipeThreshold,
                             m_codewordFrequency, m_minimumPasswordLength, m_passwordComplexity,
                             m_isFirstEnforcement ? 1u : 0u};
    DErrorCode err = WriteUserRegString(kITPolicyRegKey, kPolicyValues[0].name, &m_requiredKey);
    if (err == kNoError) err = WriteUserRegString(kITPolicyRegKey, kPolicyValues[1].name, &m_satisfiedKey);
    for (size_t i = 0; i < 7 && err == kNoError; ++i)
        err = WriteUserRegDWORD(kITPolicyRegKey, kPolicyValues[i + 2].name, numbers[i]);
    return err;
}

DErrorCode DWinMobITPolicyManager::Load() {
    return InTransaction([this] { return LoadValues(); });
}

DErrorCode DWinMobITPolicyManager::Save() {
    // A save that fails part-way is undone: the stored policy stays whole.
    LONG begin = RegBeginTransaction();
    if (begin == ERROR_BUSY) return SaveValues();
    if (begin != ERROR_SUCCESS) return static_cast<DErrorCode>(begin);
    DErrorCode err = SaveValues();
    DErrorCode end = static_cast<DErrorCode>(RegEndTransaction(err == kNoError ? TRUE : FALSE));
    return err != kNoError ? err : end;
}

DErrorCode DWinMobITPolicyManager::MarkPolicySatisfied() {
    LONG begin = RegBeginTransaction();
    if (begin != ERROR_SUCCESS && begin != ERROR_BUSY) return static_cast<DErrorCode>(begin);
    DErrorCode err = LoadValues();
    if (err == kNoError) err = SetSatisfiedKey(m_requiredKey);
    if (err == kNoError) err = SaveValues();
    if (begin == ERROR_BUSY) return err;
    DErrorCode end = static_cast<DErrorCode>(RegEndTransaction(err == kNoError ? TRUE : FALSE));
    return err != kNoError ? err : end;
}

bool DWinMobITPolicyManager::KeysMatch() const {
    return m_requiredKey.GetLength() == m_satisfiedKey.GetLength() &&
           m_requiredKey.IsEqual(m_satisfiedKey, TRUE) != FALSE;
}

DErrorCode DWinMobITPolicyManager::IsPolicySatisfied() {
    return KeysMatch() ? kNoError : ASDataManagerErrITPolicyNotSatisfied;
}

DErrorCode DWinMobITPolicyManager::CheckPolicyEnabled() {
    return KeysMatch() ? kNoError : ASDataManagerErrITPolicyDisabled;
}

DErrorCode AllocateITPolicyManager(DWinMobITPolicyManager **manager) {
    if (manager == nullptr) return generalErrNULLPointer;
    *manager = new (std::nothrow) DWinMobITPolicyManager;
    if (*manager == nullptr) return generalErrMemoryError;
    return (*manager)->Load();
}
