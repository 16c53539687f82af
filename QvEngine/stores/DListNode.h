// DListNode: a singly linked list of owned items, as the stores hand out
// lists of messages and attachments and the data manager keeps its work
// lists. The caller supplies the first node (usually a member); further
// nodes are appended with new. Free deletes every node after the given one
// and every item (the given node's too) through its destructor, and leaves
// the given node empty.
#ifndef QV_DLISTNODE_H
#define QV_DLISTNODE_H

#include <cstdint>
#include <new>

#include "DErrorCode.h"

template <class T>
struct DListNode {
    T *item = nullptr;
    DListNode *next = nullptr;

    DListNode() = default;
    DListNode(const DListNode &) = delete;
    DListNode &operator=(const DListNode &) = delete;

    // Into this node when it is empty, else into a new node at the end;
    // generalErrMemoryError when no node can be made.
    DErrorCode Append(T *value) {
        if (item == nullptr && next == nullptr) {
            item = value;
            return kNoError;
        }
        DListNode *last = this;
        while (last->next != nullptr) last = last->next;
        DListNode *node = new (std::nothrow) DListNode;
        if (node == nullptr) return generalErrMemoryError;
        node->item = value;
        last->next = node;
        return kNoError;
    }

    uint32_t Count() const {
        uint32_t count = 0;
        for (const DListNode *node = this; node != nullptr; node = node->next)
            if (node->item != nullptr) ++count;
        return count;
    }

    // Deletes the first item; the following node's item takes its place.
    void DropFirst() {
        delete item;
        item = nullptr;
        DListNode *following = next;
        if (following == nullptr) return;
        item = following->item;
        next = following->next;
        following->item = nullptr;
        following->next = nullptr;
        delete following;
    }
    void Free() {
        DListNode *node = next;
        while (node != nullptr) {
            DListNode *following = node->next;
            delete node->item;
            delete node;
            node = following;
        }
        delete item;
        item = nullptr;
        next = nullptr;
    }
};

#endif
