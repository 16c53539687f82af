// The message store's advise sinks in the writing process: called during
// the write (before the writing call returns, with no message loop), with
// what changed; filtered to one object; never after Unadvise.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "mapinotifyutil.h"
#include "msgtestutil.h"

namespace {

bool HasTag(const SeenEvent &e, ULONG tag) { return std::find(e.tags.begin(), e.tags.end(), tag) != e.tags.end(); }

TEST_F(MapiNotifyTest, SinkIsCalledDuringEachWriteWithWhatChanged) {
    RecordingSink sink;
    ULONG connection = 0;
    ASSERT_EQ(S_OK, Advise({}, kObjectEvents, &sink, &connection));
    EXPECT_NE(0u, connection);
    EXPECT_EQ(2u, sink.refs);  // held while advised

    // Created: the first event names the new message in its folder.
    Bytes message = MakeMessage(inbox);
    ASSERT_FALSE(message.empty());
    std::vector<SeenEvent> events = sink.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(fnevObjectCreated, events[0].type);
    EXPECT_EQ(ULONG(MAPI_MESSAGE), events[0].objType);
    EXPECT_EQ(message, events[0].entry);
    EXPECT_EQ(inbox, events[0].parent);

    // Modified: the tags written.
    sink.calls.clear();
    ASSERT_EQ(S_OK, SetFlags(message, MSGFLAG_READ));
    events = sink.Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(fnevObjectModified, events[0].type);
    EXPECT_EQ(message, events[0].entry);
    EXPECT_EQ(inbox, events[0].parent);
    EXPECT_TRUE(HasTag(events[0], PR_MESSAGE_FLAGS));

    // Moved: the same id, the new and the old folder.
    sink.calls.clear();
    ASSERT_EQ(S_OK, Move(message, inbox, outbox));
    events = sink.Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(fnevObjectMoved, events[0].type);
    EXPECT_EQ(ULONG(MAPI_MESSAGE), events[0].objType);
    EXPECT_EQ(message, events[0].entry);
    EXPECT_EQ(message, events[0].oldID);
    EXPECT_EQ(outbox, events[0].parent);
    EXPECT_EQ(inbox, events[0].oldParent);

    // Deleted: the message and the folder it left.
    sink.calls.clear();
    ASSERT_EQ(S_OK, Delete(message, outbox));
    events = sink.Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(fnevObjectDeleted, events[0].type);
    EXPECT_EQ(message, events[0].entry);
    EXPECT_EQ(outbox, events[0].parent);

    // Nothing waited in the queue: every call came during its write.
    sink.calls.clear();
    Pump();
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_EQ(S_OK, store->Unadvise(connection));
    EXPECT_EQ(1u, sink.refs);
}

// An advise on a folder sees what enters, leaves or changes in it; one on a
// message sees that message only; the event mask holds too.
TEST_F(MapiNotifyTest, FilteredAdviseSeesOnlyItsObject) {
    RecordingSink onInbox, onMessage, movesOnly;
    Bytes kept = MakeMessage(inbox, u"Kept");
    ULONG c1 = 0, c2 = 0, c3 = 0;
    ASSERT_EQ(S_OK, Advise(inbox, kObjectEvents, &onInbox, &c1));
    ASSERT_EQ(S_OK, Advise(kept, kObjectEvents, &onMessage, &c2));
    ASSERT_EQ(S_OK, Advise({}, fnevObjectMoved, &movesOnly, &c3));

    Bytes draft = MakeMessage(drafts, u"Elsewhere");
    ASSERT_FALSE(draft.empty());
    EXPECT_TRUE(onInbox.calls.empty());
    EXPECT_TRUE(onMessage.calls.empty());

    ASSERT_EQ(S_OK, Move(kept, inbox, outbox));  // leaves the Inbox
    ASSERT_EQ(S_OK, SetFlags(kept, MSGFLAG_READ));  // changes outside it
    ASSERT_EQ(S_OK, SetFlags(draft, MSGFLAG_READ));  // another message
    ASSERT_EQ(S_OK, Move(kept, outbox, inbox));  // comes back

    std::vector<SeenEvent> folder = onInbox.Events();
    ASSERT_EQ(2u, folder.size());
    EXPECT_EQ(fnevObjectMoved, folder[0].type);
    EXPECT_EQ(inbox, folder[0].oldParent);
    EXPECT_EQ(fnevObjectMoved, folder[1].type);
    EXPECT_EQ(inbox, folder[1].parent);

    std::vector<SeenEvent> own = onMessage.Events();
    ASSERT_EQ(3u, own.size());
    EXPECT_EQ(fnevObjectModified, own[1].type);
    for (const SeenEvent &e : own) EXPECT_EQ(kept, e.entry);

    std::vector<SeenEvent> moves = movesOnly.Events();
    EXPECT_EQ(2u, moves.size());
    for (const SeenEvent &e : moves) EXPECT_EQ(fnevObjectMoved, e.type);

    for (ULONG c : {c1, c2, c3}) EXPECT_EQ(S_OK, store->Unadvise(c));
}

// Unadvise stops the calls at once, even for the rest of a write that is
// being delivered; an unknown connection is refused; the sink's reference
// is given back.
TEST_F(MapiNotifyTest, UnadviseStopsCalls) {
    RecordingSink first, second;
    ULONG c1 = 0, c2 = 0;
    ASSERT_EQ(S_OK, Advise({}, kObjectEvents, &first, &c1));
    ASSERT_EQ(S_OK, Advise({}, kObjectEvents, &second, &c2));
    IMsgStore *s = store;
    first.onNotify = [&] {
        if (c2 != 0) {
            EXPECT_EQ(S_OK, s->Unadvise(c2));
        }
        c2 = 0;
    };
    Bytes message = MakeMessage(inbox);
    ASSERT_FALSE(message.empty());
    EXPECT_FALSE(first.calls.empty());
    EXPECT_TRUE(second.calls.empty());
    EXPECT_EQ(1u, second.refs);

    EXPECT_EQ(S_OK, store->Unadvise(c1));
    EXPECT_EQ(1u, first.refs);
    first.calls.clear();
    ASSERT_EQ(S_OK, SetFlags(message, MSGFLAG_READ));
    Pump();
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(MAPI_E_NOT_FOUND, store->Unadvise(c1));
    EXPECT_EQ(MAPI_E_INVALID_PARAMETER, Advise({}, kObjectEvents, nullptr, &c1));
}

// A sink advised on another thread of the process is called on that
// thread, by its message loop, in write order.
TEST_F(MapiNotifyTest, SinkOfAnotherThreadIsCalledByItsLoop) {
    RecordingSink sink;
    std::atomic<int> stage{0};
    std::atomic<DWORD> calledOn{0};
    ULONG connection = 0;
    IMsgStore *s = store;
    std::thread watcher([&] {
        sink.onNotify = [&] { calledOn = GetCurrentThreadId(); };
        if (s->Advise(0, nullptr, kObjectEvents, &sink, &connection) != S_OK) {
            stage = -1;
            return;
        }
        stage = 1;
        while (stage == 1) Sleep(1);  // the writes are made meanwhile
        const DWORD until = GetTickCount() + 5000;
        while (sink.Events().size() < 3 && GetTickCount() < until) {
            if (Pump() == 0) Sleep(2);
        }
        s->Unadvise(connection);
        stage = 3;
    });
    while (stage == 0) Sleep(1);
    ASSERT_EQ(1, stage.load());
    Bytes message = MakeMessage(inbox);
    ASSERT_EQ(S_OK, SetFlags(message, MSGFLAG_READ));
    ASSERT_EQ(S_OK, Move(message, inbox, drafts));
    EXPECT_TRUE(sink.calls.empty());  // not on the writer's thread
    stage = 2;
    watcher.join();
    std::vector<SeenEvent> events = sink.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(fnevObjectCreated, events.front().type);
    EXPECT_EQ(fnevObjectModified, events[events.size() - 2].type);
    EXPECT_EQ(fnevObjectMoved, events.back().type);
    EXPECT_NE(0u, calledOn.load());
    EXPECT_NE(GetCurrentThreadId(), calledOn.load());
    EXPECT_EQ(1u, sink.refs);
}

}  // namespace
