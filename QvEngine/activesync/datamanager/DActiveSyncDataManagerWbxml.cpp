// The data manager's WBXML work: request trees in the ActiveSync language,
// spooling encoded bodies into request files, parsing answers straight from
// the response file, and the element lookups and status rule its parsers share.
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "DActiveSyncDataManager.h"
#include "DActiveSyncDataManagerText.h"
#include "ICorvanePreferences.h"
#include "TempVFile.h"
#include "WbxmlStream.h"

DErrorCode DActiveSyncDataManager::NewRequestTree(const char *rootName, WBXMLTree **tree, WBXMLTreeNode **root) {
    *tree = nullptr;
    *root = nullptr;
    DErrorCode err = LoadLanguageTable();
    if (err != kNoError) return err;
    WBXMLTree *made = nullptr;
    err = CreateWbxmlTree(&made);
    if (err != kNoError) return err;
    WBXMLTreeNode *node = nullptr;
    err = CreateElementNode(&node, rootName);
    if (err == kNoError && !WbxmlAddNode(made, nullptr, node)) {
        WbxmlDestroyNode(node);
        err = generalErrMemoryError;
    }
    if (err != kNoError) {
        WbxmlDestroyTree(made);
        return err;
    }
    *tree = made;
    *root = node;
    return kNoError;
}

DErrorCode DActiveSyncDataManager::AddElement(WBXMLTreeNode *parent, const char *name, WBXMLTreeNode **node) {
    WBXMLTreeNode *made = nullptr;
    DErrorCode err = AppendElementNode(parent, nullptr, name, &made);
    if (node != nullptr) *node = made;
    return err;
}

DErrorCode DActiveSyncDataManager::AddTextElement(WBXMLTreeNode *parent, const char *name, const char *text,
                                                  WBXMLTreeNode **node) {
    WBXMLTreeNode *made = nullptr;
    DErrorCode err = CreateTextElementNode(&made, name, text != nullptr ? text : "");
    if (err == kNoError) err = AppendChildNode(parent, nullptr, made);
    if (err != kNoError && made != nullptr) {
        WbxmlDestroyNode(made);
        made = nullptr;
    }
    if (node != nullptr) *node = made;
    return err;
}

DErrorCode DActiveSyncDataManager::AddNumberElement(WBXMLTreeNode *parent, const char *name, uint32_t value) {
    return AddTextElement(parent, name, std::to_string(value).c_str());
}

DErrorCode DActiveSyncDataManager::StoreWbxmlDataInFile(const unsigned char *bytes, uint32_t length, VFile **file) {
    *file = nullptr;
    if (bytes == nullptr || length == 0) return kNoError;
    VFile *made = nullptr;
    DErrorCode err = EnsureTempVFile(&made);
    if (err != kNoError || made == nullptr) {
        LogText("DActiveSyncDataManager::StoreWbxmlDataInFile() - failed to allocate VFile\n");
        return err != kNoError ? err : generalErrMemoryError;
    }
    bool open = false;
    made->IsOpen(&open);
    if (!open) err = made->Open(kVFileReadWrite);
    uint32_t written = 0;
    if (err == kNoError) err = made->Write(length, bytes, &written);
    if (err == kNoError && written != length) err = vfileErrOutOfStorageSpace;
    made->Close();
    if (err != kNoError) {
        delete made;
        return err;
    }
    *file = made;
    return kNoError;
}

DErrorCode DActiveSyncDataManager::EncodeTreeToFile(WBXMLTree *tree, VFile **file) {
    *file = nullptr;
    if (m_prefs != nullptr && m_prefs->GetVerboseLogging() != 0) {
        char *xml = nullptr;
        unsigned xmlLength = 0;
        if (WbxmlTreeToXml(tree, kWbxmlXmlIndent, &xml, &xmlLength) == kWbxmlOk) LogText(xml);
        WbxmlFreeBytes(reinterpret_cast<unsigned char *>(xml));
    }
    unsigned char *bytes = nullptr;
    unsigned length = 0;
    const WbxmlResult encoded = WbxmlEncodeTree(tree, &bytes, &length);
    if (encoded != kWbxmlOk) {
        LogNumber("DActiveSyncDataManager::EncodeTreeToFile() - WBXML error : ", encoded);
        return generalErrMemoryError;
    }
    DErrorCode err = StoreWbxmlDataInFile(bytes, length, file);
    WbxmlFreeBytes(bytes);
    return err;
}

