// The contacts mapping: a contact's ApplicationData both ways. Every tag of
// the Contacts page has its numbered field (or none) in one table; server
// data is applied tag by tag, and the request side writes the fields in the
// table's order with the e-mail addresses last.
#include <cstdio>
#include <string>
#include <vector>

#include "DASDP_SyncResponse.h"
#include "DActiveSyncDataManager.h"
#include "DWinMobContactManager.h"
#include "DActiveSyncDataManagerText.h"
#include "IOutlookContact.h"

namespace {

const char *const kTagStatus = "0x0E_0x00";
const char *const kTagApplicationData = "0x1D_0x00";
const char *const kTagCategory = "0x16_0x01";
const char *const kTagChild = "0x18_0x01";

constexpr uint8_t kContactsPage = 0x01;
// The second Contacts page: none of its tags is kept on the device.
constexpr uint8_t kContacts2Page = 0x0C;
// A Change clears the fields of the Contacts tokens up to this one that it leaves out.
constexpr uint8_t kLastClearedToken = 60;
// The status of an item the server and the device both changed.
constexpr uint32_t kConflictStatus = 7;

// What a Contacts tag carries.
enum ContactKind : uint8_t {
    kString,    // a string field
    kDate,      // a date field
    kList,      // a list field, one child element per string
    kIgnored,   // accepted and dropped
    kListItem,  // read only inside its list element
};

struct ContactTag {
    uint8_t token;
    uint32_t field;
    ContactKind kind;
};

// Token order is also the order of the request's children (e-mail addresses aside).
const ContactTag kContactTags[] = {
    {0x05, kContactAnniversary, kDate},  // Anniversary
    {0x06, 1000, kString},               // AssistantName
    {0x07, 1001, kString},               // AssistnamePhoneNumber
    {0x08, kContactBirthday, kDate},     // Birthday
    {0x09, kContactBody, kString},       // Body
    {0x0A, 0, kIgnored},                 // BodySize
    {0x0B, 0, kIgnored},                 // BodyTruncated
    {0x0C, 1003, kString},               // Business2PhoneNumber
    {0x0D, 1004, kString},               // BusinessCity
    {0x0E, 1005, kString},               // BusinessCountry
    {0x0F, 1006, kString},               // BusinessPostalCode
    {0x10, 1007, kString},               // BusinessState
    {0x11, 1008, kString},               // BusinessStreet
    {0x12, 1009, kString},               // BusinessFaxNumber
    {0x13, 1010, kString},               // BusinessPhoneNumber
    {0x14, 1011, kString},               // CarPhoneNumber
    {0x15, kContactCategories, kList},   // Categories
    {0x16, 0, kListItem},                // Category
    {0x17, kContactChildren, kList},     // Children
    {0x18, 0, kListItem},                // Child
    {0x19, kContactCompanyName, kString},  // CompanyName
    {0x1A, 1013, kString},               // Department
    {0x1B, kContactEmail1, kString},     // Email1Address
    {0x1C, 1015, kString},               // Email2Address
    {0x1D, kContactEmail3, kString},     // Email3Address
    {0x1E, 1017, kString},               // FileAs
    {0x1F, kContactFirstName, kString},  // FirstName
    {0x20, 1019, kString},               // Home2PhoneNumber
    {0x21, 1020, kString},               // HomeCity
    {0x22, 1021, kString},               // HomeCountry
    {0x23, 1022, kString},               // HomePostalCode
    {0x24, 1023, kString},               // HomeState
    {0x25, 1024, kString},               // HomeStreet
    {0x26, 1025, kString},               // HomeFaxNumber
    {0x27, 1026, kString},               // HomePhoneNumber
    {0x28, 1027, kString},               // JobTitle
    {0x29, kContactLastName, kString},   // LastName
    {0x2A, 1029, kString},               // MiddleName
    {0x2B, 1030, kString},               // MobilePhoneNumber
    {0x2C, 1031, kString},               // OfficeLocation
    {0x2D, 1032, kString},               // OtherCity
    {0x2E, 1033, kString},               // OtherCountry
    {0x2F, 1034, kString},               // OtherPostalCode
    {0x30, 1035, kString},               // OtherState
    {0x31, 1036, kString},               // OtherStreet
    {0x32, 1037, kString},               // PagerNumber
    {0x33, 1038, kString},               // RadioPhoneNumber
    {0x34, 1039, kString},               // Spouse
    {0x35, 1040, kString},               // Suffix
    {0x36, 1041, kString},               // Title
    {0x37, 1042, kString},               // WebPage
    {0x38, 1043, kString},               // YomiCompanyName
    {0x39, 1044, kString},               // YomiFirstName
    {0x3A, kContactLastString, kString},  // YomiLastName
    {0x3B, 0, kIgnored},                 // Rtf
    {0x3C, 0, kIgnored},                 // Picture
};

const ContactTag *TagOfToken(uint8_t token) {
    for (const ContactTag &tag : kContactTags)
        if (tag.token == token) return &tag;
    return nullptr;
}

// The tree's name of a Contacts tag.
std::string TagName(uint8_t token) {
    char name[16];
    std::snprintf(name, sizeof name, "0x%02X_0x%02X", unsigned(token), unsigned(kContactsPage));
    return name;
}

// The code page and token of an element the language table knows.
bool PageAndToken(const WBXMLTreeNode *node, uint8_t *page, uint8_t *token) {
    if (node == nullptr || node->type != WBXML_TREE_ELEMENT_NODE || node->name == nullptr ||
        node->name->type != WBXML_VALUE_TOKEN || node->name->u.token == nullptr)
        return false;
    *page = node->name->u.token->wbxmlCodePage;
    *token = node->name->u.token->wbxmlToken;
    return true;
}

bool IsEmail(uint32_t field) { return field >= kContactEmail1 && field <= kContactEmail3; }

const char *NameLogText(uint32_t field) {
    switch (field) {
        case kContactCompanyName:
            return "Company: ";
        case kContactFirstName:
            return "First Name: ";
        case kContactLastName:
            return "Last Name: ";
        default:
            return nullptr;
    }
}

}  // namespace

