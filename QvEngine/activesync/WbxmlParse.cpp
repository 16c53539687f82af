// Parsing with the library's parser into a tree that the adapter's own callbacks build.

#include "WbxmlAdapter.h"
#include "WbxmlScreen.h"

#include <string>
#include <utility>

namespace {

// Builds the tree from the parser's events. Each element goes after its parent's last child, which the builder
// keeps, so that a parse costs time linear in the answer; the text pieces of one run of content become one text
// node. Nothing is read into element names or text: no piece ever becomes markup, a CDATA section or an embedded
// document. The builder owns the tree until Take; after a failure it ignores further events and the caller
// destroys the tree.
class DWbxmlTreeBuilder {
public:
    DWbxmlTreeBuilder(WBXMLTree* tree, std::unique_ptr<unsigned char[]>* input) : m_tree(tree), m_input(input) {}

    static WBXMLContentHandler* Handler();
    WbxmlResult Result() const { return m_result; }

private:
    static void OnStartDocument(void* ctx, WBXMLCharsetMIBEnum charset, const WBXMLLangEntry* lang);
    static void OnEndDocument(void* ctx);
    static void OnStartElement(void* ctx, WBXMLTag* element, WBXMLAttribute** attributes);
    static void OnEndElement(void* ctx, WBXMLTag* element);
    static void OnCharacters(void* ctx, WB_UTINY* ch, WB_ULONG start, WB_ULONG length);
    static void OnProcessingInstruction(void* ctx, const WB_UTINY* target, WB_UTINY* data);

    void StartElement(const WBXMLTag* element);
    void EndElement();
    void Characters(const WB_UTINY* piece, WB_ULONG length);
    // Puts the run's later pieces into its text node.
    bool FlushRun();

