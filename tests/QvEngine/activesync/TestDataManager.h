// A data manager for the engine's tests: it records each call as a line of
// text and answers with what the test set. Probes and chains signal at once
// with `chainResult`; CollectCommandData answers `collectResult` and, when
// the test gave `onCollect`, runs it inside the call (to deliver a body
// record the way the real one may).
#ifndef VTEST_TESTDATAMANAGER_H
#define VTEST_TESTDATAMANAGER_H

#include <functional>
#include <string>
#include <vector>

#include "IActiveSyncDataManager.h"

class TestDataManager : public IActiveSyncDataManager {
public:
    std::vector<std::string> calls;
    DErrorCode collectResult = kNoError;
    DErrorCode chainResult = kNoError;
    BYTE answer = 0;
    std::function<void(uint32_t step)> onCollect;

    DErrorCode PrepareForSync(DActiveTaskSignal *signal) override { return Chain("PrepareForSync", signal); }
    DErrorCode CollectCommandData(uint32_t step) override {
        calls.push_back("CollectCommandData " + std::to_string(step));
        if (onCollect) onCollect(step);
        return collectResult;
    }
    DErrorCode ProcessCommandData(uint32_t step, DHTTPTransaction *, VFile *, DClientResponse **record) override {
        calls.push_back("ProcessCommandData " + std::to_string(step));
        if (record != nullptr) *record = nullptr;
        return kNoError;
    }
    DErrorCode ProbeCalendarChanges(DActiveTaskSignal *signal, BYTE *changes) override {
        return Probe("ProbeCalendarChanges", signal, changes);
    }
    DErrorCode ProbeContactsChanges(DActiveTaskSignal *signal, BYTE *changes) override {
        return Probe("ProbeContactsChanges", signal, changes);
    }
    DErrorCode ProbeTasksChanges(DActiveTaskSignal *signal, BYTE *changes) override {
        return Probe("ProbeTasksChanges", signal, changes);
    }
    DErrorCode ProbeEMailChanges(DActiveTaskSignal *signal) override { return Chain("ProbeEMailChanges", signal); }
    DErrorCode ProbeAttachmentDownloads(DActiveTaskSignal *signal) override {
        return Chain("ProbeAttachmentDownloads", signal);
    }
    DErrorCode ProbeMeetingResponses(DActiveTaskSignal *signal) override {
        return Chain("ProbeMeetingResponses", signal);
    }
    DErrorCode ProbeMovedMail(DActiveTaskSignal *signal, BYTE *moved) override {
        return Probe("ProbeMovedMail", signal, moved);
    }
    DErrorCode EndOfRunCleanup(DActiveTaskSignal *signal) override { return Chain("EndOfRunCleanup", signal); }
    DErrorCode PrepareSendOnly(DActiveTaskSignal *signal) override { return Chain("PrepareSendOnly", signal); }
    DErrorCode CheckPendingItems(BYTE *pending) override { return Answer("CheckPendingItems", pending); }
    DErrorCode NeedsFirstSync(BYTE *needed) override { return Answer("NeedsFirstSync", needed); }
    DErrorCode StartRemoteWipe(uint32_t step, DActiveTaskSignal *signal) override {
        return Chain("StartRemoteWipe " + std::to_string(step), signal);
    }
    DErrorCode LoadLanguageTable() override { return Note("LoadLanguageTable"); }
    DErrorCode SetSearchParameters(const VString &store, const VString &query, uint32_t first,
                                   uint32_t last) override {
        return Note(std::string("SetSearchParameters ") + Text(store) + " " + Text(query) + " " +
                    std::to_string(first) + " " + std::to_string(last));
    }
    DErrorCode SetWipeOrdered(BYTE ordered) override { return Note("SetWipeOrdered " + std::to_string(ordered)); }
    DErrorCode HasMovedMailToSend(BYTE *canSend) override { return Answer("HasMovedMailToSend", canSend); }
    DErrorCode FinishAttachmentWork() override { return Note("FinishAttachmentWork"); }
    DErrorCode FinishMeetingResponses() override { return Note("FinishMeetingResponses"); }
    DErrorCode FinishMovedMail() override { return Note("FinishMovedMail"); }
    DErrorCode CancelAndReset() override { return Note("CancelAndReset"); }

private:
    static std::string Text(const VString &s) { return s.GetNarrowText() != nullptr ? s.GetNarrowText() : ""; }
    DErrorCode Note(const std::string &call) {
        calls.push_back(call);
        return kNoError;
    }
    DErrorCode Chain(const std::string &call, DActiveTaskSignal *signal) {
        calls.push_back(call);
        if (signal != nullptr) signal->Signal(chainResult);
        return kNoError;
    }
    DErrorCode Probe(const std::string &call, DActiveTaskSignal *signal, BYTE *out) {
        if (out != nullptr) *out = answer;
        return Chain(call, signal);
    }
    DErrorCode Answer(const std::string &call, BYTE *out) {
        if (out != nullptr) *out = answer;
        return Note(call);
    }
};

#endif
