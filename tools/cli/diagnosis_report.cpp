// The diagnosis as text for a person and as one JSON object for support
// tooling; both say the same. The JSON schema is in docs/vtxcli.md: keys are
// only ever added.
#include <cstdint>
#include <cstdio>

#include "common/json_writer.h"
#include "common/text_conversion.h"
#include "diagnosis.h"
#include "vtxbridge.h"

namespace vtx::cli {
namespace {

constexpr int kSchema = 1;

std::string Utf8(const std::wstring& text) { return common::WideToUtf8(text); }

std::string Hex(HWND window) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%08llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    return text;
}

std::string Milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f ms", ms);
    return text;
}

const char* CauseKey(DiagnoseCause cause) {
    switch (cause) {
        case DiagnoseCause::Ok: return "ok";
        case DiagnoseCause::Library: return "library";
        case DiagnoseCause::NoPeerWindow: return "noPeerWindow";
        case DiagnoseCause::NoQualifyingPeer: return "noQualifyingPeer";
        case DiagnoseCause::ExchangeFailed: return "exchangeFailed";
    }
    return "";
}

const char* CauseWords(DiagnoseCause cause) {
    switch (cause) {
        case DiagnoseCause::Ok: return "a qualifying peer was found";
        case DiagnoseCause::Library: return "the DLL cannot be used";
        case DiagnoseCause::NoPeerWindow: return "no window of class VantixConnect";
        case DiagnoseCause::NoQualifyingPeer: return "no window of class VantixConnect qualifies";
        case DiagnoseCause::ExchangeFailed: return "the peer did not answer the round trip with 200";
    }
    return "";
}

// "session 1, user PC\nurse (S-1-5-21-...), Medium integrity"
std::string Identity(const ProcessView& view) {
    if (!view.facts.read) {
        return view.facts.tokenRefused ? "its token is refused to this process" : "its session and user cannot be read";
    }
    const std::string sid = Utf8(view.facts.user);
    return "session " + std::to_string(view.facts.session) + ", user " +
           (view.account.empty() ? sid : view.account + " (" + sid + ")") + ", " + IntegrityName(view.facts.integrity) +
           " integrity";
}

class Text {
public:
    void Line(const std::string& line) { out_ += line + "\r\n"; }
    void Findings(const std::vector<Finding>& findings, const char* section) {
        for (const Finding& finding : findings) {
            if (finding.section != section) continue;
            Line("   [!] " + finding.what);
            Line("       do: " + finding.todo);
        }
    }
    const std::string& Out() const { return out_; }

private:
    std::string out_;
};

void LibraryText(Text& text, const Diagnosis& d) {
    const LibraryFacts& library = d.library;
    constexpr int kOwnBits = sizeof(void*) * 8;
    text.Line("1. The DLL");
    text.Line("   file:    " + Utf8(library.path) + (library.loaded ? "" : " (not loaded: " + library.loadError + ")"));
    text.Line(
        "   version: " + (library.fileVersion.empty() ? std::string("no version resource") : library.fileVersion) +
        (library.bits != 0 ? ", " + std::to_string(library.bits) + "-bit" : std::string()) +
        "; this vtxcli: " VTXBRIDGE_VERSION_STRING ", " + std::to_string(kOwnBits) + "-bit" +
        (library.matchesHeader ? " (matches)" : " (differs)"));
    text.Line("   symbols: " + (library.pdb.empty() ? std::string("names no PDB")
                                                    : library.pdb + " (symbol index " + library.pdbIndex + ")"));
    if (library.loaded) {
        std::string missing;
        for (const std::string& name : library.missingExports) missing += " " + name;
        text.Line("   exports: " + (missing.empty() ? std::string("all twenty found") : "missing" + missing));
    }
    text.Findings(d.findings, "library");
}

void PeerText(Text& text, const Diagnosis& d) {
    text.Line("2. Windows of class VantixConnect, in Z-order");
    if (d.windows.empty()) text.Line("   none on this desktop");
    bool takenSeen = false;
    for (std::size_t i = 0; i < d.windows.size(); ++i) {
        const PeerWindow& window = d.windows[i];
        text.Line("   #" + std::to_string(i + 1) + " window " + Hex(window.window) + ", process " +
                  std::to_string(window.process.processId) +
                  (window.process.image.empty() ? "" : " (" + window.process.image + ")"));
        text.Line("      " + Identity(window.process) + (window.responding ? "" : "; not responding (hung)"));
        std::string verdict = "      verdict: " + std::string(PeerVerdictReason(window.verdict));
        if (window.taken) {
            verdict += " -> the library takes this window";
        } else if (window.verdict == PeerVerdict::Qualifies && takenSeen) {
            verdict += ", but an earlier window is taken";
        } else {
            verdict += " -> skipped";
        }
        takenSeen = takenSeen || window.taken;
        text.Line(verdict);
    }
    if (!d.windows.empty()) {
        text.Line(takenSeen ? "   (A host that found its peer earlier keeps that window while it lives.)"
                            : "   The library takes none of them.");
    }
    text.Findings(d.findings, "peer");
}

