// The narrow code pages behind MultiByteToWideChar and WideCharToMultiByte,
// each a pair of whole-buffer conversions. The single-byte pages (1252,
// 10000) follow tables of their own; the double-byte pages (932, 936, 950)
// go through glibc's iconv. Neither direction does best-fit mapping.
#ifndef VPLATFORM_CODEPAGE_H
#define VPLATFORM_CODEPAGE_H

#include <cstddef>
#include <string>

#include "wintypes.h"

namespace vplat {

// The 128 units of bytes 0x80-0xFF of a single-byte page, or null when the
// page is not one of them. Every byte of these pages maps to a unit.
const char16_t *SingleByteHighTable(UINT codePage);

// Appends the UTF-16 form of in[0..len) in a single-byte page.
void SingleByteDecode(UINT codePage, const char *in, size_t len, std::u16string *out);
// Appends the bytes of in[0..len); a unit the page lacks becomes
// defaultChar and sets *usedDefault.
void SingleByteEncode(UINT codePage, const char16_t *in, size_t len, char defaultChar, bool *usedDefault,
                      std::string *out);

// True for the pages converted through iconv.
bool IsDoubleBytePage(UINT codePage);
// True when the host's iconv can convert the page.
bool DoubleByteAvailable(UINT codePage);
// Appends the UTF-16 form of in[0..len). An invalid or unmapped sequence
// becomes the page's default unit, or fails (false) in strict mode; false
// too when iconv cannot convert the page (*unavailable set).
bool DoubleByteDecode(UINT codePage, const char *in, size_t len, bool strict, std::u16string *out,
                      bool *unavailable);
// Appends the bytes of in[0..len); a unit the page lacks becomes
// defaultChar and sets *usedDefault. False when iconv cannot convert the page.
bool DoubleByteEncode(UINT codePage, const char16_t *in, size_t len, char defaultChar, bool *usedDefault,
                      std::string *out);

}  // namespace vplat

#endif
