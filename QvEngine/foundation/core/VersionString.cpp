#include "VersionString.h"

#include <cstdio>
#include <utility>

namespace {

// The ASCII text as a string of the given encoding.
DErrorCode AssignAscii(VString *dest, const char *text, VStringEncoding encoding) {
    // ASCII reads the same in every narrow encoding the strings carry.
    if (VString::IsNarrowEncoding(encoding)) return dest->AssignNarrow(text, kQvUnknown, encoding);
    DErrorCode err = dest->AssignCStr(text, kVStringWindows1252);
    if (err == kNoError) err = dest->ConvertTo(encoding);
    return err;
}

}  // namespace

DErrorCode FormatVersionString(uint32_t major, uint32_t minor, uint32_t build, const VString *prefix, VString *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    char text[48];
    snprintf(text, sizeof text, " %u.%03u (%u)", major, minor, build);

    if (prefix == nullptr) return AssignAscii(out, text, out->GetEncoding());
    // Built aside so that out may be the prefix itself.
    VString joined;
    VString tail;
    DErrorCode err = joined.Assign(*prefix);
    if (err == kNoError) err = AssignAscii(&tail, text, prefix->GetEncoding());
    if (err == kNoError) err = joined.Append(tail);
    if (err == kNoError) *out = std::move(joined);
    return err;
}

DErrorCode GetEngineVersionString(const VString *prefix, VString *out) {
    return FormatVersionString(kEngineVersionMajor, kEngineVersionMinor, kEngineVersionBuild, prefix, out);
}
