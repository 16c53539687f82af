// UTF-8 <-> UTF-16 with the platform's rules for bad input: each maximal
// invalid subsequence of UTF-8 becomes U+FFFD, and so does each unpaired
// surrogate of UTF-16. In strict mode bad input fails instead.
#ifndef VPLATFORM_UTF8_H
#define VPLATFORM_UTF8_H

#include <cstddef>
#include <string>

namespace vplat {

// Appends the UTF-16 form of in[0..len) to out. Returns false only in strict
// mode, on the first invalid sequence.
bool Utf8Decode(const char *in, size_t len, bool strict, std::u16string *out);
// Appends the UTF-8 form of in[0..len) to out. Returns false only in strict
// mode, on an unpaired surrogate.
bool Utf8Encode(const char16_t *in, size_t len, bool strict, std::string *out);

}  // namespace vplat

#endif