    WBXMLTree* m_tree;
    std::unique_ptr<unsigned char[]>* m_input;
    WBXMLTreeNode* m_current = nullptr;  // the open element
    WBXMLTreeNode* m_last = nullptr;     // the open element's last child
    // The text of a run that came in more than one piece; its first piece is already m_last's text.
    std::string m_run;
    WbxmlResult m_result = kWbxmlOk;
};

WBXMLContentHandler* DWbxmlTreeBuilder::Handler()
{
    static WBXMLContentHandler handler{OnStartDocument, OnEndDocument, OnStartElement,
                                       OnEndElement,    OnCharacters,  OnProcessingInstruction};
    return &handler;
}

void DWbxmlTreeBuilder::OnStartDocument(void* ctx, WBXMLCharsetMIBEnum charset, const WBXMLLangEntry* lang)
{
    auto* self = static_cast<DWbxmlTreeBuilder*>(ctx);
    self->m_tree->lang = lang;
    self->m_tree->orig_charset = charset;
    // The parser copied the bytes before its first event and reads only its copy from here on.
    if (self->m_input != nullptr)
        self->m_input->reset();
}

void DWbxmlTreeBuilder::OnEndDocument(void* ctx)
{
    static_cast<DWbxmlTreeBuilder*>(ctx)->FlushRun();
}

void DWbxmlTreeBuilder::OnStartElement(void* ctx, WBXMLTag* element, WBXMLAttribute** /*attributes*/)
{
    static_cast<DWbxmlTreeBuilder*>(ctx)->StartElement(element);
}

void DWbxmlTreeBuilder::OnEndElement(void* ctx, WBXMLTag* /*element*/)
{
    static_cast<DWbxmlTreeBuilder*>(ctx)->EndElement();
}

void DWbxmlTreeBuilder::OnCharacters(void* ctx, WB_UTINY* ch, WB_ULONG start, WB_ULONG length)
{
    static_cast<DWbxmlTreeBuilder*>(ctx)->Characters(ch + start, length);
}

void DWbxmlTreeBuilder::OnProcessingInstruction(void*, const WB_UTINY*, WB_UTINY*)
{
    // Screened out before the parse.
}

void DWbxmlTreeBuilder::StartElement(const WBXMLTag* element)
{
    if (m_result != kWbxmlOk || !FlushRun())
        return;
    if (element == nullptr || (m_current == nullptr && m_tree->root != nullptr)) {
        m_result = kWbxmlErrInternal;
        return;
    }
    WBXMLTreeNode* node = wbxml_tree_node_create(WBXML_TREE_ELEMENT_NODE);
    if (node != nullptr) {
        // The parser frees its tag after the event; the node gets its own.
        if (element->type == WBXML_VALUE_TOKEN)
            node->name = wbxml_tag_create_token(element->u.token);
        else
            node->name = wbxml_tag_create_literal(wbxml_buffer_get_cstr(element->u.literal));
    }
    if (node == nullptr || node->name == nullptr) {
        wbxml_tree_node_destroy_all(node);
        m_result = kWbxmlErrNotEnoughMemory;
        return;
    }
    node->parent = m_current;
    if (m_current == nullptr) {
        m_tree->root = node;
    } else if (m_last == nullptr) {
        m_current->children = node;
    } else {
        node->prev = m_last;
        m_last->next = node;
    }
    m_current = node;
    m_last = nullptr;
}

void DWbxmlTreeBuilder::EndElement()
{
    if (m_result != kWbxmlOk || !FlushRun())
        return;
    if (m_current == nullptr) {
        m_result = kWbxmlErrInternal;
        return;
    }
    m_last = m_current;
    m_current = m_current->parent;
}

void DWbxmlTreeBuilder::Characters(const WB_UTINY* piece, WB_ULONG length)
{
    if (m_result != kWbxmlOk || length == 0)
        return;
    if (m_current == nullptr) {
        m_result = kWbxmlErrInternal;
        return;
    }
    if (m_last != nullptr && m_last->type == WBXML_TREE_TEXT_NODE) {
        // A later piece of the run: gathered here and put into the node once, so that many small pieces cost
        // linear time.
        if (m_run.empty()) {
            unsigned firstLength = 0;
            const char* first = WbxmlNodeText(m_last, &firstLength);
            m_run.assign(first, firstLength);
        }
        m_run.append(reinterpret_cast<const char*>(piece), length);
        return;
    }
    WBXMLTreeNode* text = wbxml_tree_node_create_text(piece, length);
    if (text == nullptr) {
        m_result = kWbxmlErrNotEnoughMemory;
        return;
    }
    text->parent = m_current;
    if (m_last == nullptr) {
        m_current->children = text;
    } else {
        text->prev = m_last;
        m_last->next = text;
    }
    m_last = text;
}

bool DWbxmlTreeBuilder::FlushRun()
{
    if (m_run.empty())
        return true;
    WBXMLBuffer* content = wbxml_buffer_create_real(reinterpret_cast<const WB_UTINY*>(m_run.data()),
                                                    static_cast<WB_ULONG>(m_run.size()),
                                                    static_cast<WB_ULONG>(m_run.size()));
    // Runs of several pieces are rare; their memory goes back at once.
    std::string().swap(m_run);
    if (content == nullptr) {
        m_result = kWbxmlErrNotEnoughMemory;
        return false;
    }
    wbxml_buffer_destroy(m_last->content);
    m_last->content = content;
    return true;
}

WbxmlResult Parse(const unsigned char* bytes, unsigned length, std::unique_ptr<unsigned char[]>* owned,
                  const WBXMLLangEntry* mainTable, WBXMLLanguage lang, WBXMLTree** tree)
{
    if (tree == nullptr)
        return kWbxmlErrBadParameter;
    *tree = nullptr;
    if (bytes == nullptr || mainTable == nullptr)
        return kWbxmlErrBadParameter;

    const WbxmlResult screened = WbxmlScreenAnswer(bytes, length);
    if (screened != kWbxmlOk)
        return screened;

    std::unique_ptr<WBXMLParser, void (*)(WBXMLParser*)> parser(wbxml_parser_create(), wbxml_parser_destroy);
    if (!parser)
        return kWbxmlErrNotEnoughMemory;
    std::unique_ptr<WBXMLTree, void (*)(WBXMLTree*)> made(wbxml_tree_create(WBXML_LANG_UNKNOWN,
                                                                            WBXML_CHARSET_UNKNOWN),
                                                          wbxml_tree_destroy);
    if (!made)
        return kWbxmlErrNotEnoughMemory;

    DWbxmlTreeBuilder builder(made.get(), owned);
    wbxml_parser_set_user_data(parser.get(), &builder);
    wbxml_parser_set_content_handler(parser.get(), DWbxmlTreeBuilder::Handler());
    wbxml_parser_set_main_table(parser.get(), mainTable);
    // Servers announce a public id the library does not map to this language; the caller's language decides.
    if (lang != WBXML_LANG_UNKNOWN)
        wbxml_parser_set_language(parser.get(), lang);

    // The parser takes a mutable pointer but only reads the input.
    const WBXMLError err = wbxml_parser_parse(parser.get(), const_cast<WB_UTINY*>(bytes), length);
    if (err != WBXML_OK)
        return WbxmlResultFromError(err);
    if (builder.Result() != kWbxmlOk)
        return builder.Result();
    *tree = made.release();
    return kWbxmlOk;
}

}  // namespace

WbxmlResult WbxmlParseTree(const unsigned char* bytes, unsigned length, const WBXMLLangEntry* mainTable,
                           WBXMLLanguage lang, WBXMLTree** tree)
{
    return Parse(bytes, length, nullptr, mainTable, lang, tree);
}

WbxmlResult WbxmlParseOwnedTree(std::unique_ptr<unsigned char[]> bytes, unsigned length,
                                const WBXMLLangEntry* mainTable, WBXMLLanguage lang, WBXMLTree** tree)
{
    const unsigned char* view = bytes.get();
    return Parse(view, length, &bytes, mainTable, lang, tree);
}
