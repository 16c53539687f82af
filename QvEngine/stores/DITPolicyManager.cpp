#include "DITPolicyManager.h"

#include <utility>

#include "PrefsRegistry.h"

namespace {

DErrorCode GetNumber(DWORD held, DWORD *out) {
    if (out == nullptr) return generalErrNULLPointer;
    *out = held;
    return kNoError;
}

}  // namespace

DErrorCode DITPolicyManager::CopyKey(const VString &from, VString *to) {
    VString copy;
    // An empty text may carry no tag at all, and so no conversion.
    DErrorCode err = from.GetLength() == 0 ? copy.AssignWide(u"", 0, kVStringUTF16LE) : copy.Assign(from);
    if (err == kNoError) err = LimitUserRegText(&copy, kITPolicyKeyMaxChars);
    if (err == kNoError) *to = std::move(copy);
    return err;
}

DErrorCode DITPolicyManager::ResetKeysInMemory() {
    VString zero;
    DErrorCode err = zero.AssignWide(u"0", kQvUnknown, kVStringUTF16LE);
    if (err == kNoError) err = CopyKey(zero, &m_requiredKey);
    if (err == kNoError) err = CopyKey(zero, &m_satisfiedKey);
    return err;
}

DErrorCode DITPolicyManager::Load() { return ResetKeysInMemory(); }

DErrorCode DITPolicyManager::Save() { return kNoError; }

DErrorCode DITPolicyManager::IsPolicySatisfied() { return kNoError; }

DErrorCode DITPolicyManager::CheckPolicyEnabled() { return kNoError; }

DErrorCode DITPolicyManager::SetRequiredKey(const VString &key) { return CopyKey(key, &m_requiredKey); }

DErrorCode DITPolicyManager::GetRequiredKey(VString *key) {
    return key == nullptr ? generalErrNULLPointer : key->Assign(m_requiredKey);
}

DErrorCode DITPolicyManager::SetSatisfiedKey(const VString &key) { return CopyKey(key, &m_satisfiedKey); }

DErrorCode DITPolicyManager::GetSatisfiedKey(VString *key) {
    return key == nullptr ? generalErrNULLPointer : key->Assign(m_satisfiedKey);
}

DErrorCode DITPolicyManager::SetFrequencyType(DWORD value) {
    m_frequencyType = value;
    return kNoError;
}

DErrorCode DITPolicyManager::GetFrequencyType(DWORD *value) { return GetNumber(m_frequencyType, value); }

DErrorCode DITPolicyManager::SetFrequencyValue(DWORD value) {
    m_frequencyValue = value;
    return kNoError;
}

DErrorCode DITPolicyManager::GetFrequencyValue(DWORD *value) { return GetNumber(m_frequencyValue, value); }

DErrorCode DITPolicyManager::SetDeviceWipeThreshold(DWORD value) {
    m_deviceWipeThreshold = value;
    return kNoError;
}

DErrorCode DITPolicyManager::GetDeviceWipeThreshold(DWORD *value) { return GetNumber(m_deviceWipeThreshold, value); }

DErrorCode DITPolicyManager::SetCodewordFrequency(DWORD value) {
    m_codewordFrequency = value;
    return kNoError;
}

DErrorCode DITPolicyManager::GetCodewordFrequency(DWORD *value) { return GetNumber(m_codewordFrequency, value); }

DErrorCode DITPolicyManager::SetMinimumPasswordLength(DWORD value) {
    m_minimumPasswordLength = value;
    return kNoError;
}

DErrorCode DITPolicyManager::GetMinimumPasswordLength(DWORD *value) {
    return GetNumber(m_minimumPasswordLength, value);
}

DErrorCode DITPolicyManager::SetPasswordComplexity(DWORD value) {
    m_passwordComplexity = value;
    return kNoError;
}

DErrorCode DITPolicyManager::GetPasswordComplexity(DWORD *value) { return GetNumber(m_passwordComplexity, value); }

DErrorCode DITPolicyManager::SetIsFirstEnforcement(BOOL value) {
    m_isFirstEnforcement = value != 0 ? TRUE : FALSE;
    return kNoError;
}

DErrorCode DITPolicyManager::GetIsFirstEnforcement(BOOL *value) {
    if (value == nullptr) return generalErrNULLPointer;
    *value = m_isFirstEnforcement;
    return kNoError;
}

DErrorCode DITPolicyManager::ResetPolicyKeys() { return ResetITPolicyRegKeys(); }
