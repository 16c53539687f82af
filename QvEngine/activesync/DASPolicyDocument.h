// DASPolicyDocument: the server's provisioning policy document (the Data of
// a Provision answer's "MS-WAP-Provisioning-XML" policy). Read takes the
// password and wipe values out of its text; ParsePolicy then records in the
// preferences whether a policy is in force and stores the values with the
// policy key in the IT-policy store.
//
// Contract:
// - A text that is no XML document means no policy in force; it is logged
//   as an error and still acknowledged (the key is stored), since servers
//   go on with the Provision exchange either way. A UTF-8 byte-order mark,
//   an XML declaration, an outer CDATA section and surrounding white space
//   (and zero bytes) are accepted around the document.
// - ParsePolicy answers 0, ASDataManagerErrITPolicyNotSatisfied (a policy
//   in force that the device does not yet enforce),
//   ASDataManagerErrITPolicyDisabled (no policy in force and the keys
//   differ), or the error of the preferences or the store unchanged.
#ifndef QV_DASPOLICYDOCUMENT_H
#define QV_DASPOLICYDOCUMENT_H

#include <string>

#include "DErrorCode.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"
#include "VString.h"
#include "wintypes.h"

// What a document says; every number is 0 until the document gives it.
struct DASPolicyDocumentValues {
    bool isXml = false;
    bool inForce = false;
    DWORD securityPolicy4131 = 0;
    DWORD securityPolicy4133 = 0;
    DWORD frequencyType = 0;
    DWORD frequencyValue = 0;
    DWORD deviceWipeThreshold = 0;
    DWORD codewordFrequency = 0;
    DWORD minimumPasswordLength = 0;
    DWORD passwordComplexity = 0;
};

class DASPolicyDocument {
public:
    // log may be null (nothing is logged).
    DASPolicyDocument(ICorvanePreferences *prefs, ILogProvider *log) : m_prefs(prefs), m_log(log) {}

    // The values of a document's text (UTF-8 or any narrow text whose
    // markup is ASCII). Never fails: a text that is no XML reads as a
    // document without a policy in force, with isXml false.
    static void Read(const std::string &text, DASPolicyDocumentValues *values);

    // Steps the policy of a Provision answer into the device.
    DErrorCode ParsePolicy(const VString &document, const VString &policyKey);

private:
    // The document's bytes as UTF-8 (narrow text as it stands).
    static DErrorCode DocumentBytes(const VString &document, std::string *bytes);
    // The store's answer after the values are stored.
    DErrorCode StorePolicy(const DASPolicyDocumentValues &values, const VString &policyKey);
    // TRUE when the preferences' EASPolicyKey is exactly "0".
    bool IsFirstEnforcement();

    ICorvanePreferences *m_prefs;
    ILogProvider *m_log;
};

#endif
