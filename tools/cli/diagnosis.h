// `vtxcli diagnose`: the machine as a host on this desktop meets it, in the
// order a support engineer checks it. Gathering reads only; the one
// exception is the round trip that --exchange asks for. Each part is
// gathered in a file of its own (diagnose_*.cpp) and printed as text or as
// one JSON object (diagnosis_report.cpp).
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/bridge_exports.h"
#include "support/log.h"
#include "support/process_identity.h"

namespace vtx::cli {

// What a test build may replace (tests/support/diagnose_seam.cpp): the judge
// of a process, since under Wine every process qualifies, and the log
// folder, since tests must not make the library's own. The shipped vtxcli
// links diagnose_seam.cpp, which replaces nothing.
struct DiagnoseSeam {
    PeerVerdict (*judge)(DWORD processId) noexcept = JudgeProcess;
    std::wstring logFolder = kLogFolder;  // the library's (support/log.h)
};
DiagnoseSeam MakeDiagnoseSeam();

struct DiagnoseOptions {
    std::optional<std::wstring> dll;  // --dll; default as for the other commands
    bool json = false;                // --json
    bool exchange = false;            // --exchange
};

// A finding a support engineer acts on: what is wrong and what to do.
struct Finding {
    std::string section;  // "library", "peer", "self", "log", "registry", "exchange"
    std::string what;
    std::string todo;
};

// 1. The DLL.
struct LibraryFacts {
    std::wstring path;        // as loaded, or as looked for when it was not
    bool loaded = false;      // LoadLibraryW took it
    std::string loadError;    // when not loaded
    std::string fileVersion;  // "1.0.0.0"; empty without a version resource
    int bits = 0;             // 32 or 64 from its PE header; 0: not a DLL read
    std::string pdb;          // the PDB name it carries; empty: none
    std::string pdbIndex;     // GUID and age, as symbol stores index the PDB
    bool matchesHeader = false;
    std::vector<std::string> missingExports;
};

// The facts of one process, for showing.
struct ProcessView {
    DWORD processId = 0;
    std::string image;    // full path of its executable; empty: unreadable
    ProcessFacts facts;   // from the library's own reading
    std::string account;  // "DOMAIN\user"; empty: not found
};

// 2. A window of class VantixConnect.
struct PeerWindow {
    HWND window = nullptr;
    ProcessView process;
    PeerVerdict verdict = PeerVerdict::Unreadable;
    bool responding = true;
    bool taken = false;  // the one the library would take
};

// 3. This process, standing in for the host.
struct SelfFacts {
    ProcessView process;
    bool filterOpened = false;
};

// The kinds of lines the library limits (support/log_limiter.h), counted in
// today's file.
inline constexpr std::size_t kCountedKinds = 6;
struct KindCount {
    std::uint64_t written = 0;
    std::uint64_t leftOut = 0;  // from the per-second summaries
    bool dayBoundReached = false;
};

// 4. The log.
struct LogFacts {
    std::wstring folder;
    bool exists = false;
    bool parentExists = false;
    std::wstring linkOnTheWay;  // the first folder of the path that is a link
    std::wstring leadsTo;       // where the folder resolves to, when that differs
    bool writable = false;
    std::wstring file;  // today's
    bool fileExists = false;
    std::uint64_t fileSize = 0;
    bool fileIsLink = false;
    bool fileHasOtherNames = false;
    std::array<KindCount, kCountedKinds> counts{};
};

// 5. The registry value.
struct RegistryFacts {
    bool present = false;
    std::wstring value;
    bool folderExists = false;
};

// 6. The round trip.
struct ExchangeFacts {
    bool asked = false;
    bool ran = false;
    std::string notRun;  // why not, when asked
    int init = 0;
    int alive = 0;
    double aliveMs = 0;
    int deinit = 0;
    bool bridgePathRestored = false;
};

enum class DiagnoseCause { Ok, Library, NoPeerWindow, NoQualifyingPeer, ExchangeFailed };

struct Diagnosis {
    LibraryFacts library;
    std::vector<PeerWindow> windows;
    SelfFacts self;
    LogFacts log;
    RegistryFacts registry;
    ExchangeFacts exchange;
    std::vector<Finding> findings;
    DiagnoseCause cause = DiagnoseCause::Ok;
};

// The parts, gathered in the order of the report.
// `bridge` is the DLL loaded from `name` (BridgeModule::PathToLoad).
LibraryFacts DiagnoseLibrary(const common::LoadedBridge& bridge, const std::wstring& name,
                             std::vector<Finding>& findings);
std::vector<PeerWindow> DiagnosePeerWindows(PeerVerdict (*judge)(DWORD) noexcept, std::vector<Finding>& findings);
SelfFacts DiagnoseSelf();
LogFacts DiagnoseLog(const std::wstring& folder, std::vector<Finding>& findings);
RegistryFacts DiagnoseRegistry(std::vector<Finding>& findings);

// Everything, with --exchange's round trip when asked and possible.
Diagnosis Diagnose(const DiagnoseOptions& options, const DiagnoseSeam& seam);
int ExitCodeOf(DiagnoseCause cause);

// What the facts share with the report.
ProcessView ViewOfProcess(DWORD processId);
const char* IntegrityName(DWORD rid);
const char* VerdictKey(PeerVerdict verdict);  // "qualifies", "otherSession", ...
const char* KindName(std::size_t kind);       // as the log names it: "failed calls", ...
const char* KindKey(std::size_t kind);        // "failedCalls", ...

std::string DiagnosisText(const Diagnosis& diagnosis);
std::string DiagnosisJson(const Diagnosis& diagnosis);

}  // namespace vtx::cli
