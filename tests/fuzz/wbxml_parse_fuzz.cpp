// Fuzz target: any bytes through the engine's WBXML parse. Each input must end in an error or in a tree of
// elements and text whose XML holds no control the format cannot carry; a crash, a sanitizer report or a hang
// is a fault.

#include "ActiveSyncLanguage.h"
#include "WbxmlAdapter.h"
#include "WbxmlTree.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > UINT32_MAX)
        return 0;
    WBXMLTree* tree = nullptr;
    if (WbxmlParseTree(data, static_cast<unsigned>(size), ActiveSyncLanguages(), kActiveSyncLanguageId, &tree) !=
        kWbxmlOk)
        return 0;
    for (WbxmlXmlForm form : {kWbxmlXmlCanonical, kWbxmlXmlIndent}) {
        char* xml = nullptr;
        unsigned length = 0;
        if (WbxmlTreeToXml(tree, form, &xml, &length) != kWbxmlOk)
            continue;
        for (unsigned i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(xml[i]);
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                std::abort();
        }
        WbxmlFreeBytes(reinterpret_cast<unsigned char*>(xml));
    }
    // The walks the engine's readers make.
    unsigned length = 0;
    (void)ElementText(WbxmlFindElement(tree->root, "0x0D_0x00", true, 0), &length);
    unsigned char* bytes = nullptr;
    if (WbxmlEncodeTree(tree, &bytes, &length) == kWbxmlOk)
        WbxmlFreeBytes(bytes);
    WbxmlDestroyTree(tree);
    return 0;
}
