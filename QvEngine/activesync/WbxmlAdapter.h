#pragma once

// The one place that knows libwbxml. The installed development headers carry only the library's conversion
// interface, so the tree, table, encoder and parser parts that the engine uses are declared here, laid out as the
// library (version 0.11.8, checked when the build is configured) lays them out. Nothing outside this adapter and
// its .cpp names a libwbxml function; callers use the Wbxml* operations below.

#include "WbxmlResult.h"

#include <wbxml/wbxml.h>
#include <wbxml/wbxml_conv.h>

#include <memory>

extern "C" {

// Language tables: one language entry per language, a tag table ending with an entry whose name is null.
struct WBXMLPublicIDEntry {
    WB_ULONG wbxmlPublicID;
    const WB_TINY* xmlPublicID;
    const WB_TINY* xmlRootElt;
    const WB_TINY* xmlDTD;
};

struct WBXMLTagEntry {
    const WB_TINY* xmlName;
    WB_UTINY wbxmlCodePage;
    WB_UTINY wbxmlToken;
    WB_ULONG options;
};

struct WBXMLNameSpaceEntry;
struct WBXMLAttrEntry;
struct WBXMLAttrValueEntry;
struct WBXMLExtValueEntry;

struct WBXMLLangEntry {
    WBXMLLanguage langID;
    const WBXMLPublicIDEntry* publicID;
    const WBXMLTagEntry* tagTable;
    const WBXMLNameSpaceEntry* nsTable;
    const WBXMLAttrEntry* attrTable;
    const WBXMLAttrValueEntry* attrValueTable;
    const WBXMLExtValueEntry* extValueTable;
};

// Trees.
struct WBXMLBuffer;
struct WBXMLList;
struct WBXMLAttribute;

enum WBXMLValueType { WBXML_VALUE_TOKEN = 0, WBXML_VALUE_LITERAL };

struct WBXMLTag {
    WBXMLValueType type;
    union {
        const WBXMLTagEntry* token;
        WBXMLBuffer* literal;
    } u;
};

enum WBXMLTreeNodeType {
    WBXML_TREE_ELEMENT_NODE = 0,
    WBXML_TREE_TEXT_NODE,
    WBXML_TREE_CDATA_NODE,
    WBXML_TREE_PI_NODE,
    WBXML_TREE_TREE_NODE
};

struct WBXMLTree;

struct WBXMLTreeNode {
    WBXMLTreeNodeType type;
    WBXMLTag* name;
    WBXMLList* attrs;
    WBXMLBuffer* content;
    WBXMLTree* tree;
    WBXMLTreeNode* parent;
    WBXMLTreeNode* children;
    WBXMLTreeNode* next;
    WBXMLTreeNode* prev;
};

struct WBXMLTree {
    const WBXMLLangEntry* lang;
    WBXMLTreeNode* root;
    WBXMLCharsetMIBEnum orig_charset;
    WB_UTINY cur_code_page;
};

// The parser's events; the adapter's own callbacks (WbxmlParse.cpp) build the tree from them.
struct WBXMLContentHandler {
    void (*start_document_clb)(void* ctx, WBXMLCharsetMIBEnum charset, const WBXMLLangEntry* lang);
    void (*end_document_clb)(void* ctx);
    void (*start_element_clb)(void* ctx, WBXMLTag* element, WBXMLAttribute** atts);
    void (*end_element_clb)(void* ctx, WBXMLTag* element);
    void (*characters_clb)(void* ctx, WB_UTINY* ch, WB_ULONG start, WB_ULONG length);
    void (*pi_clb)(void* ctx, const WB_UTINY* target, WB_UTINY* data);
};

struct WBXMLEncoder;
struct WBXMLParser;

// Functions the library exports.
WBXMLTree* wbxml_tree_create(WBXMLLanguage lang, WBXMLCharsetMIBEnum orig_charset);
void wbxml_tree_destroy(WBXMLTree* tree);
const WBXMLLangEntry* wbxml_tables_search_table(const WBXMLLangEntry* main_table, const WB_UTINY* public_id,
                                                const WB_UTINY* system_id, const WB_UTINY* root);
WB_BOOL wbxml_tree_add_node(WBXMLTree* tree, WBXMLTreeNode* parent, WBXMLTreeNode* node);
WBXMLTreeNode* wbxml_tree_node_create(WBXMLTreeNodeType type);
WBXMLTag* wbxml_tag_create_token(const WBXMLTagEntry* value);
WBXMLTag* wbxml_tag_create_literal(WB_UTINY* value);
WBXMLTreeNode* wbxml_tree_node_create_xml_elt(const WBXMLLangEntry* lang_table, const WB_UTINY* name);
WBXMLTreeNode* wbxml_tree_node_create_text(const WB_UTINY* text, WB_ULONG len);
void wbxml_tree_node_destroy_all(WBXMLTreeNode* node);

WBXMLBuffer* wbxml_buffer_create_real(const WB_UTINY* data, WB_ULONG len, WB_ULONG malloc_block);
void wbxml_buffer_destroy(WBXMLBuffer* buffer);
WB_UTINY* wbxml_buffer_get_cstr(WBXMLBuffer* buffer);
WB_ULONG wbxml_buffer_len(WBXMLBuffer* buffer);
void wbxml_free(void* memory);

WBXMLEncoder* wbxml_encoder_create_real(void);
void wbxml_encoder_destroy(WBXMLEncoder* encoder);
void wbxml_encoder_set_use_strtbl(WBXMLEncoder* encoder, WB_BOOL use_strtbl);
void wbxml_encoder_set_produce_anonymous(WBXMLEncoder* encoder, WB_BOOL set_anonymous);
void wbxml_encoder_set_wbxml_version(WBXMLEncoder* encoder, WBXMLVersion version);
void wbxml_encoder_set_tree(WBXMLEncoder* encoder, WBXMLTree* tree);
WBXMLError wbxml_encoder_encode_tree_to_wbxml(WBXMLEncoder* encoder, WB_UTINY** wbxml, WB_ULONG* wbxml_len);
WBXMLError wbxml_tree_to_xml(WBXMLTree* tree, WB_UTINY** xml, WB_ULONG* xml_len, WBXMLGenXMLParams* params);

WBXMLParser* wbxml_parser_create(void);
void wbxml_parser_destroy(WBXMLParser* parser);
void wbxml_parser_set_user_data(WBXMLParser* parser, void* user_data);
void wbxml_parser_set_content_handler(WBXMLParser* parser, WBXMLContentHandler* content_handler);
void wbxml_parser_set_main_table(WBXMLParser* parser, const WBXMLLangEntry* main_table);
WB_BOOL wbxml_parser_set_language(WBXMLParser* parser, WBXMLLanguage lang);
WBXMLError wbxml_parser_parse(WBXMLParser* parser, WB_UTINY* wbxml, WB_ULONG wbxml_len);
// The library's own parse into its own tree; the engine never parses with it (the benchmark measures against it).
WBXMLError wbxml_tree_from_wbxml(WB_UTINY* wbxml, WB_ULONG wbxml_len, WBXMLLanguage lang,
                                 WBXMLCharsetMIBEnum charset, WBXMLTree** tree);

}  // extern "C"

