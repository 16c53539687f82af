#include "DResourceDLL.h"

#include "winmodule.h"

DResourceDLL::~DResourceDLL() {
    if (m_module != nullptr) FreeLibrary(m_module);
}

DErrorCode DResourceDLL::Load() {
    if (m_module == nullptr) m_module = LoadLibraryW(u"QvRes.dll");
    return m_module != nullptr ? kNoError : kResourceLibraryLoadError;
}
