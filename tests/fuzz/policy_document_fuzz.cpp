// Fuzz target: any bytes as the server's provisioning policy document. Reading never fails: a text that is no
// XML reads as no policy in force with every value 0, and the same text always reads the same. A crash, a
// sanitizer report or a hang is a fault.

#include "DASPolicyDocument.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Same(const DASPolicyDocumentValues &a, const DASPolicyDocumentValues &b)
{
    return a.isXml == b.isXml && a.inForce == b.inForce && a.securityPolicy4131 == b.securityPolicy4131 &&
           a.securityPolicy4133 == b.securityPolicy4133 && a.frequencyType == b.frequencyType &&
           a.frequencyValue == b.frequencyValue && a.deviceWipeThreshold == b.deviceWipeThreshold &&
           a.codewordFrequency == b.codewordFrequency && a.minimumPasswordLength == b.minimumPasswordLength &&
           a.passwordComplexity == b.passwordComplexity;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    DASPolicyDocumentValues values;
    DASPolicyDocument::Read(text, &values);
    if (!values.isXml && !Same(values, DASPolicyDocumentValues()))
        std::abort();
    // No state of a read leaks into the next one.
    DASPolicyDocumentValues again;
    again.minimumPasswordLength = 99;
    DASPolicyDocument::Read(text, &again);
    if (!Same(values, again))
        std::abort();
    return 0;
}
