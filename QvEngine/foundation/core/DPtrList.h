// DPtrList: a doubly linked list of item pointers, used for the fields of a
// record, the records a database keeps in memory and its index entries.
//
// Contract:
// - Items are not owned: removing a node never deletes its item.
// - GetAt remembers the node it reached, and the next GetAt walks forward
//   from there when it can, so an ascending sweep costs one step per item.
//   Every removal forgets the remembered node.
// - Failures are error codes: generalErrMemoryError when a node cannot be
//   made, generalErrIndexOutOfRange beyond the count,
//   generalErrInvalidParameter for a missing out pointer.
#ifndef QV_DPTRLIST_H
#define QV_DPTRLIST_H

#include <cstdint>

#include "DErrorCode.h"

class DPtrList {
public:
    DPtrList() = default;
    ~DPtrList() { RemoveAll(); }
    DPtrList(const DPtrList &) = delete;
    DPtrList &operator=(const DPtrList &) = delete;

    DErrorCode AddTail(void *item);
    DErrorCode GetAt(uint32_t index, void **out);
    // Typed form of GetAt for lists that hold one kind of item.
    template <class T>
    DErrorCode GetAt(uint32_t index, T **out) {
        if (out == nullptr) return generalErrInvalidParameter;
        void *item = nullptr;
        DErrorCode err = GetAt(index, &item);
        *out = static_cast<T *>(item);
        return err;
    }
    DErrorCode RemoveAt(uint32_t index);
    void RemoveAll();
    uint32_t GetCount() const { return m_count; }

private:
    struct Node {
        void *item;
        Node *next;
        Node *previous;
    };

    Node *m_head = nullptr;
    uint32_t m_count = 0;
    Node *m_tail = nullptr;
    Node *m_lastNode = nullptr;  // the node GetAt reached last, or null
    uint32_t m_lastIndex = 0;
};

#endif
