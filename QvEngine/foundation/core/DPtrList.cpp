#include "DPtrList.h"

#include <new>

DErrorCode DPtrList::AddTail(void *item) {
    Node *node = new (std::nothrow) Node{item, nullptr, m_tail};
    if (node == nullptr) return generalErrMemoryError;
    if (m_tail != nullptr)
        m_tail->next = node;
    else
        m_head = node;
    m_tail = node;
    ++m_count;
    return kNoError;
}

DErrorCode DPtrList::GetAt(uint32_t index, void **out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    if (index >= m_count) return generalErrIndexOutOfRange;
    Node *node = m_head;
    uint32_t at = 0;
    if (m_lastNode != nullptr && m_lastIndex <= index) {
        node = m_lastNode;
        at = m_lastIndex;
    }
    for (; at < index; ++at) node = node->next;
    m_lastNode = node;
    m_lastIndex = index;
    *out = node->item;
    return kNoError;
}

DErrorCode DPtrList::RemoveAt(uint32_t index) {
    if (index >= m_count) return generalErrIndexOutOfRange;
    void *item;
    GetAt(index, &item);
    Node *node = m_lastNode;
    m_lastNode = nullptr;
    (node->previous != nullptr ? node->previous->next : m_head) = node->next;
    (node->next != nullptr ? node->next->previous : m_tail) = node->previous;
    delete node;
    --m_count;
    return kNoError;
}

void DPtrList::RemoveAll() {
    while (m_head != nullptr) {
        Node *next = m_head->next;
        delete m_head;
        m_head = next;
    }
    m_tail = nullptr;
    m_lastNode = nullptr;
    m_count = 0;
}
