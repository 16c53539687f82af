// The pieces of an outgoing message's MIME text, as the data manager writes
// them into a send body: header lines, the text part's encodings, the date
// and the part boundary. Every text is UTF-8 bytes; every line ends in CR LF.
//
// Header values never carry a line break of their own (a CR or LF from the
// message becomes a blank), so no text of the message can add a header or
// end the header block. Quoted parameter values escape '"' and '\'.
//
// No line is ever longer than 998 characters (mail relays refuse or cut
// longer ones), and a header line keeps to 78 where it can: a long value
// folds before a blank; a value that folding cannot bring within 998 goes as
// UTF-8 "B" encoded-words instead; a long parameter value goes in numbered
// pieces ("name*0", "name*1", ...); a text with a longer line goes as
// quoted-printable.
//
// The functions may throw std::bad_alloc; the data manager catches it.
#ifndef QV_DACTIVESYNCDATAMANAGERMIME_H
#define QV_DACTIVESYNCDATAMANAGERMIME_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The base64 lines of an attachment (the longest a mail line should be).
constexpr uint32_t kMimeBase64LineLength = 76;

// "name: value" CR LF. A value that would pass 78 columns folds (CR LF put
// before a blank) where the line would pass them; a word longer than a line
// stays whole. When a line would still pass 998, the value goes as
// encoded-words of at most 75 characters, one a line; a value ending in an
// address ("phrase <address>") keeps that address as it is.
std::string MimeHeader(const char *name, const std::string &value);
// "name: value;" CR LF TAB "param=\"paramValue\"" CR LF. When that last
// line would pass 78 columns, the parameter goes in pieces of whole
// characters, one a line: TAB "param*0=\"piece\";" CR LF TAB "param*1=..."
// (the value is the pieces joined, in order).
std::string MimeParamHeader(const char *name, const std::string &value, const char *param,
                            const std::string &paramValue);
// The addresses joined by ", " as one header, folded after a comma where a
// line would grow past 78 characters (its comma counted; a line longer than
// that holds one address, and an address too long for 998 folds as a
// MimeHeader value does); "" for no address.
std::string MimeAddressHeader(const char *name, const std::vector<std::string> &addresses);
// "day Mon yyyy hh:mm:ss +hhmm" for a local time (year counted from 1900)
// that lies offsetMinutes ahead of universal time.
std::string MimeDate(const struct tm &local, int32_t offsetMinutes);
// "Low" (0), "High" (2), "Normal" otherwise.
const char *MimeImportance(uint32_t importance);
// "----=_NP_" random "_T" and the universal time's six numbers joined by
// "." (years since 1900, month from 0, day, hour, minute, second).
std::string MimeBoundary(uint32_t random, const struct tm &utc);
// CR LF CR LF "--" boundary CR LF; the closing one has "--" before the CR LF.
std::string MimePartBoundary(const std::string &boundary, bool closing);

// The text with every line break (CR LF, a lone LF or a lone CR) as CR LF.
std::string MimeCanonicalLines(const std::string &text);
// Whether every byte is below 0x80.
bool MimeIs7Bit(const std::string &text);
// The transfer encoding of a text part whose lines end in CR LF: "7bit" or
// "8bit" (MimeIs7Bit) when every line is at most 998 characters, else
// "quoted-printable".
const char *MimeTextEncoding(const std::string &lines);
// Quoted-printable (lines of at most 76 characters, soft breaks "=" CR LF);
// the text's line breaks stay line breaks (as CR LF).
std::string MimeQuotedPrintable(const std::string &text);

#endif
