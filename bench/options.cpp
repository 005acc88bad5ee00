#include "options.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace vtx::bench {

const char kUsage[] =
    "vtxbench: measures vtxbridge.dll against the transport's own limit, a\n"
    "minimal host doing the least a bridge must do, both talking to vtxpeer.exe\n"
    "in a process of its own (started and stopped by the benchmark).\n"
    "\n"
    "Usage: vtxbench [options]     (later options override earlier ones)\n"
    "  --cases <list>          comma-separated, default all:\n"
    "                            limit      raw round trips, narrow and wide, inline and late\n"
    "                            library    vtx_sendrequest[w], inline and late\n"
    "                            throughput 1, 2 and 4 threads, library and limit\n"
    "                            callback   server request to host callback\n"
    "                            memory     private bytes around many requests\n"
    "                            flood      private bytes under a flood of wide server requests\n"
    "                            micro      the library's steps one by one\n"
    "                            reload     load/unload cycles, plain and with a session\n"
    "  --rounds <n>            rounds per case, interleaved (default 3)\n"
    "  --iterations <n>        round trips per round and case (default 800)\n"
    "  --callback-iterations <n> per round, callback cases (default 100)\n"
    "  --duration-ms <n>       per throughput run, 4 runs per round (default 600)\n"
    "  --memory-requests <n>   requests between the memory readings (default 100000)\n"
    "  --burst <n>             server requests sent at once, callback case (default 1000)\n"
    "  --flood-requests <n>    wide server requests of 200 KB, flood case (default 20000)\n"
    "  --flood-callback-ms <n> the flood's slow callback, ms per text (default 5)\n"
    "  --reload-cycles <n>     load/unload cycles per reload case (default 300)\n"
    "  --micro-iterations <n>  per micro-timing (default 2000)\n"
    "  --warmup <n>            untimed round trips before each case (default 20)\n"
    "  --json <file>           also write the figures as JSON\n"
    "  --quick                 a smoke run: every case, a few iterations\n"
    "  --help                  this text\n";

namespace {

bool ParseCount(const std::wstring& text, int minimum, int* value) {
    if (text.empty() || text.size() > 9) return false;
    int parsed = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        parsed = parsed * 10 + (c - L'0');
    }
    if (parsed < minimum) return false;
    *value = parsed;
    return true;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

const std::set<std::string>& KnownCases() {
    static const std::set<std::string> known{"limit", "library", "throughput", "callback", "memory", "flood", "micro", "reload"};
    return known;
}

bool ParseCases(const std::wstring& list, std::set<std::string>* cases) {
    cases->clear();
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(L',', start), list.size());
        const std::string name = Narrow(list.substr(start, end - start));
        if (KnownCases().count(name) == 0) return false;
        cases->insert(name);
        start = end + 1;
    }
    return true;
}

void MakeQuick(Options* options) {
    options->rounds = 1;
    options->iterations = 20;
    options->callbackIterations = 3;
    options->durationMs = 200;
    options->memoryRequests = 200;
    options->burst = 50;
    options->floodRequests = 500;
    options->reloadCycles = 10;
    options->microIterations = 100;
    options->warmup = 3;
}

}  // namespace

Options ParseOptions(int argc, wchar_t** argv) {
    Options options;
    struct CountOption {
        const wchar_t* name;
        int* value;
        int minimum;
    };
    const CountOption counts[] = {
        {L"--rounds", &options.rounds, 1},
        {L"--iterations", &options.iterations, 1},
        {L"--callback-iterations", &options.callbackIterations, 1},
        {L"--duration-ms", &options.durationMs, 10},
        {L"--memory-requests", &options.memoryRequests, 1},
        {L"--burst", &options.burst, 1},
        {L"--flood-requests", &options.floodRequests, 1},
        {L"--flood-callback-ms", &options.floodCallbackMs, 0},
        {L"--reload-cycles", &options.reloadCycles, 1},
        {L"--micro-iterations", &options.microIterations, 1},
        {L"--warmup", &options.warmup, 0},
    };
    for (int i = 1; i < argc && options.error.empty(); ++i) {
        const std::wstring option = argv[i];
        if (option == L"--help" || option == L"-h") {
            options.help = true;
            continue;
        }
        if (option == L"--quick") {
            MakeQuick(&options);
            continue;
        }
        const bool takesCount = std::any_of(std::begin(counts), std::end(counts),
                                            [&](const CountOption& count) { return option == count.name; });
        if (!takesCount && option != L"--cases" && option != L"--json") {
            options.error = "unknown option '" + Narrow(option) + "'";
            break;
        }
        if (i + 1 >= argc) {
            options.error = Narrow(option) + " needs a value";
            break;
        }
        const std::wstring value = argv[++i];
        for (const auto& count : counts) {
            if (option == count.name && !ParseCount(value, count.minimum, count.value)) {
                options.error = Narrow(option) + " needs a whole number of at least " + std::to_string(count.minimum);
            }
        }
        if (option == L"--cases" && !ParseCases(value, &options.cases)) {
            options.error = "--cases: unknown case in '" + Narrow(value) + "'";
        }
        if (option == L"--json") options.jsonPath = value;
    }
    return options;
}

std::vector<std::string> Options::Describe() const {
    std::string caseList;
    for (const auto& name : cases) caseList += (caseList.empty() ? "" : ",") + name;
    return {
        "cases=" + (caseList.empty() ? std::string("all") : caseList),
        "rounds=" + std::to_string(rounds),
        "iterations=" + std::to_string(iterations),
        "callback_iterations=" + std::to_string(callbackIterations),
        "duration_ms=" + std::to_string(durationMs),
        "memory_requests=" + std::to_string(memoryRequests),
        "burst=" + std::to_string(burst),
        "flood_requests=" + std::to_string(floodRequests),
        "flood_callback_ms=" + std::to_string(floodCallbackMs),
        "reload_cycles=" + std::to_string(reloadCycles),
        "micro_iterations=" + std::to_string(microIterations),
        "warmup=" + std::to_string(warmup),
    };
}

}  // namespace vtx::bench
