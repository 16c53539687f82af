// The message store shared by processes of one device: concurrent writers
// and first uses, and a writer killed in the middle of a write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "device.h"
#include "mapitestutil.h"

using namespace mapitest;

namespace {

// Plain calls only, for the child processes: no test machinery there.
HRESULT OpenStorePlain(IMAPISession *session, const std::u16string &name, IMsgStore **store) {
    *store = nullptr;
    IMAPITable *table = nullptr;
    HRESULT hr = session->GetMsgStoresTable(0, &table);
    if (FAILED(hr)) return hr;
    hr = MAPI_E_NOT_FOUND;
    LPSRowSet rows = nullptr;
    while (*store == nullptr && table->QueryRows(1, 0, &rows) == S_OK && rows->cRows == 1) {
        const SPropValue *props = rows->aRow[0].lpProps;
        if (props[0].ulPropTag == PR_DISPLAY_NAME_W && name == props[0].Value.lpszW) {
            hr = session->OpenMsgStore(0, props[1].Value.bin.cb, reinterpret_cast<LPENTRYID>(props[1].Value.bin.lpb),
                                       nullptr, 0, store);
        }
        FreeProws(rows);
        rows = nullptr;
    }
    FreeProws(rows);
    table->Release();
    return hr;
}

HRESULT OpenFolderPlain(IMsgStore *store, ULONG tag, IMAPIFolder **folder) {
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue value = nullptr;
    HRESULT hr = store->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &value);
    if (hr != S_OK) return FAILED(hr) ? hr : MAPI_E_NOT_FOUND;
    ULONG type = 0;
    LPUNKNOWN unk = nullptr;
    hr = store->OpenEntry(value->Value.bin.cb, reinterpret_cast<LPENTRYID>(value->Value.bin.lpb), nullptr,
                          MAPI_MODIFY, &type, &unk);
    MAPIFreeBuffer(value);
    *folder = static_cast<IMAPIFolder *>(static_cast<IMAPIProp *>(unk));
    return hr;
}

HRESULT ResolvePlain(IMAPIProp *object, std::vector<ULONG> *tags) {
    GUID set = PS_MAPI;
    std::vector<std::u16string> names;
    for (int i = 0; i < 20; ++i) names.push_back(u"X-Race-" + std::u16string(1, char16_t(u'a' + i)));
    std::vector<MAPINAMEID> ids(names.size());
    std::vector<LPMAPINAMEID> pointers;
    for (size_t i = 0; i < names.size(); ++i) {
        ids[i].lpguid = &set;
        ids[i].ulKind = MNID_STRING;
        ids[i].Kind.lpwstrName = const_cast<WCHAR *>(names[i].c_str());
        pointers.push_back(&ids[i]);
    }
    LPSPropTagArray out = nullptr;
    HRESULT hr = object->GetIDsFromNames(static_cast<ULONG>(names.size()), pointers.data(), MAPI_CREATE, &out);
    if (out != nullptr) tags->assign(out->aulPropTag, out->aulPropTag + out->cValues);
    MAPIFreeBuffer(out);
    return hr;
}

// One process's share of the race: a store provisioned, names resolved
// and count messages added to its Inbox.
HRESULT RaceSide(char16_t side, int count, std::vector<ULONG> *tags) {
    HRESULT hr = vplat::MailAccountProvision(u"Race");
    IMAPISession *session = nullptr;
    if (SUCCEEDED(hr)) hr = MAPILogonEx(0, nullptr, nullptr, 0, &session);
    IMsgStore *store = nullptr;
    if (SUCCEEDED(hr)) hr = OpenStorePlain(session, u"Race", &store);
    if (SUCCEEDED(hr)) hr = ResolvePlain(store, tags);
    IMAPIFolder *inbox = nullptr;
    if (SUCCEEDED(hr)) hr = OpenFolderPlain(store, PR_CE_IPM_INBOX_ENTRYID, &inbox);
    for (int i = 0; i < count && SUCCEEDED(hr); ++i) {
        IMessage *message = nullptr;
        hr = inbox->CreateMessage(nullptr, 0, &message);
        if (FAILED(hr)) break;
        std::u16string subject = std::u16string(1, side) + u"-" + vplat::Utf8ToUtf16(std::to_string(i));
        SPropValue prop = Text(PR_SUBJECT_W, subject.c_str());
        hr = static_cast<IMAPIProp *>(message)->SetProps(1, &prop, nullptr);
        if (SUCCEEDED(hr)) hr = message->SaveChanges(0);
        message->Release();
    }
    if (inbox != nullptr) inbox->Release();
    if (store != nullptr) store->Release();
    if (session != nullptr) session->Release();
    return hr;
}

