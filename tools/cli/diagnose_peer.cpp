// Parts 2 and 3 of the diagnosis: the windows of the peer's class, judged by
// the library's own code (support/process_identity), and this process, which
// stands in for the host.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/text_conversion.h"
#include "diagnosis.h"
#include "transport/window_names.h"

namespace vtx::cli {
namespace {

// "DOMAIN\user" of a SID given as text; empty when it has no account name.
std::string AccountOf(const wchar_t* sidText) {
    PSID sid = nullptr;
    if (sidText[0] == L'\0' || !ConvertStringSidToSidW(sidText, &sid)) return {};
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameUnits = 256;
    DWORD domainUnits = 256;
    SID_NAME_USE use{};
    const bool found = LookupAccountSidW(nullptr, sid, name, &nameUnits, domain, &domainUnits, &use) != 0;
    LocalFree(sid);
    if (!found) return {};
    return common::WideToUtf8(domainUnits > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name));
}

// What to do about a window the library does not take.
const char* WhatToDo(PeerVerdict verdict) {
    switch (verdict) {
        case PeerVerdict::Qualifies: break;
        case PeerVerdict::OtherSession:
            return "start the companion application in the Windows session the chart program runs in";
        case PeerVerdict::OtherUser: return "start the companion application as the user who runs the chart program";
        case PeerVerdict::BelowMediumIntegrity:
            return "start the companion application normally, not from a sandbox or a low-integrity launcher";
        case PeerVerdict::TokenRefused:
            return "it probably runs as administrator while the chart program does not: start both the same way";
        case PeerVerdict::Unreadable: return "it ended or cannot be queried: start the companion application again";
    }
    return "";
}

std::string Describe(const PeerWindow& window) {
    char handle[32];
    std::snprintf(handle, sizeof(handle), "0x%08llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window.window)));
    return std::string("window ") + handle + " of process " + std::to_string(window.process.processId) +
           (window.process.image.empty() ? "" : " (" + window.process.image + ")");
}

}  // namespace

ProcessView ViewOfProcess(DWORD processId) {
    ProcessView view;
    view.processId = processId;
    std::vector<wchar_t> image(32768);
    if (ReadProcessImagePath(processId, image.data(), static_cast<DWORD>(image.size()))) {
        view.image = common::WideToUtf8(image.data());
    }
    view.facts = ReadProcessFacts(processId);
    if (view.facts.read) view.account = AccountOf(view.facts.user);
    return view;
}

std::vector<PeerWindow> DiagnosePeerWindows(PeerVerdict (*judge)(DWORD) noexcept, std::vector<Finding>& findings) {
    // The library's own walk: top-level windows of the class in Z-order,
    // the first whose process qualifies taken.
    std::vector<PeerWindow> windows;
    const PeerWindow* taken = nullptr;
    std::size_t qualifying = 0;
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, kPeerClassName, nullptr)) != nullptr) {
        PeerWindow window;
        window.window = candidate;
        DWORD processId = 0;
        GetWindowThreadProcessId(candidate, &processId);
        window.process = ViewOfProcess(processId);
        window.verdict = processId == 0 ? PeerVerdict::Unreadable : judge(processId);
        window.responding = !IsHungAppWindow(candidate);
        if (window.verdict == PeerVerdict::Qualifies) ++qualifying;
        window.taken = window.verdict == PeerVerdict::Qualifies && qualifying == 1;
        windows.push_back(window);
    }
    for (const PeerWindow& window : windows) {
        if (window.taken) taken = &window;
    }

    if (windows.empty()) {
        findings.push_back({"peer",
                            "no window of class VantixConnect on this desktop: every send shows \"run the peer "
                            "first\" and ends with 6",
                            "start the companion application on this desktop, as this user, before the chart "
                            "program; one started in another session or on another desktop is not seen here"});
    } else if (taken == nullptr) {
        for (const PeerWindow& window : windows) {
            findings.push_back({"peer", Describe(window) + " is not taken: " + PeerVerdictReason(window.verdict),
                                WhatToDo(window.verdict)});
        }
    } else {
        if (!taken->responding) {
            findings.push_back({"peer",
                                "the window taken does not handle its messages (hung): every send ends with 6 at once",
                                "end the companion application and start it again"});
        }
        if (qualifying > 1) {
            findings.push_back(
                {"peer",
                 std::to_string(qualifying) + " windows qualify; the library takes the first, " + Describe(*taken),
                 "if that is not the companion application, close the program that made it"});
        }
    }
    return windows;
}

SelfFacts DiagnoseSelf() {
    SelfFacts self;
    self.process = ViewOfProcess(GetCurrentProcessId());
    self.filterOpened = HostRunsAboveMediumIntegrity();
    return self;
}

}  // namespace vtx::cli
