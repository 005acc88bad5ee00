// The seam of vtxcli_test_seam.exe, a build of vtxcli for tests only (never
// shipped): what `diagnose` cannot meet under Wine, set through the
// environment.
//   VTX_TEST_TURNED_AWAY  process IDs, separated by commas, judged below
//                         Medium integrity; every other process is judged by
//                         the library's own code. Wine runs every process at
//                         High integrity under one user, so without this no
//                         window is ever turned away.
//   VTX_TEST_LOG_FOLDER   the log folder to examine instead of the library's
//                         own, which tests must not make in the shared prefix.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "diagnosis.h"

namespace vtx::cli {
namespace {

std::vector<DWORD> g_turnedAway;

PeerVerdict JudgeWithTurnedAway(DWORD processId) noexcept {
    if (std::find(g_turnedAway.begin(), g_turnedAway.end(), processId) != g_turnedAway.end()) {
        return PeerVerdict::BelowMediumIntegrity;
    }
    return JudgeProcess(processId);
}

std::wstring Variable(const wchar_t* name) {
    wchar_t value[4096];
    const DWORD units = GetEnvironmentVariableW(name, value, 4096);
    return units > 0 && units < 4096 ? std::wstring(value, units) : std::wstring();
}

}  // namespace

DiagnoseSeam MakeDiagnoseSeam() {
    DiagnoseSeam seam;
    const std::wstring turnedAway = Variable(L"VTX_TEST_TURNED_AWAY");
    for (std::size_t start = 0; start < turnedAway.size();) {
        std::size_t end = turnedAway.find(L',', start);
        if (end == std::wstring::npos) end = turnedAway.size();
        g_turnedAway.push_back(static_cast<DWORD>(std::stoul(turnedAway.substr(start, end - start))));
        start = end + 1;
    }
    seam.judge = JudgeWithTurnedAway;
    const std::wstring logFolder = Variable(L"VTX_TEST_LOG_FOLDER");
    if (!logFolder.empty()) seam.logFolder = logFolder;
    return seam;
}

}  // namespace vtx::cli
