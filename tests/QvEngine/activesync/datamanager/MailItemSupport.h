// Server mail in the provisioned store's Inbox for the e-mail mapping and
// attachment fetch tests: the Inbox bound as FolderSync leaves it and made
// the current mail folder, Sync answers that add or fetch messages, and a
// reader of what the store then holds (through a manager of its own, as
// another part of the device would see it).
#ifndef VTEST_MAILITEMSUPPORT_H
#define VTEST_MAILITEMSUPPORT_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessage.h"
#include "DWinMobOutlookMessageCollection.h"
#include "DataManagerFixture.h"
#include "MAPIPropertyHelpers.h"
#include "PimStoreFakes.h"
#include "mapi.h"

// Text as XML character data.
inline std::string XmlText(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

// One Email-page element with its text.
inline std::string EmailElement(const std::string &name, const std::string &text) {
    return "<" + name + " xmlns=\"Email:\">" + XmlText(text) + "</" + name + ">";
}

// A Sync answer for the Inbox carrying the commands.
inline std::string InboxSync(const std::string &key, const std::string &commands) {
    return "<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Email</Class><SyncKey>" + key +
           "</SyncKey><CollectionId>inbox</CollectionId><Status>1</Status><Commands>" + commands +
           "</Commands></Collection></Collections></Sync>";
}

inline std::string MailCommand(const char *command, const std::string &id, const std::string &applicationData) {
    return std::string("<") + command + "><ServerId>" + id + "</ServerId><ApplicationData>" + applicationData +
           "</ApplicationData></" + command + ">";
}

inline std::string Utf8Of(const VString &text) {
    VString copy;
    copy.Assign(text);
    copy.ConvertTo(kVStringUTF8);
    return copy.GetNarrowText() != nullptr ? std::string(copy.GetNarrowText(), copy.GetLength()) : std::string();
}

// The list's texts joined with "|".
inline std::string JoinedList(StringListNode *list) {
    std::string out;
    for (StringListNode *node = list; node != nullptr; node = node->next) {
        if (node->value == nullptr) continue;
        if (!out.empty()) out += "|";
        out += Utf8Of(*node->value);
    }
    return out;
}

// One message of the Inbox as the store holds it (message null when the
// store has none of that server id).
class StoredMail {
public:
    StoredMail(IGlobalData *global, const char *serverID) {
        DWinMobMessageManager *made = nullptr;
        if (AllocateMessageManager(&made, global, &m_client) != kNoError) return;
        m_manager.reset(made);
        DWinMobOutlookMessageCollection *inbox = nullptr;
        IOutlookItem *item = nullptr;
        if (m_manager->Open(nullptr) == kNoError && m_manager->GetMailFolderCollection("inbox", &inbox) == kNoError &&
            inbox->GetItemByID(serverID, &item) == kNoError) {
            m_item.reset(item);
            message = dynamic_cast<DWinMobOutlookMessage *>(item);
        }
    }

    std::string Recipients(bool to) {
        StringListNode list = {nullptr, nullptr};
        if ((to ? message->GetTo(&list) : message->GetCc(&list)) != kNoError) return "(failed)";
        std::string joined = JoinedList(&list);
        FreeStringList(&list);
        return joined;
    }
    std::string Text(DErrorCode (IOutlookMessage::*get)(VString *)) {
        VString text;
        return (message->*get)(&text) == kNoError ? Utf8Of(text) : "(failed)";
    }
    bool Flag(DErrorCode (IOutlookMessage::*get)(bool *)) {
        bool flag = false;
        EXPECT_EQ((message->*get)(&flag), kNoError);
        return flag;
    }
    // A time property of the stored message as "YYYY-MM-DD HH:MM:SS" (UTC); "" when unset.
    std::string Time(ULONG tag) {
        SizedSPropTagArray(1, columns) = {1, {tag}};
        ULONG count = 0;
        LPSPropValue values = nullptr;
        std::string out;
        IMessage *raw = message->GetMAPIMessage();
        if (raw != nullptr && raw->GetProps(reinterpret_cast<LPSPropTagArray>(&columns), 0, &count, &values) == S_OK &&
            count == 1 && values[0].ulPropTag == tag) {
            SYSTEMTIME t = {};
            FileTimeToSystemTime(&values[0].Value.ft, &t);
            char text[64];
            snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                     t.wMinute, t.wSecond);
            out = text;
        }
        MAPIFreeBuffer(values);
        return out;
    }
    // The named property as text ("" when unset).
    std::string Named(const WCHAR *name) {
        ULONG tag = 0;
        std::u16string text;
        if (message->GetCustomMAPIPropertyID(name, &tag) != kNoError ||
            GetMAPIMessageStringProprty(message->GetMAPIMessage(), tag, &text) != kNoError)
            return "";
        VString value;
        value.AssignWide(text.c_str(), uint32_t(text.size()), kVStringUTF16LE);
        return Utf8Of(value);
    }

    DWinMobOutlookMessage *message = nullptr;

private:
    SilentManagerClient m_client;
    std::unique_ptr<DWinMobMessageManager> m_manager;
    std::unique_ptr<IOutlookItem> m_item;
};

// The data manager over a device whose bound Inbox is the current mail folder.
class InboxMailTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        AddFolder(kFolderTypeInbox, "inbox", "K1", kFolderFlagSync);
        SilentManagerClient binderClient;
        DWinMobMessageManager *binder = nullptr;
        ASSERT_EQ(AllocateMessageManager(&binder, global.get(), &binderClient), kNoError);
        ASSERT_EQ(binder->Open(nullptr), kNoError);
        ASSERT_EQ(binder->AddMailFolder("inbox", nullptr), kNoError);
        delete binder;
        ASSERT_EQ(global->folders.NextSyncFolder(false), kNoError);
    }

    // Feeds one Sync answer of those commands (each with the next key).
    DErrorCode Sync(const std::string &commands) {
        return Answer(kCmdEMailSync, InboxSync("K" + std::to_string(++m_key), commands));
    }
    // A server Add of the message with that ApplicationData; true when applied.
    bool AddMail(const std::string &id, const std::string &applicationData) {
        return Sync(MailCommand("Add", id, applicationData)) == activeSyncErrWaitForCallback;
    }
    std::unique_ptr<StoredMail> Stored(const char *serverID) {
        return std::make_unique<StoredMail>(global.get(), serverID);
    }

private:
    int m_key = 1;
};

#endif
