#include "DASPolicyDocument.h"

#include <tinyxml.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "DWinMobITPolicyManager.h"

namespace {

const unsigned kErrorLevel = 1;
// Longer than the longest UTF-8 sequence.
const size_t kParserPadding = 8;

bool EqualsNoCase(const char *a, const char *b) {
    if (a == nullptr || b == nullptr) return false;
    for (; *a != 0 && *b != 0; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// The "value" attribute as a 32-bit decimal: missing or no number reads 0,
// a negative one wraps ("-1" is 0xFFFFFFFF, as the store keeps no limit).
DWORD ValueOf(const TiXmlElement *element) {
    const char *text = element->Attribute("value");
    if (text == nullptr) return 0;
    errno = 0;
    long long value = std::strtoll(text, nullptr, 10);
    if (errno == ERANGE) return value < 0 ? 0x80000000u : 0xFFFFFFFFu;
    if (value > 0xFFFFFFFFLL) return 0xFFFFFFFFu;
    if (value < -0x80000000LL) return 0x80000000u;
    return static_cast<DWORD>(value);
}

void ReadSecurityPolicy(const TiXmlElement *characteristic, DASPolicyDocumentValues *values) {
    for (const TiXmlElement *parm = characteristic->FirstChildElement("parm"); parm != nullptr;
         parm = parm->NextSiblingElement()) {
        const char *name = parm->Attribute("name");
        if (values->securityPolicy4131 == 0 && EqualsNoCase(name, "4131"))
            values->securityPolicy4131 = ValueOf(parm);
        else if (values->securityPolicy4133 == 0 && EqualsNoCase(name, "4133"))
            values->securityPolicy4133 = ValueOf(parm);
    }
    values->inForce = !(values->securityPolicy4131 == 1 && values->securityPolicy4133 == 1);
}

void ReadRegistry(const TiXmlElement *characteristic, DASPolicyDocumentValues *values) {
    struct Named {
        const char *name;
        DWORD *kept;
    };
    const Named named[] = {
        {"AEFrequencyType", &values->frequencyType},
        {"AEFrequencyValue", &values->frequencyValue},
        {"DeviceWipeThreshold", &values->deviceWipeThreshold},
        {"CodewordFrequency", &values->codewordFrequency},
        {"MinimumPasswordLength", &values->minimumPasswordLength},
        {"PasswordComplexity", &values->passwordComplexity},
    };
    for (const TiXmlElement *group = characteristic->FirstChildElement("characteristic"); group != nullptr;
         group = group->NextSiblingElement()) {
        for (const TiXmlElement *parm = group->FirstChildElement("parm"); parm != nullptr;
             parm = parm->NextSiblingElement()) {
            const char *name = parm->Attribute("name");
            for (const Named &n : named) {
                if (EqualsNoCase(name, n.name) && *n.kept == 0) {
                    *n.kept = ValueOf(parm);
                    break;
                }
            }
        }
    }
}

bool IsSpaceOrZero(char c) { return c == 0 || std::isspace(static_cast<unsigned char>(c)) != 0; }

// The document without what may surround it: white space and zero bytes,
// a UTF-8 byte-order mark, an outer CDATA section.
std::string Unwrapped(const std::string &text) {
    static const char kBom[] = "\xEF\xBB\xBF";
    static const char kCDataOpen[] = "<![CDATA[";
    static const char kCDataClose[] = "]]>";
    size_t begin = 0;
    size_t end = text.size();
    auto trim = [&] {
        while (begin < end && IsSpaceOrZero(text[begin])) ++begin;
        while (end > begin && IsSpaceOrZero(text[end - 1])) --end;
    };
    trim();
    if (end - begin >= 3 && text.compare(begin, 3, kBom) == 0) {
        begin += 3;
        trim();
    }
    const size_t open = std::strlen(kCDataOpen);
    const size_t close = std::strlen(kCDataClose);
    if (end - begin >= open + close && text.compare(begin, open, kCDataOpen) == 0 &&
        text.compare(end - close, close, kCDataClose) == 0) {
        begin += open;
        end -= close;
        trim();
    }
    return text.substr(begin, end - begin);
}

}  // namespace

void DASPolicyDocument::Read(const std::string &text, DASPolicyDocumentValues *values) {
    *values = DASPolicyDocumentValues();
    // TinyXML takes a UTF-8 lead byte's whole sequence at once, so a text
    // that ends inside one (cut short, or not UTF-8) would be read past its
    // terminating zero: zero bytes after it keep every such read inside.
    std::string document = Unwrapped(text);
    document.append(kParserPadding, '\0');
    TiXmlDocument doc;
    doc.Parse(document.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (doc.Error()) return;
    values->isXml = true;
    const TiXmlElement *root = doc.FirstChildElement("wap-provisioningdoc");
    if (root == nullptr) return;
    for (const TiXmlElement *characteristic = root->FirstChildElement("characteristic"); characteristic != nullptr;
         characteristic = characteristic->NextSiblingElement()) {
        const char *type = characteristic->Attribute("type");
        if (type == nullptr) continue;
        if (EqualsNoCase(type, "SecurityPolicy"))
            ReadSecurityPolicy(characteristic, values);
        else if (EqualsNoCase(type, "Registry"))
            ReadRegistry(characteristic, values);
    }
}

DErrorCode DASPolicyDocument::DocumentBytes(const VString &document, std::string *bytes) {
    if (VString::IsNarrowEncoding(document.GetEncoding())) {
        bytes->assign(document.GetNarrowText(), document.GetLength());
        return kNoError;
    }
    VString utf8;
    DErrorCode err = utf8.Assign(document);
    if (err == kNoError) err = utf8.ConvertTo(kVStringUTF8);
    if (err == kNoError) bytes->assign(utf8.GetNarrowText(), utf8.GetLength());
    return err;
}

bool DASPolicyDocument::IsFirstEnforcement() {
    VString key;
    if (m_prefs->GetEASPolicyKey(&key) != kNoError) return false;
    if (key.GetLength() == 0 || key.ConvertTo(kVStringWindows1252) != kNoError) return false;
    return std::strcmp(key.GetNarrowText(), "0") == 0;
}

DErrorCode DASPolicyDocument::StorePolicy(const DASPolicyDocumentValues &values, const VString &policyKey) {
    DWinMobITPolicyManager *store = nullptr;
    DErrorCode err = AllocateITPolicyManager(&store);
    if (err == kNoError) err = store->SetRequiredKey(policyKey);
    if (err == kNoError && values.inForce) {
        store->SetFrequencyType(values.frequencyType);
        store->SetFrequencyValue(values.frequencyValue);
        store->SetDeviceWipeThreshold(values.deviceWipeThreshold);
        store->SetCodewordFrequency(values.codewordFrequency);
        store->SetMinimumPasswordLength(values.minimumPasswordLength);
        store->SetPasswordComplexity(values.passwordComplexity);
        store->SetIsFirstEnforcement(IsFirstEnforcement() ? TRUE : FALSE);
    }
    if (err == kNoError) err = store->Save();
    if (err == kNoError) err = values.inForce ? store->IsPolicySatisfied() : store->CheckPolicyEnabled();
    delete store;
    return err;
}

DErrorCode DASPolicyDocument::ParsePolicy(const VString &document, const VString &policyKey) {
    if (m_prefs == nullptr) return generalErrNULLPointer;
    std::string bytes;
    DErrorCode err = DocumentBytes(document, &bytes);
    DASPolicyDocumentValues values;
    // A text that cannot even be made UTF-8 is no document either.
    if (err == kNoError) Read(bytes, &values);
    if (!values.isXml && m_log != nullptr)
        m_log->WriteLine("DASPolicyDocument::ParsePolicy() - ERROR: the policy document is not XML, no policy in force",
                         kErrorLevel, kLogAllCategories);
    err = m_prefs->SetITPolicyEnabled(values.inForce ? 1 : 0);
    if (err != kNoError) return err;
    return StorePolicy(values, policyKey);
}
