#include "WbxmlTree.h"

#include <cstring>

const WBXMLTagEntry* ActiveSyncTagFromName(const char* xmlName)
{
    if (xmlName == nullptr)
        return nullptr;
    for (const WBXMLTagEntry* entry = ActiveSyncTagTable(); entry->xmlName != nullptr; ++entry) {
        if (std::strcmp(entry->xmlName, xmlName) == 0)
            return entry;
    }
    return nullptr;
}

DErrorCode CreateWbxmlTree(WBXMLTree** tree)
{
    if (tree == nullptr)
        return generalErrNULLPointer;
    *tree = nullptr;
    return WbxmlCreateTree(ActiveSyncLanguage(), tree) == kWbxmlOk ? kNoError : generalErrMemoryError;
}

DErrorCode CreateElementNode(WBXMLTreeNode** node, const char* xmlName)
{
    if (node == nullptr)
        return generalErrNULLPointer;
    *node = nullptr;
    const WBXMLTagEntry* entry = ActiveSyncTagFromName(xmlName);
    if (entry == nullptr)
        return generalErrMemoryError;
    *node = WbxmlCreateElementFromEntry(entry);
    return *node != nullptr ? kNoError : generalErrMemoryError;
}

DErrorCode CreateTextNode(WBXMLTreeNode** node, const char* text)
{
    if (node == nullptr)
        return generalErrNULLPointer;
    *node = nullptr;
    if (text == nullptr)
        return generalErrInvalidParameter;
    *node = WbxmlCreateText(text, static_cast<unsigned>(std::strlen(text)));
    return *node != nullptr ? kNoError : generalErrMemoryError;
}

DErrorCode CreateTextElementNode(WBXMLTreeNode** node, const char* xmlName, const char* text)
{
    if (node == nullptr)
        return generalErrNULLPointer;
    *node = nullptr;
    WBXMLTreeNode* element = nullptr;
    DErrorCode error = CreateElementNode(&element, xmlName);
    if (error != kNoError)
        return error;
    if (text != nullptr && text[0] != '\0') {
        WBXMLTreeNode* textNode = nullptr;
        error = CreateTextNode(&textNode, text);
        if (error == kNoError)
            error = AppendChildNode(element, nullptr, textNode);
        if (error != kNoError) {
            WbxmlDestroyNode(textNode);
            WbxmlDestroyNode(element);
            return error;
        }
    }
    *node = element;
    return kNoError;
}

DErrorCode AppendChildNode(WBXMLTreeNode* parent, WBXMLTreeNode* previousSibling, WBXMLTreeNode* child)
{
    if (child == nullptr)
        return kNoError;
    if (parent == nullptr || child == parent || child == previousSibling ||
        (previousSibling != nullptr && previousSibling->parent != parent))
        return generalErrInvalidParameter;

    // Without a previous sibling the child goes after the parent's last child, so that a parent which already
    // has children keeps them all in its chain and the tree encodes and frees every one.
    WBXMLTreeNode* after = previousSibling;
    if (after == nullptr && parent->children != nullptr) {
        after = parent->children;
        while (after->next != nullptr)
            after = after->next;
    }

    // The node's tree field is its own embedded document, freed with it: a child never shares its parent's.
    child->parent = parent;
    if (after == nullptr) {
        child->prev = nullptr;
        child->next = nullptr;
        parent->children = child;
    } else {
        child->prev = after;
        child->next = after->next;
        if (after->next != nullptr)
            after->next->prev = child;
        after->next = child;
    }
    return kNoError;
}

DErrorCode AppendElementNode(WBXMLTreeNode* parent, WBXMLTreeNode* previousSibling, const char* xmlName,
                             WBXMLTreeNode** node)
{
    if (node == nullptr)
        return generalErrNULLPointer;
    *node = nullptr;
    WBXMLTreeNode* element = nullptr;
    DErrorCode error = CreateElementNode(&element, xmlName);
    if (error != kNoError)
        return error;
    error = AppendChildNode(parent, previousSibling, element);
    if (error != kNoError) {
        WbxmlDestroyNode(element);
        return error;
    }
    *node = element;
    return kNoError;
}

WBXMLTreeNode* WbxmlFindElement(WBXMLTreeNode* node, const char* xmlName, bool recursion, unsigned depth)
{
    if (node == nullptr || xmlName == nullptr)
        return nullptr;
    const char* name = WbxmlElementName(node);
    if (name != nullptr && std::strcmp(name, xmlName) == 0)
        return node;
    if (!recursion && depth == 0)
        return nullptr;
    const unsigned below = depth > 0 ? depth - 1 : 0;
    for (WBXMLTreeNode* child = node->children; child != nullptr; child = child->next) {
        if (WBXMLTreeNode* found = WbxmlFindElement(child, xmlName, recursion, below))
            return found;
    }
    return nullptr;
}

const char* ElementText(const WBXMLTreeNode* element, unsigned* length)
{
    if (length != nullptr)
        *length = 0;
    if (element == nullptr)
        return nullptr;
    return WbxmlNodeText(element->children, length);
}