// Every operation that can fail answers in the engine's numbering (WbxmlResult.h).

// The language of that XML public identifier in the table of languages (compared as the library compares it,
// ignoring case); null when none.
const WBXMLLangEntry* WbxmlFindLanguage(const WBXMLLangEntry* mainTable, const char* xmlPublicId);

// A new empty tree bound to the given language. The tree is made with the unknown language and the table bound
// afterwards, because the library's own language list does not hold ours.
WbxmlResult WbxmlCreateTree(const WBXMLLangEntry* lang, WBXMLTree** tree);
void WbxmlDestroyTree(WBXMLTree* tree);

// A new element whose tag is the language's entry of that XML name; null for an unknown name.
WBXMLTreeNode* WbxmlCreateElement(const WBXMLLangEntry* lang, const char* xmlName);
// A new element whose tag is that entry of the language's tag table, found by the caller; null for a null entry.
WBXMLTreeNode* WbxmlCreateElementFromEntry(const WBXMLTagEntry* entry);
// A new text node holding a copy of the bytes.
WBXMLTreeNode* WbxmlCreateText(const char* text, unsigned length);
// Destroys a node and its subtree that belongs to no tree.
void WbxmlDestroyNode(WBXMLTreeNode* node);
// Appends the node as the tree's root (parent null) or as the parent's last child.
bool WbxmlAddNode(WBXMLTree* tree, WBXMLTreeNode* parent, WBXMLTreeNode* node);

// The tag's XML name: the table entry's name, or the literal name the parser gave a token the table lacks
// ("unknown"). Null for a node that is not an element.
const char* WbxmlElementName(const WBXMLTreeNode* node);
// The text of a text node (not necessarily terminated) and its length; null for other nodes.
const char* WbxmlNodeText(const WBXMLTreeNode* node, unsigned* length);

// Encodes the tree as WBXML 1.3, string table off, public id written as the anonymous number. The bytes are the
// caller's, freed with WbxmlFreeBytes.
WbxmlResult WbxmlEncodeTree(WBXMLTree* tree, unsigned char** bytes, unsigned* length);
void WbxmlFreeBytes(unsigned char* bytes);

// Parses WBXML with the given table of languages, the document read as the given language whatever public id it
// carries. On success the tree is the caller's; on failure the out tree is null. A token the table lacks becomes an
// element named "unknown"; consecutive text pieces of one element arrive as one text node. The bytes are screened
// first (WbxmlScreen.h): what this protocol never sends is refused before the library sees it. The tree is built
// by the adapter's own parser callbacks, in time linear in the answer and without the library's special cases for
// other languages, so that the tree holds only elements and text, each text exactly as the server sent it.
WbxmlResult WbxmlParseTree(const unsigned char* bytes, unsigned length, const WBXMLLangEntry* mainTable,
                           WBXMLLanguage lang, WBXMLTree** tree);
// As WbxmlParseTree, taking the bytes: they are freed as soon as the parser holds its own copy, so that a parse
// holds the answer about twice (the parser's copy and the tree) rather than three times.
WbxmlResult WbxmlParseOwnedTree(std::unique_ptr<unsigned char[]> bytes, unsigned length,
                                const WBXMLLangEntry* mainTable, WBXMLLanguage lang, WBXMLTree** tree);

// The forms of XML text a tree turns into, each after the XML declaration and the language's DOCTYPE: compact,
// indented (for the log), and canonical (no added white space, and every character that an XML reader would
// otherwise change or collapse, tab, line feed and carriage return among them, written as a reference).
enum WbxmlXmlForm { kWbxmlXmlCompact, kWbxmlXmlIndent, kWbxmlXmlCanonical };

// The tree as narrow XML text in the given form, element names as the tree's language names them. The text is
// the caller's, NUL-terminated, freed with WbxmlFreeBytes. It holds no C0 control other than tab, line feed and
// carriage return, in any form: XML cannot carry the others at all, not even as references, so each is written as
// its Unicode control picture, U+2400 plus its code (NUL becomes U+2400, 0x1B becomes U+241B), which stays
// readable and keeps a reader from stopping at a NUL.
WbxmlResult WbxmlTreeToXml(WBXMLTree* tree, WbxmlXmlForm form, char** text, unsigned* length);
