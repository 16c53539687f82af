#pragma once

// The data manager's operations on WBXML trees in the ActiveSync language: building trees, element and text
// nodes, linking children, and finding elements by XML name. Every operation that can fail returns an error code;
// a missing table entry fails as generalErrMemoryError, like an allocation failure. Nodes made here belong to the
// caller until linked into a tree, after which the tree frees them.

#include "ActiveSyncLanguage.h"
#include "DErrorCode.h"
#include "WbxmlAdapter.h"

// The tag entry of the ActiveSync language with that XML name: the first in table order, so a name that two
// entries share gives the lower token. Null for an unknown or null name.
const WBXMLTagEntry* ActiveSyncTagFromName(const char* xmlName);

// A new empty tree bound to the ActiveSync language.
DErrorCode CreateWbxmlTree(WBXMLTree** tree);

// A new element node whose tag is the table entry of that XML name; an unknown name fails.
DErrorCode CreateElementNode(WBXMLTreeNode** node, const char* xmlName);

// A new text node holding a copy of the text.
DErrorCode CreateTextNode(WBXMLTreeNode** node, const char* text);

// An element node, with a text node child holding the text when the text is not empty.
DErrorCode CreateTextElementNode(WBXMLTreeNode** node, const char* xmlName, const char* text);

// Links the child under the parent: after the previous sibling when one is given, else after the parent's last
// child. A null child does nothing.
DErrorCode AppendChildNode(WBXMLTreeNode* parent, WBXMLTreeNode* previousSibling, WBXMLTreeNode* child);

// Creates the element of that XML name and appends it as AppendChildNode does. On failure nothing is linked and
// the out node is null.
DErrorCode AppendElementNode(WBXMLTreeNode* parent, WBXMLTreeNode* previousSibling, const char* xmlName,
                             WBXMLTreeNode** node);

// The node itself when it is an element of that XML name, else the first match among its children, in depth-first
// document order. Children are searched when recursion is on (the whole subtree, whatever the depth) or the depth
// is above 0 (then each level below lowers it by one). The start node's following siblings are never searched.
// Null when none, or for a null node or name.
WBXMLTreeNode* WbxmlFindElement(WBXMLTreeNode* node, const char* xmlName, bool recursion, unsigned depth);

// The text of the element: its first child's, when that child is a text node (the parser gives an element's
// consecutive pieces as one text). Narrow bytes, NUL-terminated, and their length. Null when the element has no
// text, so an element built with an empty text reads as absent.
const char* ElementText(const WBXMLTreeNode* element, unsigned* length);
