#include "WbxmlAdapter.h"

#include <climits>
#include <cstdlib>
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

namespace {

// A C0 control that XML cannot carry: all but tab, line feed and carriage return.
bool IsBareControl(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// Hands the library's XML text to the caller with every bare control written as its control picture, U+2400 plus
// its code (three UTF-8 bytes: E2 90 80+code). The library writes such bytes only inside text, never in markup,
// so the rest of the text is kept as it is. Takes the text; on failure frees it.
WbxmlResult WithControlPictures(WB_UTINY* xml, WB_ULONG xmlLength, char** text, unsigned* length)
{
    std::size_t controls = 0;
    for (WB_ULONG i = 0; i < xmlLength; ++i)
        controls += IsBareControl(xml[i]) ? 1 : 0;
    if (controls == 0) {
        *text = reinterpret_cast<char*>(xml);
        *length = xmlLength;
        return kWbxmlOk;
    }
    const std::size_t outLength = static_cast<std::size_t>(xmlLength) + 2 * controls;
    if (outLength > UINT_MAX - 1) {
        wbxml_free(xml);
        return kWbxmlErrNotEnoughMemory;
    }
    // Freed with WbxmlFreeBytes like the library's own text, so it comes from the same allocator.
    auto* out = static_cast<unsigned char*>(std::malloc(outLength + 1));
    if (out == nullptr) {
        wbxml_free(xml);
        return kWbxmlErrNotEnoughMemory;
    }
    unsigned char* at = out;
    for (WB_ULONG i = 0; i < xmlLength; ++i) {
        if (IsBareControl(xml[i])) {
            *at++ = 0xE2;
            *at++ = 0x90;
            *at++ = static_cast<unsigned char>(0x80 + xml[i]);
        } else {
            *at++ = xml[i];
        }
    }
    *at = '\0';
    wbxml_free(xml);
    *text = reinterpret_cast<char*>(out);
    *length = static_cast<unsigned>(outLength);
    return kWbxmlOk;
}

}  // namespace

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
    return WithControlPictures(out, outLength, text, length);
}
