#pragma once

// The engine's ActiveSync WBXML language: code pages 0 to 20 as one tag table in the WBXML library's own table
// structures. The table is ordered by page, then token; every page runs without gaps from token 0x05, and the
// table ends with an entry whose name is null. The language table of languages holds this one language, ended
// likewise, so that the library's lookups by language id or public identifier find it.

#include "WbxmlAdapter.h"

#include <cstddef>

// The language's id in the engine's table of languages and its numeric WBXML public identifier.
constexpr WBXMLLanguage kActiveSyncLanguageId = static_cast<WBXMLLanguage>(1);
constexpr WB_ULONG kActiveSyncWbxmlPublicId = 1;
constexpr const char* kActiveSyncXmlPublicId = "-//ACTIVESYNC//DTD MS ActiveSync 1.3//EN";
constexpr const char* kActiveSyncXmlRootElement = "MS-ActiveSync-Message";

// Number of tag entries, not counting the terminating entry.
constexpr std::size_t kActiveSyncTagCount = 497;

// The tag table: kActiveSyncTagCount entries, then the terminating entry.
const WBXMLTagEntry* ActiveSyncTagTable();
// The language entry.
const WBXMLLangEntry* ActiveSyncLanguage();
// The table of languages: the language entry, then a terminating entry (null tag table).
const WBXMLLangEntry* ActiveSyncLanguages();
