#include "WbxmlStream.h"

#include "ActiveSyncLanguage.h"

#include <memory>
#include <new>
#include <utility>

namespace {

// Reads the stream's bytes from its start into a new buffer.
WbxmlResult ReadWholeStream(VFile* stream, std::unique_ptr<unsigned char[]>* bytes, uint32_t* length)
{
    uint32_t size = 0;
    if (stream->GetSize(&size) != kNoError || stream->SetPosition(0) != kNoError)
        return kWbxmlErrInternal;
    // One byte more than needed, so that an empty stream still has a buffer to point at.
    bytes->reset(new (std::nothrow) unsigned char[static_cast<size_t>(size) + 1]);
    if (!*bytes)
        return kWbxmlErrNotEnoughMemory;
    uint32_t read = 0;
    if (stream->Read(size, bytes->get(), &read) != kNoError || read != size)
        return kWbxmlErrInternal;
    *length = size;
    return kWbxmlOk;
}

}  // namespace

extern "C" WbxmlResult wbxml_tree_from_wbxml_file(VFile* stream, WBXMLLanguage lang, WBXMLTree** tree)
{
    if (tree == nullptr)
        return kWbxmlErrBadParameter;
    *tree = nullptr;
    if (stream == nullptr)
        return kWbxmlErrBadParameter;

    bool wasOpen = false;
    if (stream->IsOpen(&wasOpen) != kNoError)
        return kWbxmlErrInternal;
    if (!wasOpen && stream->Open(kVFileRead) != kNoError)
        return kWbxmlErrInternal;

    std::unique_ptr<unsigned char[]> bytes;
    uint32_t length = 0;
    WbxmlResult result = ReadWholeStream(stream, &bytes, &length);
    if (!wasOpen)
        stream->Close();
    if (result != kWbxmlOk)
        return result;
    // The read buffer goes as soon as the parser has its own copy.
    return WbxmlParseOwnedTree(std::move(bytes), length, ActiveSyncLanguages(), lang, tree);
}