pid_t Fork(const std::function<int()> &body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int Wait(pid_t pid) {
    int status = -1;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class MapiProcessTest : public MapiTest {};

// Two processes provision one account, name the same properties and add
// 200 messages each, all at once: one store, one set of ids, 400 messages.
TEST_F(MapiProcessTest, ConcurrentWritersLoseNothing) {
    const int kEach = 200;
    int go[2], back[2];
    ASSERT_EQ(0, pipe(go));
    ASSERT_EQ(0, pipe(back));
    pid_t child = Fork([&] {
        char start;
        if (read(go[0], &start, 1) != 1) return 2;
        std::vector<ULONG> tags;
        if (FAILED(RaceSide(u'c', kEach, &tags))) return 1;
        ssize_t size = static_cast<ssize_t>(tags.size() * sizeof(ULONG));
        return write(back[1], tags.data(), static_cast<size_t>(size)) == size ? 0 : 3;
    });
    ASSERT_GT(child, 0);
    ASSERT_EQ(1, write(go[1], "g", 1));
    std::vector<ULONG> mine;
    EXPECT_EQ(S_OK, RaceSide(u'p', kEach, &mine));
    ASSERT_EQ(0, Wait(child));
    std::vector<ULONG> theirs(mine.size());
    ssize_t size = static_cast<ssize_t>(theirs.size() * sizeof(ULONG));
    ASSERT_EQ(size, read(back[0], theirs.data(), static_cast<size_t>(size)));
    for (int fd : {go[0], go[1], back[0], back[1]}) close(fd);
    EXPECT_EQ(mine, theirs);
    std::set<ULONG> distinct(mine.begin(), mine.end());
    EXPECT_EQ(mine.size(), distinct.size());

    IMAPITable *table = nullptr;
    ASSERT_EQ(S_OK, m_session->GetMsgStoresTable(0, &table));
    ULONG stores = 0;
    EXPECT_EQ(S_OK, table->GetRowCount(0, &stores));
    EXPECT_EQ(2u, stores);  // "Vantrel" and one "Race"
    table->Release();
    IMsgStore *race = OpenStore(u"Race");
    ASSERT_NE(nullptr, race);
    IMAPIFolder *inbox = nullptr;
    ASSERT_EQ(S_OK, OpenFolderPlain(race, PR_CE_IPM_INBOX_ENTRYID, &inbox));
    IMAPITable *contents = nullptr;
    ASSERT_EQ(S_OK, inbox->GetContentsTable(0, &contents));
    std::set<std::u16string> subjects;
    for (const auto &row : TableRows(contents, {PR_SUBJECT_W})) {
        if (row[0].ulPropTag == PR_SUBJECT_W) subjects.insert(row[0].Value.lpszW);
    }
    contents->Release();
    EXPECT_EQ(2u * kEach, subjects.size());
    EXPECT_EQ(2 * kEach, Get(P(inbox), PR_CONTENT_COUNT).Long());
    inbox->Release();
    race->Release();
}

// A writer killed while it commits large bodies leaves a store that opens,
// reads and writes, with every object whole: a body all there or absent,
// a saved message with all it was saved with.
TEST_F(MapiProcessTest, KillDuringWritesLeavesWholeObjects) {
    const size_t kBody = 1024 * 1024;
    int progress[2];
    ASSERT_EQ(0, pipe(progress));
    pid_t child = Fork([&] {
        IMAPISession *session = nullptr;
        IMsgStore *store = nullptr;
        IMAPIFolder *drafts = nullptr;
        if (FAILED(MAPILogonEx(0, nullptr, nullptr, 0, &session)) || FAILED(OpenStorePlain(session, u"Vantrel", &store)) ||
            FAILED(OpenFolderPlain(store, PR_CE_IPM_DRAFTS_ENTRYID, &drafts)))
            return 1;
        std::vector<BYTE> body(kBody);
        for (size_t i = 0; i < kBody; ++i) body[i] = static_cast<BYTE>(i % 251);
        for (;;) {
            IMessage *message = nullptr;
            if (FAILED(drafts->CreateMessage(nullptr, 0, &message))) return 1;
            std::vector<SPropValue> to = {Long(PR_RECIPIENT_TYPE, MAPI_TO), Text(PR_EMAIL_ADDRESS_W, u"a@b.c")};
            std::vector<SPropValue> cc = {Long(PR_RECIPIENT_TYPE, MAPI_CC), Text(PR_EMAIL_ADDRESS_W, u"d@e.f")};
            struct {
                ULONG cEntries;
                ADRENTRY aEntries[2];
            } list = {2, {{0, 2, to.data()}, {0, 2, cc.data()}}};
            SPropValue subject = Text(PR_SUBJECT_W, u"whole");
            static_cast<IMAPIProp *>(message)->SetProps(1, &subject, nullptr);
            message->ModifyRecipients(0, reinterpret_cast<LPADRLIST>(&list));
            if (FAILED(message->SaveChanges(KEEP_OPEN_READWRITE))) return 1;
            LPUNKNOWN unk = nullptr;
            if (FAILED(static_cast<IMAPIProp *>(message)->OpenProperty(
                    PR_BODY_W, &IID_IStream, STGM_READWRITE | STGM_CREATE, MAPI_CREATE | MAPI_MODIFY, &unk)))
                return 1;
            auto *stream = static_cast<IStream *>(unk);
            stream->Write(body.data(), static_cast<ULONG>(body.size()), nullptr);
            if (write(progress[1], "c", 1) != 1) return 1;  // the commit starts now
            stream->Commit(STGC_DEFAULT);
            stream->Release();
            message->Release();
        }
    });
    ASSERT_GT(child, 0);
    char note;
    for (int commits = 0; commits < 4;) {
        ASSERT_EQ(1, read(progress[0], &note, 1));
        ++commits;
    }
    kill(child, SIGKILL);
    EXPECT_EQ(128 + SIGKILL, Wait(child));
    close(progress[0]);
    close(progress[1]);

    IMAPIFolder *drafts = Special(PR_CE_IPM_DRAFTS_ENTRYID);
    std::vector<EntryId> ids = Contents(drafts);
    ASSERT_GE(ids.size(), 4u);
    size_t withBody = 0;
    for (const EntryId &id : ids) {
        IMessage *message = OpenMessage(id);
        IMAPITable *table = nullptr;
        ASSERT_EQ(S_OK, message->GetRecipientTable(0, &table));
        ULONG recipients = 0;
        table->GetRowCount(0, &recipients);
        table->Release();
        bool saved = Get(P(message), PR_SUBJECT_W).found;
        EXPECT_EQ(saved ? 2u : 0u, recipients);
        LPUNKNOWN unk = nullptr;
        HRESULT hr = P(message)->OpenProperty(PR_BODY_W, &IID_IStream, STGM_READ, 0, &unk);
        if (hr == S_OK) {
            auto *stream = static_cast<IStream *>(unk);
            std::vector<BYTE> back(kBody + 1);
            ULONG read = 0;
            ASSERT_EQ(S_OK, stream->Read(back.data(), static_cast<ULONG>(back.size()), &read));
            ASSERT_EQ(kBody, read);
            size_t bad = 0;
            for (size_t i = 0; i < kBody; ++i) bad += back[i] != static_cast<BYTE>(i % 251) ? 1 : 0;
            EXPECT_EQ(0u, bad);
            stream->Release();
            ++withBody;
        } else {
            EXPECT_EQ(MAPI_E_NOT_FOUND, hr);
        }
        message->Release();
    }
    EXPECT_GE(withBody, 3u);
    // The store takes writes again.
    IMessage *after = nullptr;
    ASSERT_EQ(S_OK, drafts->CreateMessage(nullptr, 0, &after));
    EXPECT_EQ(S_OK, Set(P(after), {Text(PR_SUBJECT_W, u"after")}));
    EXPECT_EQ(S_OK, after->SaveChanges(0));
    after->Release();
    drafts->Release();
}

// A new message exists only once saved: one a stopped process made and never
// saved is gone at the next opening of the store, while one a living
// process is still making stays, and saved ones stay whatever happens.
TEST_F(MapiProcessTest, ANewMessageNeverSavedGoesWithTheProcessThatMadeIt) {
    int made[2];
    ASSERT_EQ(0, pipe(made));
    pid_t child = Fork([&] {
        IMAPISession *session = nullptr;
        IMsgStore *store = nullptr;
        IMAPIFolder *inbox = nullptr;
        IMessage *saved = nullptr, *half = nullptr;
        if (FAILED(MAPILogonEx(0, nullptr, nullptr, 0, &session)) || FAILED(OpenStorePlain(session, u"Vantrel", &store)) ||
            FAILED(OpenFolderPlain(store, PR_CE_IPM_INBOX_ENTRYID, &inbox)) ||
            FAILED(inbox->CreateMessage(nullptr, 0, &saved)) || FAILED(Set(P(saved), {Text(PR_SUBJECT_W, u"saved")})) ||
            FAILED(saved->SaveChanges(0)) || FAILED(inbox->CreateMessage(nullptr, 0, &half)) ||
            FAILED(Set(P(half), {Text(PR_SUBJECT_W, u"half")})))
            return 1;
        if (write(made[1], "m", 1) != 1) return 1;
        for (;;) pause();
    });
    ASSERT_GT(child, 0);
    char note;
    ASSERT_EQ(1, read(made[0], &note, 1));
    close(made[0]);
    close(made[1]);
    auto inboxCount = [this] {
        IMsgStore *store = OpenStore(u"Vantrel");
        EXPECT_NE(nullptr, store);
        if (store != nullptr) store->Release();
        IMAPIFolder *inbox = Special(PR_CE_IPM_INBOX_ENTRYID);
        const size_t count = Contents(inbox).size();
        inbox->Release();
        return count;
    };
    EXPECT_EQ(2u, inboxCount());
    kill(child, SIGKILL);
    EXPECT_EQ(128 + SIGKILL, Wait(child));
    EXPECT_EQ(1u, inboxCount());
}

}  // namespace
