#include "WbxmlAdapter.h"

#include <memory>

const WBXMLLangEntry* WbxmlFindLanguage(const WBXMLLangEntry* mainTable, const char* xmlPublicId)
{
    if (mainTable == nullptr || xmlPublicId == nullptr)
        return nullptr;
    return wbxml_tables_search_table(mainTable, reinterpret_cast<const WB_UTINY*>(xmlPublicId), nullptr, nullptr);
}

WbxmlResult WbxmlCreateTree(const WBXMLLangEntry* lang, WBXMLTree** tree)
{
    if (tree == nullptr)
        return kWbxmlErrBadParameter;
    *tree = nullptr;
    if (lang == nullptr)
        return kWbxmlErrBadParameter;
    WBXMLTree* made = wbxml_tree_create(WBXML_LANG_UNKNOWN, WBXML_CHARSET_UTF_8);
    if (made == nullptr)
        return kWbxmlErrNotEnoughMemory;
    made->lang = lang;
    *tree = made;
    return kWbxmlOk;
}

void WbxmlDestroyTree(WBXMLTree* tree)
{
    if (tree != nullptr)
        wbxml_tree_destroy(tree);
}

WBXMLTreeNode* WbxmlCreateElement(const WBXMLLangEntry* lang, const char* xmlName)
{
    if (lang == nullptr || xmlName == nullptr)
        return nullptr;
    WBXMLTreeNode* node = wbxml_tree_node_create_xml_elt(lang, reinterpret_cast<const WB_UTINY*>(xmlName));
    // The library makes a literal tag for a name its table lacks; the engine's language knows no literals.
    if (node != nullptr && (node->name == nullptr || node->name->type != WBXML_VALUE_TOKEN)) {
        wbxml_tree_node_destroy_all(node);
        return nullptr;
    }
    return node;
}

WBXMLTreeNode* WbxmlCreateElementFromEntry(const WBXMLTagEntry* entry)
{
    if (entry == nullptr)
        return nullptr;
    WBXMLTreeNode* node = wbxml_tree_node_create(WBXML_TREE_ELEMENT_NODE);
    if (node == nullptr)
        return nullptr;
    node->name = wbxml_tag_create_token(entry);
    if (node->name == nullptr) {
        wbxml_tree_node_destroy_all(node);
        return nullptr;
    }
    return node;
}

WBXMLTreeNode* WbxmlCreateText(const char* text, unsigned length)
{
    if (text == nullptr)
        return nullptr;
    return wbxml_tree_node_create_text(reinterpret_cast<const WB_UTINY*>(text), length);
}

void WbxmlDestroyNode(WBXMLTreeNode* node)
{
    if (node != nullptr)
        wbxml_tree_node_destroy_all(node);
}

bool WbxmlAddNode(WBXMLTree* tree, WBXMLTreeNode* parent, WBXMLTreeNode* node)
{
    if (tree == nullptr || node == nullptr)
        return false;
    return wbxml_tree_add_node(tree, parent, node) != 0;
}

const char* WbxmlElementName(const WBXMLTreeNode* node)
{
    if (node == nullptr || node->type != WBXML_TREE_ELEMENT_NODE || node->name == nullptr)
        return nullptr;
    if (node->name->type == WBXML_VALUE_LITERAL)
        return node->name->u.literal != nullptr
                   ? reinterpret_cast<const char*>(wbxml_buffer_get_cstr(node->name->u.literal))
                   : nullptr;
    return node->name->u.token != nullptr ? node->name->u.token->xmlName : nullptr;
}

const char* WbxmlNodeText(const WBXMLTreeNode* node, unsigned* length)
{
    if (length != nullptr)
        *length = 0;
    if (node == nullptr || node->type != WBXML_TREE_TEXT_NODE || node->content == nullptr)
        return nullptr;
    if (length != nullptr)
        *length = wbxml_buffer_len(node->content);
    return reinterpret_cast<const char*>(wbxml_buffer_get_cstr(node->content));
}

