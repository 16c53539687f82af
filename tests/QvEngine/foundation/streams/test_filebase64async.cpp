#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Base64.h"
#include "DActiveTaskManager.h"
#include "DFileBase64Async.h"
#include "DLogProviderVFile.h"
#include "FakeGlobalData.h"
#include "support/TestDevice.h"

namespace {

const WCHAR kInPath[] = u"\\Temp\\in.bin";
const WCHAR kOutPath[] = u"\\Temp\\out.txt";
const WCHAR kLogPath[] = u"\\Temp\\engine.log";

// Stands for the task that waits for the encoding: counts its runs and
// keeps the code of the last signal.
class WaitingTask : public DActiveTask {
public:
    WaitingTask() : DActiveTask(kActiveTaskDefaultPriority) {}
    DErrorCode RunTask() override {
        ++runs;
        code = m_signal.GetCode();
        return kNoError;
    }
    void CancelTask() override {}
    int runs = 0;
    DErrorCode code = 0xFFFFFFFF;
};

class FileBase64AsyncTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        VFile name;
        name.SetFileName(kLogPath);
        ASSERT_EQ(m_log.Open(name, 0, kLogNoMaxSize), kNoError);
        ASSERT_EQ(DFileBase64Async::Create(&m_raw, &m_global), kNoError);
        m_task.reset(m_raw);
        ASSERT_EQ(m_manager.AddTask(&m_waiting), kNoError);
        ASSERT_EQ(m_waiting.Activate(), kNoError);
        m_in.SetFileName(kInPath);
        m_out.SetFileName(kOutPath);
    }
    void TearDown() override {
        m_task.reset();
        m_manager.RemoveTask(&m_waiting);
        m_in.Close();
        m_out.Close();
        m_log.Close();
        DeviceTest::TearDown();
    }
    void Put(const WCHAR *path, const std::string &bytes) {
        std::ofstream(Device().Host(path), std::ios::binary) << bytes;
    }
    std::string Get(const WCHAR *path) {
        std::ifstream in(Device().Host(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Runs turns until nothing is ready; the output's size after each step
    // of the encoder.
    std::vector<size_t> RunAll() {
        std::vector<size_t> sizes;
        for (int turn = 0; turn < 100 && m_manager.PeekNextTask() != nullptr; ++turn) {
            const bool encoder = m_manager.PeekNextTask() == m_task.get();
            m_manager.RunNextTask();
            if (encoder) {
                uint32_t size = 0;
                m_out.GetSize(&size);
                sizes.push_back(size);
            }
        }
        return sizes;
    }

    DLogProviderVFile m_log;
    DActiveTaskManager m_manager{nullptr};
    FakeGlobalData m_global{&m_log, &m_manager};
    DFileBase64Async *m_raw = nullptr;
    std::unique_ptr<DFileBase64Async> m_task;
    WaitingTask m_waiting;
    VFile m_in;
    VFile m_out;
};

std::string Bytes(size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes += char((i * 31 + 7) & 0xFF);
    return bytes;
}

std::string Encoded(const std::string &bytes) {
    uint32_t n = 0;
    std::unique_ptr<char[]> text(
        Base64Encode(reinterpret_cast<const BYTE *>(bytes.data()), uint32_t(bytes.size()), &n));
    return std::string(text.get(), n);
}

TEST_F(FileBase64AsyncTest, EncodesChunkByChunkAppendingToTheOutput) {
    const struct {
        size_t inputSize;
        std::vector<size_t> stepSizes;  // the text after each step
        size_t padding;                 // "=" at the end of the text
    } cases[] = {
        {2500, {1600, 3200, 3336}, 2},  // one more than a multiple of 3
        {2400, {1600, 3200}, 0},        // ends when the position reaches the size
        {0, {0}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.inputSize);
        const std::string input = Bytes(c.inputSize);
        Put(kInPath, input);
        Put(kOutPath, "HEAD");
        m_waiting.runs = 0;
        m_waiting.Activate();

        ASSERT_EQ(m_task->Start(&m_in, &m_out, m_waiting.GetSignal()), kNoError);
        std::vector<size_t> sizes = RunAll();
        for (size_t &size : sizes) size -= 4;  // the text before it stays
        EXPECT_EQ(sizes, c.stepSizes);
        EXPECT_EQ(m_waiting.runs, 1);
        EXPECT_EQ(m_waiting.code, kNoError);
        EXPECT_EQ(m_task->GetStage(), DFileBase64Async::kStageIdle);

        m_in.Close();
        m_out.Close();
        const std::string text = Get(kOutPath);
        EXPECT_EQ(text, "HEAD" + Encoded(input));
        EXPECT_EQ(text.size() - 1 - text.find_last_not_of('='), c.padding);
    }
}

TEST_F(FileBase64AsyncTest, OpenInputIsRewound) {
    Put(kInPath, "abcdef");
    Put(kOutPath, "");
    ASSERT_EQ(m_in.Open(kVFileRead), kNoError);
    ASSERT_EQ(m_in.SetPosition(4), kNoError);
    ASSERT_EQ(m_task->Start(&m_in, &m_out, m_waiting.GetSignal()), kNoError);
    RunAll();
    m_out.Close();
    EXPECT_EQ(Get(kOutPath), "YWJjZGVm");
}

TEST_F(FileBase64AsyncTest, FailuresAreLoggedAndSignalled) {
    // A missing output is refused at the start.
    Put(kInPath, "abc");
    EXPECT_EQ(m_task->Start(&m_in, &m_out, m_waiting.GetSignal()), vfileErrFileNotFound);
    EXPECT_EQ(m_task->GetStage(), DFileBase64Async::kStageIdle);
    EXPECT_EQ(m_manager.PeekNextTask(), nullptr);

    // An output open for reading only fails the first step.
    Put(kOutPath, "");
    m_in.Close();
    ASSERT_EQ(m_out.Open(kVFileRead), kNoError);
    ASSERT_EQ(m_task->Start(&m_in, &m_out, m_waiting.GetSignal()), kNoError);
    const DErrorCode step = m_manager.RunNextTask();
    EXPECT_NE(step, kNoError);
    RunAll();
    EXPECT_EQ(m_waiting.runs, 1);
    EXPECT_EQ(m_waiting.code, step);
    EXPECT_EQ(m_task->GetStage(), DFileBase64Async::kStageIdle);

    VString log;
    uint32_t length = 0;
    ASSERT_EQ(m_log.GetTextLength(&length), kNoError);
    ASSERT_EQ(m_log.ReadText(0, length, &log), kNoError);
    char hex[16];
    snprintf(hex, sizeof hex, "0x%x", step);
    EXPECT_EQ(std::string(log.GetNarrowText()), std::string("DFileBase64Async::RunTask() - failed with ERROR: ") + hex +
                                                    "\r\nDFileBase64Async::RunTask() - failed at STAGE: 0x1\r\n");
}

TEST_F(FileBase64AsyncTest, CancelForgetsTheRun) {
    Put(kInPath, "abc");
    Put(kOutPath, "");
    ASSERT_EQ(m_task->Start(&m_in, &m_out, m_waiting.GetSignal()), kNoError);
    ASSERT_EQ(m_task->Deactivate(), kNoError);
    EXPECT_EQ(m_task->GetStage(), DFileBase64Async::kStageIdle);
    RunAll();
    EXPECT_EQ(m_waiting.runs, 0);
    m_out.Close();
    EXPECT_EQ(Get(kOutPath), "");
}

// A mail part wants lines of 76: the breaks fall across the chunks' joins
// (1600 characters per chunk) and never after the last character. The
// runs follow each other on one encoder: each starts a line of its own
// (the run of 2280 bytes ends on a full line).
TEST_F(FileBase64AsyncTest, WrapsLinesAcrossChunks) {
    for (size_t inputSize : {size_t(2500), size_t(2280), size_t(30)}) {
        SCOPED_TRACE(inputSize);
        const std::string input = Bytes(inputSize);
        Put(kInPath, input);
        Put(kOutPath, "HEAD");
        m_waiting.Activate();
        m_task->SetLineLength(76);
        ASSERT_EQ(m_task->Start(&m_in, &m_out, m_waiting.GetSignal()), kNoError);
        RunAll();
        EXPECT_EQ(m_waiting.code, kNoError);
        m_in.Close();
        m_out.Close();

        const std::string flat = Encoded(input);
        std::string expected = "HEAD";
        for (size_t at = 0; at < flat.size(); at += 76) expected += (at != 0 ? "\r\n" : "") + flat.substr(at, 76);
        EXPECT_EQ(Get(kOutPath), expected);
    }
    // 0 writes one line again.
    Put(kInPath, "abcdef");
    Put(kOutPath, "");
    m_task->SetLineLength(0);
    ASSERT_EQ(m_task->Start(&m_in, &m_out, m_waiting.GetSignal()), kNoError);
    RunAll();
    m_out.Close();
    EXPECT_EQ(Get(kOutPath), "YWJjZGVm");
}

}  // namespace