DErrorCode DActiveSyncDataManager::SpoolRequest(WBXMLTree *tree, DASDS_DataResponse *record) {
    VFile *file = nullptr;
    DErrorCode err = EncodeTreeToFile(tree, &file);
    WbxmlDestroyTree(tree);
    if (err != kNoError) return err;
    record->SetBody(file);
    return record->SetContentType(kWbxmlContentType);
}

DErrorCode DActiveSyncDataManager::DeliverRequest(WBXMLTree *tree, DASDS_DataResponse *record) {
    if (record == nullptr) {
        WbxmlDestroyTree(tree);
        return generalErrMemoryError;
    }
    DErrorCode err = SpoolRequest(tree, record);
    if (err != kNoError) {
        delete record;
        return err;
    }
    DropResponse();
    m_response = record;
    return Deliver();
}

DErrorCode DActiveSyncDataManager::ParseResponse(VFile *body) {
    if (m_tree != nullptr) WbxmlDestroyTree(m_tree);
    m_tree = nullptr;
    if (body == nullptr) return vfileErrEOF;
    uint32_t size = 0;
    DErrorCode err = body->GetSize(&size);
    if (err != kNoError) return err;
    if (size == 0) return vfileErrEOF;
    WBXMLTree *tree = nullptr;
    const WbxmlResult parsed = wbxml_tree_from_wbxml_file(body, kActiveSyncLanguageId, &tree);
    if (parsed != kWbxmlOk || tree == nullptr || tree->root == nullptr) {
        if (tree != nullptr) WbxmlDestroyTree(tree);
        LogNumber("DActiveSyncDataManager::ParseResponse() - WBXML error : ", parsed);
        return parsed == kWbxmlErrNotEnoughMemory ? generalErrMemoryError : ASDataManagerErrMissingData;
    }
    m_tree = tree;
    if (m_prefs != nullptr && m_prefs->GetVerboseLogging() != 0) {
        char *xml = nullptr;
        unsigned xmlLength = 0;
        if (WbxmlTreeToXml(m_tree, kWbxmlXmlIndent, &xml, &xmlLength) == kWbxmlOk) LogText(xml);
        WbxmlFreeBytes(reinterpret_cast<unsigned char *>(xml));
    }
    return kNoError;
}

std::string DActiveSyncDataManager::TextOf(WBXMLTreeNode *element) { return dmtext::TextOf(element); }

WBXMLTreeNode *DActiveSyncDataManager::Find(WBXMLTreeNode *node, const char *name) {
    return WbxmlFindElement(node, name, true, 0);
}

bool DActiveSyncDataManager::IsNamed(WBXMLTreeNode *node, const char *name) {
    const char *own = node != nullptr ? WbxmlElementName(node) : nullptr;
    return own != nullptr && name != nullptr && std::string(own) == name;
}

WBXMLTreeNode *DActiveSyncDataManager::Child(WBXMLTreeNode *node, const char *name) {
    if (node == nullptr) return nullptr;
    for (WBXMLTreeNode *child = node->children; child != nullptr; child = child->next)
        if (IsNamed(child, name)) return child;
    return nullptr;
}

bool DActiveSyncDataManager::IsUsableServerID(const std::string &id) {
    return !id.empty() && id.size() <= 127 && id.find('\0') == std::string::npos;
}

bool DActiveSyncDataManager::ParseNumber(const std::string &text, uint32_t *value) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const unsigned long long number = std::strtoull(text.c_str(), nullptr, 10);
    if (number > 0xFFFFFFFFull) return false;
    *value = uint32_t(number);
    return true;
}

DErrorCode DActiveSyncDataManager::CheckStatus(WBXMLTreeNode *statusNode, uint32_t textId, uint32_t *status) {
    const std::string text = TextOf(statusNode);
    uint32_t number = 1;
    // A Status that is missing or empty counts as success.
    if (!text.empty() && !ParseNumber(text, &number)) number = 0;
    if (status != nullptr) *status = number;
    if (number == 1) return kNoError;
    LogResourceText(textId);
    LogLine(" ", text.c_str());
    return ASDataManagerErrBadStatus;
}
