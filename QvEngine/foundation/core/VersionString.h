// Version text of the engine: " major.minor (build)" with the minor number
// zero-padded to at least three digits, as the logs and the about box show.
#ifndef QV_VERSIONSTRING_H
#define QV_VERSIONSTRING_H

#include <cstdint>

#include "DErrorCode.h"
#include "VString.h"

// out = prefix followed by the text, in the prefix's encoding, when a
// prefix is given; else the text alone in the encoding out already has.
// generalErrInvalidParameter when out is null.
DErrorCode FormatVersionString(uint32_t major, uint32_t minor, uint32_t build, const VString *prefix, VString *out);

// The engine library's own version numbers (the Smartphone edition's build differs).
constexpr uint32_t kEngineVersionMajor = 2;
constexpr uint32_t kEngineVersionMinor = 7;
#ifdef VANTREL_EDITION_SMARTPHONE
constexpr uint32_t kEngineVersionBuild = 69;
#else
constexpr uint32_t kEngineVersionBuild = 67;
#endif

// The engine library's own version: " 2.007 (67)", " 2.007 (69)" in the
// Smartphone edition.
DErrorCode GetEngineVersionString(const VString *prefix, VString *out);

#endif
