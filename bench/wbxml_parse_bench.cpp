// How fast, and in how much memory, the engine turns a large Sync answer into its WBXML tree and finds each Add's
// ServerId, set beside the WBXML library's own parse of the same bytes into its own tree and the same walk over it.
// The answers (1,000 and 10,000 e-mail Adds, about 5 and 50 MB) are built once with the engine's tree calls and
// encoded by the engine's encoder, as a server would send them. After the runs, one line per size gives both mean
// times, their ratio, and the peak memory each parse took beyond the answer itself (counted by this program's own
// malloc, which forwards to the C library's), so that growth from 1,000 to 10,000 shows.

#include "ActiveSyncLanguage.h"
#include "WbxmlAdapter.h"
#include "WbxmlTree.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

// Every allocation of the process goes through these, the WBXML library's included: live bytes and their peak.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* ptr, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* ptr);
}

namespace {

std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};

void* Counted(void* ptr)
{
    if (ptr != nullptr) {
        const long long live = g_live += static_cast<long long>(malloc_usable_size(ptr));
        long long peak = g_peak.load();
        while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
        }
    }
    return ptr;
}

void Uncount(void* ptr)
{
    if (ptr != nullptr)
        g_live -= static_cast<long long>(malloc_usable_size(ptr));
}

}  // namespace

