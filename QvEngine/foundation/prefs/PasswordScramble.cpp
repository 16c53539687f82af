// RC4 over the password's bytes, leaving a byte that equals its stream byte
// as it is so that no zero byte appears and the text stays terminated.
#include "PasswordScramble.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

const char kPasswordKey[] = "TWX39";

void Rc4Scramble(std::string *bytes, const char *key) {
    size_t keyLength = strlen(key);
    unsigned char state[256];
    for (int i = 0; i < 256; ++i) state[i] = static_cast<unsigned char>(i);
    if (keyLength > 0) {
        unsigned j = 0;
        for (unsigned i = 0; i < 256; ++i) {
            j = (j + state[i] + static_cast<unsigned char>(key[i % keyLength])) & 0xFF;
            std::swap(state[i], state[j]);
        }
    }
    unsigned i = 0;
    unsigned j = 0;
    for (char &c : *bytes) {
        i = (i + 1) & 0xFF;
        j = (j + state[i]) & 0xFF;
        std::swap(state[i], state[j]);
        unsigned char stream = state[(state[i] + state[j]) & 0xFF];
        unsigned char text = static_cast<unsigned char>(c);
        if (text != stream) c = static_cast<char>(text ^ stream);
    }
}

}  // namespace

DErrorCode ScramblePassword(VString *password, const char *key) {
    if (password == nullptr) return generalErrNULLPointer;
    if (password->GetLength() == 0) return kNoError;
    VStringEncoding tag = password->GetEncoding();

    VString work;
    DErrorCode err = work.Assign(*password);
    if (err == kNoError && VString::IsWideEncoding(tag)) err = work.ConvertTo(kVStringWindows1252);
    if (err != kNoError) return err;

    // The bytes up to the terminator.
    std::string bytes(work.GetNarrowText());
    Rc4Scramble(&bytes, key != nullptr ? key : kPasswordKey);

    VString result;
    err = result.AssignNarrow(bytes.data(), static_cast<uint32_t>(bytes.size()), work.GetEncoding());
    if (err == kNoError) err = result.ConvertTo(tag);
    if (err == kNoError) *password = std::move(result);
    return err;
}
