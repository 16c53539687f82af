// The engine's log helpers that take their text from the resource library.
#include <memory>

#include "DActiveSyncEngine.h"
#include "ILogProvider.h"
#include "IResourceManager.h"

void DActiveSyncEngine::LogResourceText(uint32_t textId) {
    IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
    if (m_logger == nullptr || strings == nullptr) return;
    VString *text = nullptr;
    if (strings->GetString(UINT(textId), &text) == kNoError && text != nullptr)
        m_logger->WriteVString(*text, 1, kLogAllCategories);
    delete text;
}

void DActiveSyncEngine::LogSeparator() { LogText("-------------\n\n"); }
