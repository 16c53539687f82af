// Attachment fetches end to end against the provisioned store: a server
// message with attachments stored by a Sync answer, the user's download
// marks, the GetAttachment record naming the attachment, the answer's bytes
// written into the record's file (as the transfer does), and what the
// message then holds. Adversaries: a server whose attachment names are
// paths or very long, an empty answer, a fetch cancelled in flight.
#include "DASDS_GetAttachmentDataResponse.h"
#include "MailItemSupport.h"
#include "ShadowProps.h"
#include "winfile.h"

namespace {

std::string AttachmentXml(const std::string &name, const std::string &display) {
    return "<Attachment><AttName>" + XmlText(name) + "</AttName><DisplayName>" + XmlText(display) +
           "</DisplayName><AttSize>100</AttSize></Attachment>";
}

std::string WithAttachments(const std::vector<std::pair<std::string, std::string>> &attachments) {
    std::string xml = EmailElement("From", "Ann <ann@example.test>") + EmailElement("Subject", "Files") +
                      "<Attachments xmlns=\"Email:\">";
    for (const auto &a : attachments) xml += AttachmentXml(a.first, a.second);
    return xml + "</Attachments>";
}

bool FileExists(const char16_t *path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// What one GetAttachment record carried.
struct Request {
    uint32_t nothing = 0xFF;
    std::string name;
    std::u16string path;
    std::unique_ptr<VFile> file;
};

class AttachmentFetchTest : public InboxMailTest {
protected:
    void SetUp() override {
        InboxMailTest::SetUp();
        client.onRecord = [this](DClientResponse *response) {
            auto *record = dynamic_cast<DASDS_GetAttachmentDataResponse *>(response);
            if (record == nullptr) return;
            request.nothing = record->GetNothingToFetch();
            if (record->GetName() != nullptr) request.name = Utf8Of(*record->GetName());
            // The engine hands the file to the transfer, which writes the answer into it.
            request.file.reset(record->TakeFile());
            if (request.file != nullptr) {
                WCHAR path[MAX_PATH + 1] = {};
                request.file->GetFileName(path, MAX_PATH + 1, nullptr, 0);
                request.path = path;
            }
        };
    }

    // The request of one GetAttachment step (state 23 run to its end).
    DErrorCode Collect() {
        request = Request{};
        const DErrorCode err = data->CollectCommandData(kCmdGetAttachment);
        if (err == kNoError) {
            EXPECT_TRUE(Pump());
        }
        return err;
    }

    // The transfer's answer in the request's file, then handed to the data manager.
    DErrorCode Answer(const std::string &bytes) {
        if (request.file != nullptr) {
            // The transfer makes the file when it is gone (a cancelled fetch's is).
            bool exists = false;
            request.file->Exists(&exists);
            if (!exists) {
                EXPECT_EQ(request.file->Create(), kNoError);
            }
            EXPECT_EQ(request.file->Open(kVFileReadWrite), kNoError);
            uint32_t written = 0;
            if (!bytes.empty()) {
                EXPECT_EQ(request.file->Write(uint32_t(bytes.size()), bytes.data(), &written), kNoError);
            }
            request.file->Close();
        }
        TypedAnswer answer(global.get(), "", "application/octet-stream");
        const DErrorCode err = data->ProcessCommandData(kCmdGetAttachment, &answer, request.file.get(), nullptr);
        if (err == activeSyncErrWaitForCallback) {
            EXPECT_TRUE(Pump());
        }
        return err;
    }

    // The user marks these attachments of the message for download.
    void Mark(const char *id, const std::vector<ULONG> &numbers) {
        auto mail = Stored(id);
        ASSERT_NE(mail->message, nullptr);
        IMessage *raw = mail->message->GetMAPIMessage();
        ASSERT_NE(raw, nullptr);
        for (ULONG number : numbers) {
            IAttach *attach = nullptr;
            ASSERT_EQ(raw->OpenAttach(number, nullptr, MAPI_MODIFY, &attach), S_OK);
            ULONG status = 0;
            ASSERT_EQ(GetMAPIMessageULONGProprty(attach, PR_MSG_STATUS, &status), kNoError);
            ASSERT_EQ(SetMAPIMessageULONGProprty(attach, PR_MSG_STATUS, status | kAttachStatusMarked), kNoError);
            ASSERT_EQ(attach->SaveChanges(0), S_OK);
            attach->Release();
        }
        ULONG status = 0;
        GetMAPIMessageULONGProprty(raw, PR_MSG_STATUS, &status);
        ASSERT_EQ(SetMAPIMessageULONGProprty(raw, PR_MSG_STATUS, status | kMsgStatusAttachmentRequested), kNoError);
        ASSERT_EQ(raw->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        ASSERT_EQ(mail->message->GetShadowRecord()->SetAttachmentRequested(true), kNoError);
        ASSERT_EQ(mail->message->GetShadowRecord()->MarkModified(), kNoError);
        Folder("inbox")->SetFlag(kMailFlagAttachment, true);
    }

    // The stored data of the message's attachment and whether it is still marked.
    std::string Data(const char *id, ULONG number, bool *marked = nullptr) {
        auto mail = Stored(id);
        std::string data;
        IMessage *raw = mail->message != nullptr ? mail->message->GetMAPIMessage() : nullptr;
        IAttach *attach = nullptr;
        if (raw == nullptr || raw->OpenAttach(number, nullptr, 0, &attach) != S_OK) return "(none)";
        if (marked != nullptr) {
            ULONG status = 0;
            GetMAPIMessageULONGProprty(attach, PR_MSG_STATUS, &status);
            *marked = (status & kAttachStatusMarked) != 0;
        }
        LPUNKNOWN unknown = nullptr;
        if (attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, STGM_READ, 0, &unknown) == S_OK) {
            auto *stream = static_cast<IStream *>(unknown);
            char chunk[4096];
            ULONG read = 0;
            while (stream->Read(chunk, sizeof chunk, &read) == S_OK && read > 0) data.append(chunk, read);
            stream->Release();
        }
        attach->Release();
        return data;
    }

    bool Requested(const char *id) {
        auto mail = Stored(id);
        bool requested = false;
        EXPECT_EQ(mail->message->GetShadowRecord()->IsAttachmentRequested(&requested), kNoError);
        return requested;
    }

    Request request;
};

TEST_F(AttachmentFetchTest, EachWantedAttachmentIsFetchedIntoItsMessageUnderADeviceName) {
    const std::string longName(2000, 'n');
    ASSERT_TRUE(AddMail("f:1", WithAttachments({{"../../x", "..\\..\\x"},
                                                {"\\Windows\\y", "\\Windows\\y.exe"},
                                                {longName, longName + ".bin"},
                                                {"srv/keep", "keep.txt"}})));
    Mark("f:1", {0, 1, 2});
    WCHAR tempFolder[MAX_PATH + 1];
    const DWORD tempLength = GetTempPathW(MAX_PATH, tempFolder);
    ASSERT_GT(tempLength, 0u);

    // Binary answers of several store pieces, zero bytes included.
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char((i * 7 + i / 251) & 0xFF);
    const std::vector<std::string> names = {"../../x", "\\Windows\\y", longName};
    const std::vector<std::string> answers = {big, "y-bytes", std::string(1, '\0')};
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(Collect(), kNoError);
        ASSERT_EQ(request.nothing, 0u);
        // The request names the server's reference as it came ...
        EXPECT_EQ(request.name, names[i]);
        // ... and the answer goes to a file the store named in its own folder.
        ASSERT_NE(request.file, nullptr);
        EXPECT_EQ(request.path.compare(0, tempLength, tempFolder), 0);
        EXPECT_EQ(request.path.find_first_of(u"\\/", tempLength), std::u16string::npos);
        const size_t records = client.records.size();
        ASSERT_EQ(Answer(answers[i]), activeSyncErrWaitForCallback);
        ASSERT_EQ(client.records.size(), records + 1);
        EXPECT_EQ(client.records.back().type, kResponseTypeEMailGetAttachment);
        EXPECT_EQ(data->GetState(), kDMIdle);
    }
    // Nothing is left: the engine is told so and moves on from the folder.
    ASSERT_EQ(Collect(), kNoError);
    EXPECT_EQ(request.nothing, 1u);
    EXPECT_EQ(request.file, nullptr);
    EXPECT_EQ(data->FinishAttachmentWork(), kNoError);
    EXPECT_FALSE(Folder("inbox")->IsFlagSet(kMailFlagAttachment));

    for (size_t i = 0; i < answers.size(); ++i) {
        bool marked = true;
        EXPECT_EQ(Data("f:1", ULONG(i), &marked), answers[i]) << i;
        EXPECT_FALSE(marked);
    }
    bool marked = true;
    EXPECT_EQ(Data("f:1", 3, &marked), "");
    EXPECT_FALSE(marked);
    EXPECT_FALSE(Requested("f:1"));
    EXPECT_FALSE(FileExists(u"\\x"));
    EXPECT_FALSE(FileExists(u"\\Windows\\y"));
    EXPECT_FALSE(FileExists(u"\\Windows\\y.exe"));
}

TEST_F(AttachmentFetchTest, AnEmptyAnswerIsAnEmptyAttachment) {
    ASSERT_TRUE(AddMail("e:1", WithAttachments({{"srv/empty", "empty.txt"}})));
    Mark("e:1", {0});
    ASSERT_EQ(Collect(), kNoError);
    ASSERT_EQ(request.name, "srv/empty");
    ASSERT_EQ(Answer(""), activeSyncErrWaitForCallback);
    EXPECT_EQ(client.records.back().type, kResponseTypeEMailGetAttachment);
    bool marked = true;
    EXPECT_EQ(Data("e:1", 0, &marked), "");
    EXPECT_FALSE(marked);
    EXPECT_FALSE(Requested("e:1"));
    ASSERT_EQ(Collect(), kNoError);
    EXPECT_EQ(request.nothing, 1u);
}

TEST_F(AttachmentFetchTest, AFetchCancelledInFlightStaysWanted) {
    ASSERT_TRUE(AddMail("c:1", WithAttachments({{"srv/c", "c.txt"}})));
    Mark("c:1", {0});
    ASSERT_EQ(Collect(), kNoError);
    ASSERT_EQ(request.name, "srv/c");
    // The run is cancelled while the transfer is under way; its answer
    // arrives late and finds nothing in hand.
    ASSERT_EQ(data->CancelAndReset(), kNoError);
    const size_t records = client.records.size();
    EXPECT_EQ(Answer("late bytes"), generalErrNotInitialized);
    EXPECT_EQ(client.records.size(), records);
    bool marked = false;
    EXPECT_EQ(Data("c:1", 0, &marked), "");
    EXPECT_TRUE(marked);
    EXPECT_TRUE(Requested("c:1"));

    // A step given up with the attachment in hand leaves it wanted too.
    ASSERT_EQ(Collect(), kNoError);
    ASSERT_EQ(request.name, "srv/c");
    ASSERT_EQ(data->FinishAttachmentWork(), kNoError);
    EXPECT_TRUE(Requested("c:1"));

    // The next run fetches it.
    ASSERT_EQ(Collect(), kNoError);
    ASSERT_EQ(request.name, "srv/c");
    ASSERT_EQ(Answer("on time"), activeSyncErrWaitForCallback);
    EXPECT_EQ(Data("c:1", 0, &marked), "on time");
    EXPECT_FALSE(marked);
}

}  // namespace
