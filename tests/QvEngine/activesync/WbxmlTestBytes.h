#pragma once

// The WBXML bytes of a tree, for comparing with the bytes a test expects.

#include "WbxmlAdapter.h"

#include <gtest/gtest.h>

#include <vector>

inline std::vector<unsigned char> EncodeToBytes(WBXMLTree* tree)
{
    unsigned char* bytes = nullptr;
    unsigned length = 0;
    EXPECT_EQ(WbxmlEncodeTree(tree, &bytes, &length), kWbxmlOk);
    std::vector<unsigned char> out(bytes, bytes + length);
    WbxmlFreeBytes(bytes);
    return out;
}
