#pragma once

// Parsing a WBXML tree straight from a response stream, exported by the engine library under the WBXML library's
// naming so that callers of either find it beside the library's own calls.

#include "VFile.h"
#include "WbxmlAdapter.h"

// Reads the whole stream, from its start, and parses it as WBXML in the engine's ActiveSync table of languages,
// the document read as language lang when lang is not 0 (else as its public id says, and a server's public id 1,
// WBXML's "unknown", names none). A stream that is not open
// is opened for reading and closed again afterwards; an open one keeps its mode. Results: kWbxmlOk and the tree,
// which is the caller's; kWbxmlErrBadParameter without a stream or out pointer; kWbxmlErrNotEnoughMemory when the
// bytes, the parser or the tree cannot be had; kWbxmlErrInternal when the stream cannot be opened or read; the
// parser's error otherwise. On any failure the out tree is null.
extern "C" PLATAPI WbxmlResult wbxml_tree_from_wbxml_file(VFile* stream, WBXMLLanguage lang, WBXMLTree** tree);
