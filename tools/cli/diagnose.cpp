// Parts 5 and 6 of the diagnosis (the registry value, the round trip), and
// the whole in the order of the report.
#include <chrono>

#include "bridge_module.h"
#include "common/text_conversion.h"
#include "diagnosis.h"
#include "exit_codes.h"
#include "support/unique_handle.h"
#include "vtxbridge.h"

namespace vtx::cli {
namespace {

constexpr wchar_t kBridgeKey[] = L"Software\\vantix_v40";
constexpr wchar_t kBridgeValue[] = L"bridgepath";

// The value's text (stored without a terminator); nothing when absent.
std::optional<std::wstring> ReadBridgePath() {
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kBridgeKey, kBridgeValue, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, kBridgeKey, kBridgeValue, RRF_RT_REG_SZ, nullptr, value.data(), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

bool KeyExists() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kBridgeKey, 0, KEY_READ, &raw) != ERROR_SUCCESS) return false;
    RegCloseKey(raw);
    return true;
}

// Puts back what vtx_init overwrote: the value as it was, or none, and no
// key when there was none and nothing else is in it now.
bool RestoreBridgePath(bool keyExisted, const std::optional<std::wstring>& before) {
    if (ReadBridgePath() == before) return true;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kBridgeKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueKey key(raw);
    if (before) {
        return RegSetValueExW(key.get(), kBridgeValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(before->data()),
                              static_cast<DWORD>(before->size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    if (RegDeleteValueW(key.get(), kBridgeValue) != ERROR_SUCCESS) return false;
    DWORD subkeys = 1;
    DWORD values = 1;
    if (!keyExisted &&
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        RegDeleteKeyW(HKEY_CURRENT_USER, kBridgeKey);
    }
    return true;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string CodeWords(int code) {
    switch (code) {
        case VTX_RESULT_OK: return "200 ok";
        case VTX_RESULT_NOT_DELIVERED: return "6 not delivered";
        case VTX_RESULT_NOT_OPEN: return "8 not open";
        case VTX_RESULT_TIMED_OUT: return "14 timed out";
        default: return std::to_string(code) + " (the peer's status)";
    }
}

// One vtx_iswcalive inside a session of its own: the library sends it only
// in a session. vtx_init writes bridgepath, which is put back afterwards.
ExchangeFacts RunExchange(const common::BridgeExports& exports, std::vector<Finding>& findings) {
    ExchangeFacts exchange;
    exchange.asked = true;
    exchange.ran = true;
    const bool keyExisted = KeyExists();
    const std::optional<std::wstring> before = ReadBridgePath();
    exchange.init = exports.init(0, "vtxcli", 1, nullptr);
    if (exchange.init == VTX_RESULT_OK) {
        const auto start = std::chrono::steady_clock::now();
        exchange.alive = exports.iswcalive();
        exchange.aliveMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        exchange.deinit = exports.deinit();
    }
    exchange.bridgePathRestored = RestoreBridgePath(keyExisted, before);

    const int failed = exchange.init != VTX_RESULT_OK ? exchange.init : exchange.alive;
    const std::string call = exchange.init != VTX_RESULT_OK ? "vtx_init" : "vtx_iswcalive";
    if (failed == VTX_RESULT_NOT_DELIVERED) {
        findings.push_back({"exchange", call + " ended with 6: the window taken did not take the message",
                            "end the companion application and start it again, then run diagnose once more"});
    } else if (failed == VTX_RESULT_TIMED_OUT) {
        findings.push_back(
            {"exchange",
             call + " ended with 14: the peer took the message but sent no answer within about five "
                    "seconds",
             "the companion application is busy or stuck: wait, or restart it; its own log may say why"});
    } else if (failed != VTX_RESULT_OK) {
        findings.push_back({"exchange", call + " gave " + CodeWords(failed),
                            "the peer refused the call with its own status: see the companion application's "
                            "documentation"});
    }
    if (!exchange.bridgePathRestored) {
        findings.push_back({"registry", "bridgepath could not be put back after the exchange",
                            "start the chart program once: its vtx_init writes its own folder there"});
    }
    return exchange;
}

}  // namespace

RegistryFacts DiagnoseRegistry(std::vector<Finding>& findings) {
    RegistryFacts registry;
    const std::optional<std::wstring> value = ReadBridgePath();
    registry.present = value.has_value();
    if (value) registry.value = *value;
    registry.folderExists = value && IsFolder(*value);
    if (!registry.present) {
        findings.push_back({"registry", "HKEY_CURRENT_USER\\Software\\vantix_v40 has no bridgepath",
                            "start the chart program once as this user: its first vtx_init writes its folder there"});
    } else if (!registry.folderExists) {
        findings.push_back({"registry",
                            "bridgepath names " + common::WideToUtf8(registry.value) + ", which is not a folder",
                            "start the chart program once as this user: its first vtx_init writes its folder there"});
    }
    return registry;
}

Diagnosis Diagnose(const DiagnoseOptions& options, const DiagnoseSeam& seam) {
    Diagnosis diagnosis;
    std::vector<Finding>& findings = diagnosis.findings;
    const std::wstring name = BridgeModule::PathToLoad(options.dll);
    const common::LoadedBridge bridge(name);
    diagnosis.library = DiagnoseLibrary(bridge, name, findings);
    diagnosis.windows = DiagnosePeerWindows(seam.judge, findings);
    diagnosis.self = DiagnoseSelf();
    diagnosis.log = DiagnoseLog(seam.logFolder, findings);
    diagnosis.registry = DiagnoseRegistry(findings);

    bool peerTaken = false;
    for (const PeerWindow& window : diagnosis.windows) peerTaken = peerTaken || window.taken;
    const bool libraryUsable = diagnosis.library.loaded && diagnosis.library.missingExports.empty();
    ExchangeFacts& exchange = diagnosis.exchange;
    exchange.asked = options.exchange;
    if (options.exchange) {
        // Without a window the library takes, the send would show the box
        // and wait for a click.
        if (!libraryUsable) {
            exchange.notRun = "the DLL is not usable";
        } else if (!peerTaken) {
            exchange.notRun = "no window is taken for the peer (it would show \"run the peer first\")";
        } else {
            exchange = RunExchange(bridge.Exports(), findings);
        }
    }

    if (!libraryUsable) {
        diagnosis.cause = DiagnoseCause::Library;
    } else if (diagnosis.windows.empty()) {
        diagnosis.cause = DiagnoseCause::NoPeerWindow;
    } else if (!peerTaken) {
        diagnosis.cause = DiagnoseCause::NoQualifyingPeer;
    } else if (exchange.ran && (exchange.init != VTX_RESULT_OK || exchange.alive != VTX_RESULT_OK)) {
        diagnosis.cause = DiagnoseCause::ExchangeFailed;
    }
    return diagnosis;
}

int ExitCodeOf(DiagnoseCause cause) {
    switch (cause) {
        case DiagnoseCause::Ok: return kExitOk;
        case DiagnoseCause::Library: return kExitMissingLibrary;
        case DiagnoseCause::NoPeerWindow: return kExitNoPeer;
        case DiagnoseCause::NoQualifyingPeer: return kExitNoQualifyingPeer;
        case DiagnoseCause::ExchangeFailed: return kExitExchangeFailed;
    }
    return kExitExchangeFailed;
}

}  // namespace vtx::cli