WbxmlResult WbxmlEncodeTree(WBXMLTree* tree, unsigned char** bytes, unsigned* length)
{
    if (bytes == nullptr || length == nullptr)
        return kWbxmlErrBadParameter;
    *bytes = nullptr;
    *length = 0;
    if (tree == nullptr)
        return kWbxmlErrBadParameter;

    std::unique_ptr<WBXMLEncoder, void (*)(WBXMLEncoder*)> encoder(wbxml_encoder_create_real(),
                                                                   wbxml_encoder_destroy);
    if (!encoder)
        return kWbxmlErrNotEnoughMemory;
    wbxml_encoder_set_use_strtbl(encoder.get(), 0);
    // Without this the library writes the textual public id into a string table, even with the table off.
    wbxml_encoder_set_produce_anonymous(encoder.get(), 1);
    wbxml_encoder_set_wbxml_version(encoder.get(), WBXML_VERSION_13);
    wbxml_encoder_set_tree(encoder.get(), tree);

    WB_UTINY* out = nullptr;
    WB_ULONG outLength = 0;
    WBXMLError err = wbxml_encoder_encode_tree_to_wbxml(encoder.get(), &out, &outLength);
    if (err != WBXML_OK) {
        wbxml_free(out);
        return WbxmlResultFromError(err);
    }
    *bytes = out;
    *length = outLength;
    return kWbxmlOk;
}

void WbxmlFreeBytes(unsigned char* bytes)
{
    wbxml_free(bytes);
}

WbxmlResult WbxmlParseTree(const unsigned char* bytes, unsigned length, const WBXMLLangEntry* mainTable,
                           WBXMLLanguage lang, WBXMLTree** tree)
{
    if (tree == nullptr)
        return kWbxmlErrBadParameter;
    *tree = nullptr;
    if (bytes == nullptr || mainTable == nullptr)
        return kWbxmlErrBadParameter;

    std::unique_ptr<WBXMLParser, void (*)(WBXMLParser*)> parser(wbxml_parser_create(), wbxml_parser_destroy);
    if (!parser)
        return kWbxmlErrNotEnoughMemory;

    WBXMLTreeClbCtx ctx{};
    ctx.tree = wbxml_tree_create(WBXML_LANG_UNKNOWN, WBXML_CHARSET_UNKNOWN);
    if (ctx.tree == nullptr)
        return kWbxmlErrNotEnoughMemory;
    ctx.error = WBXML_OK;

    WBXMLContentHandler handler{wbxml_tree_clb_wbxml_start_document, wbxml_tree_clb_wbxml_end_document,
                                wbxml_tree_clb_wbxml_start_element,  wbxml_tree_clb_wbxml_end_element,
                                wbxml_tree_clb_wbxml_characters,     wbxml_tree_clb_wbxml_pi};
    wbxml_parser_set_user_data(parser.get(), &ctx);
    wbxml_parser_set_content_handler(parser.get(), &handler);
    wbxml_parser_set_main_table(parser.get(), mainTable);
    // Servers announce a public id the library does not map to this language; the caller's language decides.
    if (lang != WBXML_LANG_UNKNOWN)
        wbxml_parser_set_language(parser.get(), lang);

    // The parser takes a mutable pointer but only reads the input.
    WBXMLError err = wbxml_parser_parse(parser.get(), const_cast<WB_UTINY*>(bytes), length);
    if (err == WBXML_OK)
        err = ctx.error;
    if (err != WBXML_OK) {
        wbxml_tree_destroy(ctx.tree);
        return WbxmlResultFromError(err);
    }
    *tree = ctx.tree;
    return kWbxmlOk;
}

WbxmlResult WbxmlTreeToXml(WBXMLTree* tree, WbxmlXmlForm form, char** text, unsigned* length)
{
    if (text == nullptr || length == nullptr)
        return kWbxmlErrBadParameter;
    *text = nullptr;
    *length = 0;
    if (tree == nullptr)
        return kWbxmlErrBadParameter;

    WBXMLGenXMLParams params{};
    params.gen_type = form == kWbxmlXmlCanonical ? WBXML_GEN_XML_CANONICAL
                      : form == kWbxmlXmlIndent  ? WBXML_GEN_XML_INDENT
                                                 : WBXML_GEN_XML_COMPACT;
    params.lang = WBXML_LANG_UNKNOWN;
    params.charset = WBXML_CHARSET_UTF_8;
    params.indent = form == kWbxmlXmlIndent ? 1 : 0;
    params.keep_ignorable_ws = 1;

    WB_UTINY* out = nullptr;
    WB_ULONG outLength = 0;
    WBXMLError err = wbxml_tree_to_xml(tree, &out, &outLength, &params);
    if (err != WBXML_OK) {
        wbxml_free(out);
        return WbxmlResultFromError(err);
    }
    *text = reinterpret_cast<char*>(out);
    *length = outLength;
    return kWbxmlOk;
}
