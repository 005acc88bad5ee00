// The vtxbridge.dll vtxcli runs against: which file it loads, what it says
// when that fails, and the version it reports. vtxcli never links the import
// library: a missing DLL or export must be a clear message, not a loader
// error before main.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/bridge_exports.h"

namespace vtx::cli {

using Exports = common::BridgeExports;

// The loaded DLL and its exports. The session lives across every command;
// the DLL is unloaded when the object goes, after the last one.
class BridgeModule {
public:
    // Loads `path`, or by default vtxbridge.dll next to vtxcli.exe, else
    // through the normal search. On failure, `error` says what and why.
    static std::optional<BridgeModule> Load(const std::optional<std::wstring>& path, std::string* error);
    // The name Load passes to LoadLibraryW for `path`.
    static std::wstring PathToLoad(const std::optional<std::wstring>& path);

    const Exports& Functions() const { return bridge_.Exports(); }
    // Export names GetProcAddress did not find, e.g. "vtx_login".
    const std::vector<std::string>& Missing() const { return bridge_.Missing(); }
    bool Has(const std::string& exportName) const;
    // "C:\...\vtxbridge.dll, file version 1.0.0.0" for the first output line.
    std::string Description() const;

private:
    explicit BridgeModule(common::LoadedBridge bridge) : bridge_(std::move(bridge)) {}

    common::LoadedBridge bridge_;
};

// "1.0.0.0" from the file's version resource; empty without one.
std::string FileVersionOf(const std::wstring& path);

}  // namespace vtx::cli