void SelfText(Text& text, const Diagnosis& d) {
    text.Line("3. This process (run vtxcli as the chart program runs: same user, elevated or not)");
    text.Line("   process " + std::to_string(d.self.process.processId) + ": " + Identity(d.self.process));
    text.Line(std::string("   message filter: ") +
              (d.self.filterOpened ? "opened for WM_COPYDATA (this process runs above Medium integrity)"
                                   : "left as it is (this process does not run above Medium integrity)"));
}

void LogText(Text& text, const Diagnosis& d) {
    const LogFacts& log = d.log;
    text.Line("4. The log");
    std::string folder = "   folder:  " + Utf8(log.folder);
    if (log.exists) {
        folder += log.linkOnTheWay.empty() && log.leadsTo.empty() ? ", a plain folder" : ", through a link";
        folder += log.writable ? ", writable" : ", not writable";
    } else if (log.parentExists && !log.linkOnTheWay.empty()) {
        folder += " does not exist; the library makes no folder behind a link";
    } else if (log.parentExists) {
        folder += " does not exist; the library makes it at its first line";
        folder += log.writable ? "" : ", but cannot (the parent is not writable)";
    } else {
        folder += " does not exist, nor its parent: the library writes YYYYMMDD.log in the host's current folder";
    }
    text.Line(folder);
    if (!log.linkOnTheWay.empty()) text.Line("   link:    " + Utf8(log.linkOnTheWay));
    if (!log.leadsTo.empty()) text.Line("   leads to: " + Utf8(log.leadsTo));
    if (!log.fileExists) {
        text.Line("   today:   " + Utf8(log.file) + " does not exist");
    } else {
        text.Line("   today:   " + Utf8(log.file) + ", " + std::to_string(log.fileSize) + " bytes" +
                  (log.fileIsLink ? ", a link" : "") + (log.fileHasOtherNames ? ", has other names" : ""));
        std::string counts;
        for (std::size_t kind = 0; kind < kCountedKinds; ++kind) {
            const KindCount& count = log.counts[kind];
            if (!counts.empty()) counts += ", ";
            counts += std::to_string(count.written) + " " + KindName(kind);
            if (count.leftOut > 0) counts += " (+" + std::to_string(count.leftOut) + " not written)";
            if (count.dayBoundReached) counts += " (the day's bound reached)";
        }
        text.Line("   lines today: " + counts);
    }
    text.Findings(d.findings, "log");
}

void RegistryText(Text& text, const Diagnosis& d) {
    text.Line("5. The registry: HKEY_CURRENT_USER\\Software\\vantix_v40, bridgepath");
    if (!d.registry.present) {
        text.Line("   no value");
    } else {
        text.Line("   \"" + Utf8(d.registry.value) + "\"" +
                  (d.registry.folderExists ? " (the folder exists)" : " (no such folder)"));
    }
    text.Findings(d.findings, "registry");
}

void ExchangeText(Text& text, const Diagnosis& d) {
    const ExchangeFacts& exchange = d.exchange;
    text.Line("6. A round trip");
    if (!exchange.asked) {
        text.Line("   not run: --exchange sends vtx_init, vtx_iswcalive and vtx_deinit to the peer");
    } else if (!exchange.ran) {
        text.Line("   not run: " + exchange.notRun);
    } else {
        std::string line = "   vtx_init -> " + std::to_string(exchange.init);
        if (exchange.init == VTX_RESULT_OK) {
            line += "; vtx_iswcalive -> " + std::to_string(exchange.alive) + " in " + Milliseconds(exchange.aliveMs) +
                    "; vtx_deinit -> " + std::to_string(exchange.deinit);
        }
        text.Line(line);
        text.Line(exchange.bridgePathRestored ? "   bridgepath as it was before" : "   bridgepath not put back");
    }
    text.Findings(d.findings, "exchange");
}

void Process(common::JsonWriter& json, const ProcessView& view) {
    json.Member("processId", static_cast<std::uint64_t>(view.processId));
    json.Member("image", view.image);
    json.Member("read", view.facts.read);
    json.Member("session", static_cast<std::uint64_t>(view.facts.session));
    json.Member("user", Utf8(view.facts.user));
    json.Member("account", view.account);
    json.Member("integrity", std::string(view.facts.read ? IntegrityName(view.facts.integrity) : ""));
    json.Member("integrityRid", static_cast<std::uint64_t>(view.facts.integrity));
}

}  // namespace

const char* IntegrityName(DWORD rid) {
    if (rid >= SECURITY_MANDATORY_PROTECTED_PROCESS_RID) return "Protected";
    if (rid >= SECURITY_MANDATORY_SYSTEM_RID) return "System";
    if (rid >= SECURITY_MANDATORY_HIGH_RID) return "High";
    if (rid >= SECURITY_MANDATORY_MEDIUM_RID + 0x100) return "Medium Plus";
    if (rid >= SECURITY_MANDATORY_MEDIUM_RID) return "Medium";
    if (rid >= SECURITY_MANDATORY_LOW_RID) return "Low";
    return "Untrusted";
}