extern "C" {
void* malloc(size_t size) { return Counted(__libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return Counted(__libc_calloc(count, size)); }
void free(void* ptr)
{
    Uncount(ptr);
    __libc_free(ptr);
}
void* realloc(void* ptr, size_t size)
{
    Uncount(ptr);
    return Counted(__libc_realloc(ptr, size));
}
void* memalign(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }
int posix_memalign(void** out, size_t alignment, size_t size)
{
    *out = Counted(__libc_memalign(alignment, size));
    return *out != nullptr ? 0 : ENOMEM;
}
}

namespace {

constexpr int kSmallCount = 1000;
constexpr int kLargeCount = 10000;
constexpr std::size_t kBodyBytes = 4500;

// AirSync (page 0) and Email (page 2) tags.
constexpr const char* kSync = "0x05_0x00";
constexpr const char* kAdd = "0x07_0x00";
constexpr const char* kSyncKey = "0x0B_0x00";
constexpr const char* kServerId = "0x0D_0x00";
constexpr const char* kStatus = "0x0E_0x00";
constexpr const char* kCollection = "0x0F_0x00";
constexpr const char* kClass = "0x10_0x00";
constexpr const char* kCollectionId = "0x12_0x00";
constexpr const char* kMoreAvailable = "0x14_0x00";
constexpr const char* kCommands = "0x16_0x00";
constexpr const char* kCollections = "0x1C_0x00";
constexpr const char* kApplicationData = "0x1D_0x00";
constexpr const char* kBody = "0x0C_0x02";
constexpr const char* kDateReceived = "0x0F_0x02";
constexpr const char* kDisplayName = "0x10_0x02";
constexpr const char* kImportance = "0x12_0x02";
constexpr const char* kMessageClass = "0x13_0x02";
constexpr const char* kSubject = "0x14_0x02";
constexpr const char* kRead = "0x15_0x02";
constexpr const char* kTo = "0x16_0x02";
constexpr const char* kFrom = "0x18_0x02";

// Plain-text mail of about kBodyBytes, different for every message: sentences of words drawn from a fixed list,
// broken into lines and paragraphs as a mail reader would show them.
std::string MailBody(std::mt19937& random)
{
    static const char* const kWords[] = {
        "meeting", "quarterly", "budget",   "review", "the",     "and",       "of",       "please",  "attached",
        "report",  "schedule",  "Thursday", "team",   "project", "deadline",  "customer", "invoice", "shipment",
        "update",  "regarding", "we",       "will",   "need",    "to",        "confirm",  "before",  "Friday",
        "numbers", "sales",     "forecast", "draft",  "office",  "handheld",  "server",   "sync",    "folder",
        "thanks",  "for",       "your",     "help",   "on",      "yesterday", "call",     "notes",   "agenda",
        "room",    "booked",    "travel",   "hotel",  "flight",  "expenses",  "approved", "pending", "contract"};
    std::uniform_int_distribution<std::size_t> word(0, sizeof kWords / sizeof kWords[0] - 1);
    std::uniform_int_distribution<int> sentenceLength(5, 18);
    std::uniform_int_distribution<int> paragraphLength(2, 6);

    std::string body;
    body.reserve(kBodyBytes + 200);
    std::size_t lineStart = 0;
    int sentencesLeft = paragraphLength(random);
    while (body.size() < kBodyBytes) {
        const int words = sentenceLength(random);
        for (int i = 0; i < words; ++i) {
            std::string w = kWords[word(random)];
            if (i == 0)
                w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
            if (body.size() - lineStart > 72) {
                body += "\r\n";
                lineStart = body.size();
            } else if (i > 0 || (!body.empty() && body.back() != '\n')) {
                body += ' ';
            }
            body += w;
        }
        body += '.';
        if (--sentencesLeft == 0) {
            body += "\r\n\r\n";
            lineStart = body.size();
            sentencesLeft = paragraphLength(random);
        }
    }
    return body;
}

bool AppendText(WBXMLTreeNode* parent, WBXMLTreeNode** previous, const char* name, const std::string& text)
{
    WBXMLTreeNode* node = nullptr;
    if (CreateTextElementNode(&node, name, text.c_str()) != kNoError)
        return false;
    if (AppendChildNode(parent, *previous, node) != kNoError) {
        WbxmlDestroyNode(node);
        return false;
    }
    *previous = node;
    return true;
}

bool AppendElement(WBXMLTreeNode* parent, WBXMLTreeNode** previous, const char* name, WBXMLTreeNode** node)
{
    if (AppendElementNode(parent, *previous, name, node) != kNoError)
        return false;
    *previous = *node;
    return true;
}

bool AppendMail(WBXMLTreeNode* commands, WBXMLTreeNode** previousAdd, int index, std::mt19937& random)
{
    static const char* const kPeople[] = {"Ann Baker",   "Carl Dunn",  "Eve Foster", "Gil Hart",
                                          "Ida Jensen",  "Kai Lund",   "Mia Novak",  "Olaf Price",
                                          "Quinn Reyes", "Sara Tanner"};
    std::uniform_int_distribution<std::size_t> person(0, sizeof kPeople / sizeof kPeople[0] - 1);
    std::uniform_int_distribution<int> importance(0, 2);
    std::uniform_int_distribution<int> read(0, 1);

    WBXMLTreeNode* add = nullptr;
    if (!AppendElement(commands, previousAdd, kAdd, &add))
        return false;
    WBXMLTreeNode* previous = nullptr;
    WBXMLTreeNode* data = nullptr;
    if (!AppendText(add, &previous, kServerId, "5:" + std::to_string(index + 1)) ||
        !AppendElement(add, &previous, kApplicationData, &data))
        return false;

    const std::string from = kPeople[person(random)];
    const std::string to = kPeople[person(random)];
    auto address = [](const std::string& name) {
        std::string local;
        for (char c : name)
            local += c == ' ' ? '.' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return "\"" + name + "\" <" + local + "@example.com>";
    };
    char date[32];
    std::snprintf(date, sizeof date, "2006-%02d-%02dT%02d:%02d:%02d.000Z", 1 + index % 12, 1 + index % 28,
                  index % 24, index % 60, (index * 7) % 60);

    WBXMLTreeNode* field = nullptr;
    return AppendText(data, &field, kTo, address(to)) && AppendText(data, &field, kFrom, address(from)) &&
           AppendText(data, &field, kSubject, "Re: item " + std::to_string(index + 1) + " of the weekly review") &&
           AppendText(data, &field, kDateReceived, date) && AppendText(data, &field, kDisplayName, to) &&
           AppendText(data, &field, kImportance, std::to_string(importance(random))) &&
           AppendText(data, &field, kRead, std::to_string(read(random))) &&
           AppendText(data, &field, kMessageClass, "IPM.Note") &&
           AppendText(data, &field, kBody, MailBody(random));
}

// The Sync answer: Sync > Collections > Collection (Class, SyncKey, CollectionId, Status, Commands of that many
// Adds, MoreAvailable). Empty when any step fails.
std::vector<unsigned char> BuildSyncAnswer(int addCount)
{
    WBXMLTree* tree = nullptr;
    WBXMLTreeNode* sync = nullptr;
    if (CreateWbxmlTree(&tree) != kNoError)
        return {};
    std::vector<unsigned char> out;
    bool built = CreateElementNode(&sync, kSync) == kNoError && WbxmlAddNode(tree, nullptr, sync);
    if (!built)
        WbxmlDestroyNode(sync);

    WBXMLTreeNode* previous = nullptr;
    WBXMLTreeNode* collections = nullptr;
    WBXMLTreeNode* collection = nullptr;
    WBXMLTreeNode* commands = nullptr;
    built = built && AppendElement(sync, &previous, kCollections, &collections);
    previous = nullptr;
    built = built && AppendElement(collections, &previous, kCollection, &collection);
    previous = nullptr;
    built = built && AppendText(collection, &previous, kClass, "Email") &&
            AppendText(collection, &previous, kSyncKey, "{6A1B2C3D-0000-4000-8000-00000000002A}2") &&
            AppendText(collection, &previous, kCollectionId, "5") &&
            AppendText(collection, &previous, kStatus, "1") &&
            AppendElement(collection, &previous, kCommands, &commands);
    WBXMLTreeNode* more = nullptr;
    built = built && AppendElement(collection, &previous, kMoreAvailable, &more);

    std::mt19937 random(20060415);
    WBXMLTreeNode* previousAdd = nullptr;
    for (int i = 0; built && i < addCount; ++i)
        built = AppendMail(commands, &previousAdd, i, random);

    unsigned char* bytes = nullptr;
    unsigned length = 0;
    if (built && WbxmlEncodeTree(tree, &bytes, &length) == kWbxmlOk)
        out.assign(bytes, bytes + length);
    WbxmlFreeBytes(bytes);
    WbxmlDestroyTree(tree);
    return out;
}

const std::vector<unsigned char>& SyncAnswer(int addCount)
{
    static const std::vector<unsigned char> small = BuildSyncAnswer(kSmallCount);
    static const std::vector<unsigned char> large = BuildSyncAnswer(kLargeCount);
    return addCount == kSmallCount ? small : large;
}

// The Adds under the tree's Commands whose ServerId is found, by the names the tree's language gives the two.
int ServerIdCount(WBXMLTree* tree, const char* commandsName, const char* serverIdName)
{
    int found = 0;
    WBXMLTreeNode* commands = WbxmlFindElement(tree->root, commandsName, true, 0);
    for (WBXMLTreeNode* add = commands != nullptr ? commands->children : nullptr; add != nullptr; add = add->next) {
        WBXMLTreeNode* serverId = WbxmlFindElement(add, serverIdName, false, 1);
        benchmark::DoNotOptimize(serverId);
        if (serverId != nullptr)
            ++found;
    }
    return found;
}

// The engine's parse and walk; -1 when the parse fails.
int EngineParseAndWalk(const std::vector<unsigned char>& answer)
{
    WBXMLTree* tree = nullptr;
    if (WbxmlParseTree(answer.data(), static_cast<unsigned>(answer.size()), ActiveSyncLanguages(),
                       kActiveSyncLanguageId, &tree) != kWbxmlOk)
        return -1;
    const int found = ServerIdCount(tree, kCommands, kServerId);
    WbxmlDestroyTree(tree);
    return found;
}

// The library's own parse into its own tree, in its own ActiveSync language, and the same walk; -1 on failure.
int LibraryParseAndWalk(const std::vector<unsigned char>& answer)
{
    WBXMLTree* tree = nullptr;
    // The library takes the bytes through a mutable pointer but only reads them.
    if (wbxml_tree_from_wbxml(const_cast<WB_UTINY*>(answer.data()), static_cast<WB_ULONG>(answer.size()),
                              WBXML_LANG_ACTIVESYNC, WBXML_CHARSET_UNKNOWN, &tree) != WBXML_OK)
        return -1;
    const int found = ServerIdCount(tree, "Commands", "ServerId");
    wbxml_tree_destroy(tree);
    return found;
}

void Run(benchmark::State& state, int (*parseAndWalk)(const std::vector<unsigned char>&))
{
    const int addCount = static_cast<int>(state.range(0));
    const std::vector<unsigned char>& answer = SyncAnswer(addCount);
    if (answer.empty()) {
        state.SkipWithError("the Sync answer could not be built");
        return;
    }
    for (auto _ : state) {
        const int found = parseAndWalk(answer);
        if (found != addCount) {
            state.SkipWithError(("found " + std::to_string(found) + " ServerIds").c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(answer.size()));
}

void EngineParseAndWalkBench(benchmark::State& state) { Run(state, EngineParseAndWalk); }
void LibraryParseAndWalkBench(benchmark::State& state) { Run(state, LibraryParseAndWalk); }

BENCHMARK(EngineParseAndWalkBench)->Arg(kSmallCount)->Arg(kLargeCount)->Unit(benchmark::kMillisecond);
BENCHMARK(LibraryParseAndWalkBench)->Arg(kSmallCount)->Arg(kLargeCount)->Unit(benchmark::kMillisecond);

// The most memory one parse and walk held at once, beyond what was live before it.
long long PeakBytes(int (*parseAndWalk)(const std::vector<unsigned char>&), const std::vector<unsigned char>& answer)
{
    const long long before = g_live.load();
    g_peak = before;
    parseAndWalk(answer);
    return g_peak.load() - before;
}

// The console report, keeping each benchmark's total real time and iterations over its runs (repetitions
// included) so that main can print the mean per run.
class MeanCapturingReporter : public benchmark::ConsoleReporter {
public:
    struct Total {
        double seconds = 0;
        double iterations = 0;
    };

    void ReportRuns(const std::vector<Run>& reports) override
    {
        for (const Run& run : reports) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            Total& total = totals_[run.run_name.function_name + "/" + run.run_name.args];
            total.seconds += run.real_accumulated_time;
            total.iterations += static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(reports);
    }

    // Mean real time of one run in milliseconds; negative when the benchmark did not run.
    double MeanMs(const std::string& name, int addCount) const
    {
        auto it = totals_.find(name + "/" + std::to_string(addCount));
        return it == totals_.end() ? -1.0 : 1000.0 * it->second.seconds / it->second.iterations;
    }

private:
    std::map<std::string, Total> totals_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    for (int count : {kSmallCount, kLargeCount})
        std::printf("Sync answer: %d e-mail Adds, %zu bytes of WBXML\n", count, SyncAnswer(count).size());
    MeanCapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    double engineSmall = -1, librarySmall = -1;
    for (int count : {kSmallCount, kLargeCount}) {
        const std::vector<unsigned char>& answer = SyncAnswer(count);
        const double size = static_cast<double>(answer.size());
        const double engine = reporter.MeanMs("EngineParseAndWalkBench", count);
        const double library = reporter.MeanMs("LibraryParseAndWalkBench", count);
        const long long enginePeak = PeakBytes(EngineParseAndWalk, answer);
        const long long libraryPeak = PeakBytes(LibraryParseAndWalk, answer);
        if (engine > 0 && library > 0)
            std::printf("%d mails: engine %.3f ms, library %.3f ms, engine/library %.3f\n", count, engine, library,
                        engine / library);
        else
            std::printf("%d mails: not both benchmarks ran (engine %.3f ms, library %.3f ms)\n", count, engine,
                        library);
        std::printf("%d mails: peak memory beyond the answer: engine %.1f MB (%.2f x answer), library %.1f MB "
                    "(%.2f x answer)\n",
                    count, enginePeak / 1e6, enginePeak / size, libraryPeak / 1e6, libraryPeak / size);
        if (count == kSmallCount) {
            engineSmall = engine;
            librarySmall = library;
        } else if (engineSmall > 0 && librarySmall > 0 && engine > 0 && library > 0) {
            std::printf("growth from %d to %d mails: engine %.2f x, library %.2f x (linear: %.0f x)\n", kSmallCount,
                        kLargeCount, engine / engineSmall, library / librarySmall,
                        static_cast<double>(kLargeCount) / kSmallCount);
        }
    }
    return 0;
}