void DActiveSyncDataManager::UncountAddedItem() {
    auto *record = dynamic_cast<DASDP_SyncResponse *>(m_response);
    if (m_itemDataSet == 0 || record == nullptr || record->GetAddedCount() == 0) return;
    record->SetCounts(record->GetAddedCount() - 1, record->GetChangedCount(), record->GetDeletedCount());
}

DErrorCode DActiveSyncDataManager::ApplyContactData(IOutlookContact *contact, WBXMLTreeNode *command) {
    if (contact == nullptr) return generalErrInvalidParameter;
    // 1. The item's status, then its data.
    uint32_t status = 0;
    WBXMLTreeNode *statusNode = Child(command, kTagStatus);
    if (statusNode != nullptr) {
        const std::string text = TextOf(statusNode);
        LogLine("Item arrived with status: ", text.c_str());
        ParseNumber(text, &status);
    }
    WBXMLTreeNode *applicationData = Child(command, kTagApplicationData);
    DErrorCode err = kNoError;
    if (applicationData == nullptr) {
        // Nothing to replace the contact with: it stays as it is.
        LogText("No item data is present!\n");
        err = ASDataManagerErrItemNotSupported;
    }
    // 2. Each tag into its field, in the order sent.
    bool seen[kLastClearedToken + 1] = {};
    for (WBXMLTreeNode *child = applicationData != nullptr ? applicationData->children : nullptr;
         child != nullptr && err == kNoError; child = child->next) {
        uint8_t page = 0, token = 0;
        if (!PageAndToken(child, &page, &token) || page != kContactsPage) continue;
        if (token <= kLastClearedToken) seen[token] = true;
        const ContactTag *tag = TagOfToken(token);
        if (tag == nullptr) continue;
        switch (tag->kind) {
            case kString: {
                const std::string text = TextOf(child);
                const char *logText = NameLogText(tag->field);
                if (logText != nullptr) LogLine(logText, text.c_str());
                VString value;
                err = dmtext::FromUtf8(text, &value);
                if (err == kNoError) err = contact->SetStringField(tag->field, value);
                break;
            }
            case kDate: {
                struct tm date = {};
                err = dmtext::ReadDate(TextOf(child), &date);
                if (err == kNoError) err = contact->SetDateField(tag->field, &date);
                break;
            }
            case kList: {
                // An empty list element says the list is empty now.
                StringListNode list = {nullptr, nullptr};
                err = dmtext::ListOfChildren(child, &list);
                if (err == kNoError) err = contact->SetListField(tag->field, &list);
                FreeStringList(&list);
                break;
            }
            case kIgnored:
            case kListItem:
                break;
        }
    }
    // 3. A Change replaces the whole contact: what it left out is cleared.
    // A contact made for this Add has nothing to clear.
    if (err == kNoError && m_itemDataSet == 0) {
        const struct tm noDate = {};
        const VString empty;
        const StringListNode noList = {nullptr, nullptr};
        for (const ContactTag &tag : kContactTags) {
            if (tag.token > kLastClearedToken || seen[tag.token]) continue;
            if (tag.kind == kString) err = contact->SetStringField(tag.field, empty);
            if (tag.kind == kDate) err = contact->SetDateField(tag.field, &noDate);
            if (tag.kind == kList) err = contact->SetListField(tag.field, &noList);
            if (err != kNoError) break;
        }
    }
    // 4. A refused contact made for this Add was never added.
    if (err == ASDataManagerErrItemNotSupported) {
        if (status == kConflictStatus) {
            LogText("Conflict matching the client and server object.\n");
        } else {
            UncountAddedItem();
        }
    }
    return err;
}