const char* VerdictKey(PeerVerdict verdict) {
    switch (verdict) {
        case PeerVerdict::Qualifies: return "qualifies";
        case PeerVerdict::OtherSession: return "otherSession";
        case PeerVerdict::OtherUser: return "otherUser";
        case PeerVerdict::BelowMediumIntegrity: return "belowMediumIntegrity";
        case PeerVerdict::Unreadable: return "unreadable";
        case PeerVerdict::TokenRefused: return "tokenRefused";
    }
    return "";
}

std::string DiagnosisText(const Diagnosis& d) {
    Text text;
    text.Line("vtxcli diagnose: this desktop as a host meets it");
    LibraryText(text, d);
    PeerText(text, d);
    SelfText(text, d);
    LogText(text, d);
    RegistryText(text, d);
    ExchangeText(text, d);
    text.Line("result: " + std::string(CauseWords(d.cause)) + " (exit code " + std::to_string(ExitCodeOf(d.cause)) +
              ")");
    return text.Out();
}

std::string DiagnosisJson(const Diagnosis& d) {
    common::JsonWriter json;
    json.BeginObject();
    json.Member("schema", kSchema);
    json.Member("cause", std::string(CauseKey(d.cause)));
    json.Member("exitCode", ExitCodeOf(d.cause));

    json.Key("library");
    json.BeginObject();
    json.Member("path", Utf8(d.library.path));
    json.Member("loaded", d.library.loaded);
    json.Member("loadError", d.library.loadError);
    json.Member("fileVersion", d.library.fileVersion);
    json.Member("bits", d.library.bits);
    json.Member("pdb", d.library.pdb);
    json.Member("pdbIndex", d.library.pdbIndex);
    json.Member("headerVersion", std::string(VTXBRIDGE_VERSION_STRING));
    json.Member("vtxcliBits", static_cast<int>(sizeof(void*) * 8));
    json.Member("matchesHeader", d.library.matchesHeader);
    json.Key("missingExports");
    json.BeginArray();
    for (const std::string& name : d.library.missingExports) json.String(name);
    json.EndArray();
    json.EndObject();

    json.Key("peerWindows");
    json.BeginArray();
    for (const PeerWindow& window : d.windows) {
        json.BeginObject();
        json.Member("window", static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window.window)));
        Process(json, window.process);
        json.Member("verdict", std::string(VerdictKey(window.verdict)));
        json.Member("reason", std::string(PeerVerdictReason(window.verdict)));
        json.Member("responding", window.responding);
        json.Member("taken", window.taken);
        json.EndObject();
    }
    json.EndArray();

    json.Key("self");
    json.BeginObject();
    Process(json, d.self.process);
    json.Member("messageFilterOpened", d.self.filterOpened);
    json.EndObject();

    json.Key("log");
    json.BeginObject();
    json.Member("folder", Utf8(d.log.folder));
    json.Member("exists", d.log.exists);
    json.Member("parentExists", d.log.parentExists);
    json.Member("linkOnTheWay", Utf8(d.log.linkOnTheWay));
    json.Member("leadsTo", Utf8(d.log.leadsTo));
    json.Member("writable", d.log.writable);
    json.Member("file", Utf8(d.log.file));
    json.Member("fileExists", d.log.fileExists);
    json.Member("fileSize", d.log.fileSize);
    json.Member("fileIsLink", d.log.fileIsLink);
    json.Member("fileHasOtherNames", d.log.fileHasOtherNames);
    json.Key("today");
    json.BeginObject();
    for (std::size_t kind = 0; kind < kCountedKinds; ++kind) {
        json.Key(KindKey(kind));
        json.BeginObject();
        json.Member("written", d.log.counts[kind].written);
        json.Member("leftOut", d.log.counts[kind].leftOut);
        json.Member("dayBoundReached", d.log.counts[kind].dayBoundReached);
        json.EndObject();
    }
    json.EndObject();
    json.EndObject();

    json.Key("registry");
    json.BeginObject();
    json.Member("present", d.registry.present);
    json.Member("bridgepath", Utf8(d.registry.value));
    json.Member("folderExists", d.registry.folderExists);
    json.EndObject();

    json.Key("exchange");
    json.BeginObject();
    json.Member("asked", d.exchange.asked);
    json.Member("ran", d.exchange.ran);
    json.Member("notRun", d.exchange.notRun);
    json.Member("init", d.exchange.init);
    json.Member("iswcalive", d.exchange.alive);
    json.Member("iswcaliveMs", d.exchange.aliveMs);
    json.Member("deinit", d.exchange.deinit);
    json.Member("bridgepathRestored", d.exchange.bridgePathRestored);
    json.EndObject();

    json.Key("findings");
    json.BeginArray();
    for (const Finding& finding : d.findings) {
        json.BeginObject();
        json.Member("section", finding.section);
        json.Member("what", finding.what);
        json.Member("do", finding.todo);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

}  // namespace vtx::cli
