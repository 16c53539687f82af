#include "StringList.h"

DErrorCode JoinStringList(VString *dest, const StringListNode *list, const char *separator) {
    if (dest == nullptr) return generalErrInvalidParameter;
    bool first = true;
    for (const StringListNode *node = list; node != nullptr && node->value != nullptr; node = node->next) {
        if (!first && separator != nullptr) {
            // The separator joins narrow text in its own tag, so the join
            // does not widen it; a wide dest takes it as Windows-1252.
            VStringEncoding tag = dest->GetEncoding();
            if (!VString::IsNarrowEncoding(tag)) tag = kVStringWindows1252;
            DErrorCode err = dest->AppendNarrow(separator, tag);
            if (err != kNoError) return err;
        }
        DErrorCode err = dest->Append(*node->value);
        if (err != kNoError) return err;
        first = false;
    }
    return kNoError;
}

void FreeStringList(StringListNode *node) {
    if (node == nullptr) return;
    StringListNode *next = node->next;
    delete node->value;
    node->value = nullptr;
    node->next = nullptr;
    while (next != nullptr) {
        StringListNode *after = next->next;
        delete next->value;
        delete next;
        next = after;
    }
}
