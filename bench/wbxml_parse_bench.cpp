// How fast the engine turns a large Sync answer into its WBXML tree and finds each Add's ServerId, set beside the
// WBXML library's own WBXML-to-XML conversion of the same bytes. The answer (1,000 e-mail Adds, about 5 MB) is built
// once with the engine's tree calls and encoded by the engine's encoder, as a server would send it. After the runs
// one line gives both mean times and their ratio.

#include "ActiveSyncLanguage.h"
#include "WbxmlAdapter.h"
#include "WbxmlTree.h"

#include <benchmark/benchmark.h>
#include <wbxml/wbxml_conv.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kAddCount = 1000;
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

// The Sync answer: Sync > Collections > Collection (Class, SyncKey, CollectionId, Status, Commands of Adds,
// MoreAvailable). Empty when any step fails.
std::vector<unsigned char> BuildSyncAnswer()
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
    for (int i = 0; built && i < kAddCount; ++i)
        built = AppendMail(commands, &previousAdd, i, random);

    unsigned char* bytes = nullptr;
    unsigned length = 0;
    if (built && WbxmlEncodeTree(tree, &bytes, &length) == kWbxmlOk)
        out.assign(bytes, bytes + length);
    WbxmlFreeBytes(bytes);
    WbxmlDestroyTree(tree);
    return out;
}

const std::vector<unsigned char>& SyncAnswer()
{
    static const std::vector<unsigned char> answer = BuildSyncAnswer();
    return answer;
}

// Parses the answer into the engine's tree and counts the Adds whose ServerId is found.
int EngineServerIdCount(const std::vector<unsigned char>& answer, bool* parsed)
{
    WBXMLTree* tree = nullptr;
    *parsed = WbxmlParseTree(answer.data(), static_cast<unsigned>(answer.size()), ActiveSyncLanguages(),
                             kActiveSyncLanguageId, &tree) == kWbxmlOk;
    if (!*parsed)
        return 0;
    int found = 0;
    WBXMLTreeNode* commands = WbxmlFindElement(tree->root, kCommands, true, 0);
    for (WBXMLTreeNode* add = commands != nullptr ? commands->children : nullptr; add != nullptr; add = add->next) {
        WBXMLTreeNode* serverId = WbxmlFindElement(add, kServerId, false, 1);
        benchmark::DoNotOptimize(serverId);
        if (serverId != nullptr)
            ++found;
    }
    WbxmlDestroyTree(tree);
    return found;
}

void EngineParseAndFindServerIds(benchmark::State& state)
{
    const std::vector<unsigned char>& answer = SyncAnswer();
    if (answer.empty()) {
        state.SkipWithError("the Sync answer could not be built");
        return;
    }
    for (auto _ : state) {
        bool parsed = false;
        const int found = EngineServerIdCount(answer, &parsed);
        if (!parsed) {
            state.SkipWithError("the engine's parse failed");
            break;
        }
        if (found != kAddCount) {
            state.SkipWithError(("found " + std::to_string(found) + " ServerIds, not 1000").c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(answer.size()));
}

// The library's public conversion; the XML is the caller's, freed with free(). Null on failure.
WB_UTINY* LibraryToXml(std::vector<unsigned char>& answer, WB_ULONG* xmlLength)
{
    WBXMLConvWBXML2XML* conv = nullptr;
    if (wbxml_conv_wbxml2xml_create(&conv) != WBXML_OK)
        return nullptr;
    wbxml_conv_wbxml2xml_set_language(conv, WBXML_LANG_ACTIVESYNC);
    wbxml_conv_wbxml2xml_set_gen_type(conv, WBXML_GEN_XML_COMPACT);
    WB_UTINY* xml = nullptr;
    *xmlLength = 0;
    const WBXMLError err =
        wbxml_conv_wbxml2xml_run(conv, answer.data(), static_cast<WB_ULONG>(answer.size()), &xml, xmlLength);
    wbxml_conv_wbxml2xml_destroy(conv);
    if (err != WBXML_OK) {
        std::free(xml);
        return nullptr;
    }
    return xml;
}

// Occurrences of the needle in the NUL-terminated text.
int CountOf(const char* text, const char* needle)
{
    int count = 0;
    for (const char* at = std::strstr(text, needle); at != nullptr; at = std::strstr(at + 1, needle))
        ++count;
    return count;
}

void LibraryConvertToXml(benchmark::State& state)
{
    // The library takes the bytes through a mutable pointer, so it gets a copy of its own.
    std::vector<unsigned char> answer = SyncAnswer();
    if (answer.empty()) {
        state.SkipWithError("the Sync answer could not be built");
        return;
    }
    // Once, outside the timing: the library read the whole answer in its own ActiveSync names.
    static const int serverIds = [&answer] {
        WB_ULONG length = 0;
        WB_UTINY* xml = LibraryToXml(answer, &length);
        const int count = xml != nullptr ? CountOf(reinterpret_cast<const char*>(xml), "<ServerId>") : -1;
        std::free(xml);
        return count;
    }();
    if (serverIds != kAddCount) {
        state.SkipWithError(("the library's XML holds " + std::to_string(serverIds) + " ServerIds, not 1000").c_str());
        return;
    }
    for (auto _ : state) {
        WB_ULONG length = 0;
        WB_UTINY* xml = LibraryToXml(answer, &length);
        if (xml == nullptr || length == 0) {
            std::free(xml);
            state.SkipWithError("the library's conversion failed");
            break;
        }
        benchmark::DoNotOptimize(xml);
        std::free(xml);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(answer.size()));
}

BENCHMARK(EngineParseAndFindServerIds)->Unit(benchmark::kMillisecond);
BENCHMARK(LibraryConvertToXml)->Unit(benchmark::kMillisecond);

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
            Total& total = totals_[run.run_name.function_name];
            total.seconds += run.real_accumulated_time;
            total.iterations += static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(reports);
    }

    // Mean real time of one run in milliseconds; negative when the benchmark did not run.
    double MeanMs(const std::string& name) const
    {
        auto it = totals_.find(name);
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
    std::printf("Sync answer: %d e-mail Adds, %zu bytes of WBXML\n", kAddCount, SyncAnswer().size());
    MeanCapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double engine = reporter.MeanMs("EngineParseAndFindServerIds");
    const double library = reporter.MeanMs("LibraryConvertToXml");
    if (engine > 0 && library > 0)
        std::printf("mean: engine %.3f ms, library %.3f ms, engine/library %.3f\n", engine, library,
                    engine / library);
    else
        std::printf("mean: not both benchmarks ran (engine %.3f ms, library %.3f ms)\n", engine, library);
    return 0;
}
