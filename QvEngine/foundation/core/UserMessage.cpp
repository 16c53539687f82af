#include "UserMessage.h"

int ShowUserMessage(LPCWSTR title, LPCWSTR text, DErrorCode detail) {
    (void)title;
    (void)text;
    (void)detail;
    return -1;
}
