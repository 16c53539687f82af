// StringListNode: a singly linked list of strings. Nodes and their strings
// are allocated with new; the first node usually lives with its owner, so
// FreeStringList frees what hangs off it and leaves the node itself.
#ifndef QV_STRINGLIST_H
#define QV_STRINGLIST_H

#include "DErrorCode.h"
#include "VString.h"

struct StringListNode {
    VString *value;
    StringListNode *next;
};

// Appends each node's string to dest with the narrow separator (null: none)
// between consecutive entries; stops at a node without a string.
DErrorCode JoinStringList(VString *dest, const StringListNode *list, const char *separator);

// Frees every node after node and node's own string; node's links are
// cleared and the node stays with the caller.
void FreeStringList(StringListNode *node);

#endif
