// Messages for the user. The device has no screen, so a message is kept in
// the process's list of shown messages and written to standard error; the
// caller goes on at once as if the user had pressed OK.
#include <cstdio>
#include <mutex>
#include <string>

#include "vplatform_test.h"
#include "winuser.h"

namespace vplat {
namespace {

struct MessageList {
    std::mutex lock;
    std::vector<ShownMessage> shown;
};

MessageList &Messages() {
    static MessageList *list = new MessageList;  // outlives static destructors
    return *list;
}

std::u16string Copy(LPCWSTR text) { return text != nullptr ? std::u16string(text) : std::u16string(); }

std::string Printable(const std::u16string &text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

}  // namespace

std::vector<ShownMessage> MessagesShown(void) {
    std::lock_guard<std::mutex> hold(Messages().lock);
    return Messages().shown;
}

void MessagesShownReset(void) {
    std::lock_guard<std::mutex> hold(Messages().lock);
    Messages().shown.clear();
}

}  // namespace vplat

extern "C" int MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    using namespace vplat;
    ShownMessage message;
    message.caption = Copy(lpCaption);
    message.text = Copy(lpText);
    message.type = uType;
    std::fprintf(stderr, "[message] %s: %s\n", Printable(message.caption).c_str(), Printable(message.text).c_str());
    std::lock_guard<std::mutex> hold(Messages().lock);
    Messages().shown.push_back(message);
    return IDOK;
}