DErrorCode DActiveSyncDataManager::BuildContactData(WBXMLTreeNode *applicationData, IOutlookContact *contact) {
    if (applicationData == nullptr || contact == nullptr) return generalErrInvalidParameter;
    bool bodyChanged = false;
    DErrorCode err = contact->IsBodyChanged(&bodyChanged);
    if (err != kNoError) return err;
    // The table's order; the e-mail addresses go last.
    std::vector<const ContactTag *> order;
    for (const ContactTag &tag : kContactTags)
        if (!IsEmail(tag.field) || tag.kind != kString) order.push_back(&tag);
    for (const ContactTag &tag : kContactTags)
        if (IsEmail(tag.field) && tag.kind == kString) order.push_back(&tag);

    for (const ContactTag *tag : order) {
        const std::string name = TagName(tag->token);
        switch (tag->kind) {
            case kString: {
                if (tag->field == kContactBody && !bodyChanged) break;
                VString value;
                std::string text;
                err = contact->GetStringField(tag->field, &value);
                if (err == kNoError) err = dmtext::ToUtf8(value, &text);
                if (err == kNoError && !text.empty()) err = AddTextElement(applicationData, name.c_str(), text.c_str());
                break;
            }
            case kDate: {
                // A contact without the date sends none.
                struct tm date = {};
                err = contact->GetDateField(tag->field, &date);
                if (err != kNoError || dmtext::IsNoDate(date)) break;
                std::string text;
                if (dmtext::WriteDate(date, &text) != kNoError) {
                    LogText("DActiveSyncDataManager::BuildContactData() - not a date, not sent\n");
                    break;
                }
                err = AddTextElement(applicationData, name.c_str(), text.c_str());
                break;
            }
            case kList: {
                StringListNode list = {nullptr, nullptr};
                std::vector<std::string> texts;
                err = contact->GetListField(tag->field, &list);
                if (err == kNoError) err = dmtext::TextsOfList(&list, &texts);
                FreeStringList(&list);
                const char *itemName = tag->field == kContactCategories ? kTagCategory : kTagChild;
                if (err == kNoError) err = dmtext::AddListElement(applicationData, name.c_str(), itemName, texts);
                break;
            }
            case kIgnored:
            case kListItem:
                break;
        }
        if (err != kNoError) return err;
    }
    return kNoError;
}

void DActiveSyncDataManager::LogRejectedContact(IOutlookContact *contact) {
    if (contact == nullptr) return;
    LogResourceText(92);
    LogText("\n");
    VString value;
    std::string first, last, company;
    if (contact->GetStringField(kContactFirstName, &value) == kNoError) dmtext::ToUtf8(value, &first);
    if (contact->GetStringField(kContactLastName, &value) == kNoError) dmtext::ToUtf8(value, &last);
    if (contact->GetStringField(kContactCompanyName, &value) == kNoError) dmtext::ToUtf8(value, &company);
    std::string name = first.empty() ? std::string() : first + " ";
    name += last;
    if (!name.empty()) {
        LogResourceText(93);
        LogLine(" ", name.c_str());
    }
    LogResourceText(94);
    LogLine(" ", company.c_str());
}

DErrorCode DActiveSyncDataManager::AddContactsSupported(WBXMLTreeNode *collection) {
    const auto *store = dynamic_cast<DWinMobContactManager *>(m_con);
    const std::forward_list<uint32_t> *fields = store != nullptr ? store->GetFieldList() : nullptr;
    if (fields == nullptr || fields->empty()) return kNoError;
    WBXMLTreeNode *supported = nullptr;
    DErrorCode err = AddElement(collection, "0x20_0x00", &supported);
    for (auto field = fields->begin(); err == kNoError && field != fields->end(); ++field) {
        const ContactTag *tag = nullptr;
        for (const ContactTag &t : kContactTags)
            if (t.field == *field && (t.kind == kString || t.kind == kDate || t.kind == kList)) tag = &t;
        if (tag != nullptr) err = AddElement(supported, TagName(tag->token).c_str());
    }
    return err;
}
