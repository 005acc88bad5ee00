// Part 1 of the diagnosis: the DLL. Its bitness and the PDB it names are read
// from the file itself, so a DLL of the other bitness, which no host of ours
// can load, is still described.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "bridge_module.h"
#include "common/module_path.h"
#include "common/text_conversion.h"
#include "common/whole_file.h"
#include "diagnosis.h"
#include "system_error.h"
#include "vtxbridge.h"

namespace vtx::cli {
namespace {

// Far beyond any build of the DLL; keeps a wrong path from filling memory.
constexpr unsigned long long kMaxDllBytes = 64ull * 1024 * 1024;

constexpr int kOwnBits = sizeof(void*) * 8;

// Little-endian fields of a PE file, every read checked against its end.
class PeBytes {
public:
    explicit PeBytes(std::string_view bytes) : bytes_(bytes) {}

    bool Has(std::size_t offset, std::size_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }
    std::uint32_t Read(std::size_t offset, std::size_t size) const {
        if (!Has(offset, size)) return 0;
        std::uint32_t value = 0;
        for (std::size_t i = size; i > 0; --i) value = value << 8 | static_cast<unsigned char>(bytes_[offset + i - 1]);
        return value;
    }
    std::uint32_t U16(std::size_t offset) const { return Read(offset, 2); }
    std::uint32_t U32(std::size_t offset) const { return Read(offset, 4); }
    std::string_view At(std::size_t offset, std::size_t size) const {
        return Has(offset, size) ? bytes_.substr(offset, size) : std::string_view();
    }

private:
    std::string_view bytes_;
};

struct PeFacts {
    int bits = 0;
    std::string pdb;
    std::string pdbIndex;
};

// The CodeView record "RSDS", GUID, age, PDB name: the symbol store's index
// is the GUID's fields in hex followed by the age.
void ReadCodeView(std::string_view record, PeFacts& facts) {
    constexpr std::size_t kHeader = 4 + 16 + 4;
    if (record.size() <= kHeader || record.substr(0, 4) != "RSDS") return;
    const PeBytes bytes(record);
    char index[64];
    std::snprintf(index, sizeof(index), "%08lX%04lX%04lX", static_cast<unsigned long>(bytes.U32(4)),
                  static_cast<unsigned long>(bytes.U16(8)), static_cast<unsigned long>(bytes.U16(10)));
    std::string pdbIndex = index;
    for (std::size_t i = 12; i < 20; ++i) {
        std::snprintf(index, sizeof(index), "%02X", static_cast<unsigned>(static_cast<unsigned char>(record[i])));
        pdbIndex += index;
    }
    std::snprintf(index, sizeof(index), "%lX", static_cast<unsigned long>(bytes.U32(20)));
    facts.pdbIndex = pdbIndex + index;
    const std::string_view name = record.substr(kHeader);
    facts.pdb = std::string(name.substr(0, name.find('\0')));
}

// Machine and optional header give the bitness; the debug directory, found
// through the section that holds it, the PDB.
PeFacts ReadPe(std::string_view file) {
    PeFacts facts;
    const PeBytes pe(file);
    if (pe.At(0, 2) != "MZ") return facts;
    const std::size_t header = pe.U32(0x3C);
    if (pe.At(header, 4) != std::string_view("PE\0\0", 4)) return facts;
    const std::size_t sectionCount = pe.U16(header + 6);
    const std::size_t optionalSize = pe.U16(header + 20);
    const std::size_t optional = header + 24;
    const std::uint32_t magic = pe.U16(optional);
    if (magic != 0x10B && magic != 0x20B) return facts;
    facts.bits = magic == 0x20B ? 64 : 32;

    constexpr std::size_t kDebugEntry = 6;
    const std::size_t directoryCount = pe.U32(optional + (magic == 0x20B ? 108 : 92));
    if (directoryCount <= kDebugEntry) return facts;
    const std::size_t debugAt = optional + (magic == 0x20B ? 112 : 96) + kDebugEntry * 8;
    const std::uint32_t debugRva = pe.U32(debugAt);
    const std::uint32_t debugSize = pe.U32(debugAt + 4);
    if (debugRva == 0 || debugSize == 0) return facts;
    std::size_t debugOffset = 0;
    for (std::size_t i = 0; i < sectionCount && debugOffset == 0; ++i) {
        const std::size_t section = optional + optionalSize + i * 40;
        if (!pe.Has(section, 40)) return facts;
        const std::uint32_t address = pe.U32(section + 12);
        const std::uint32_t extent = std::max(pe.U32(section + 8), pe.U32(section + 16));
        if (debugRva >= address && debugRva - address < extent) {
            debugOffset = pe.U32(section + 20) + (debugRva - address);
        }
    }
    constexpr std::size_t kEntrySize = 28;
    constexpr std::uint32_t kCodeView = 2;
    for (std::size_t entry = debugOffset; debugOffset != 0 && entry + kEntrySize <= debugOffset + debugSize;
         entry += kEntrySize) {
        if (!pe.Has(entry, kEntrySize)) break;
        if (pe.U32(entry + 12) != kCodeView) continue;
        ReadCodeView(pe.At(pe.U32(entry + 24), pe.U32(entry + 16)), facts);
        break;
    }
    return facts;
}

// The file LoadLibraryW would take for a bare name, for describing a DLL that
// did not load; the name itself when none is found.
std::wstring Located(const std::wstring& name) {
    wchar_t found[MAX_PATH * 4];
    const DWORD length = SearchPathW(nullptr, name.c_str(), nullptr, MAX_PATH * 4, found, nullptr);
    return length > 0 && length < MAX_PATH * 4 ? std::wstring(found, length) : name;
}

bool MatchesHeader(const std::string& fileVersion) { return fileVersion.rfind(VTXBRIDGE_VERSION_STRING ".", 0) == 0; }

}  // namespace

LibraryFacts DiagnoseLibrary(const common::LoadedBridge& bridge, const std::wstring& name,
                             std::vector<Finding>& findings) {
    LibraryFacts facts;
    facts.loaded = bridge.Loaded();
    facts.path = facts.loaded ? common::ModulePath(bridge.Module()) : Located(name);
    if (!facts.loaded) facts.loadError = SystemErrorText(bridge.LoadError());
    facts.missingExports = bridge.Missing();
    facts.fileVersion = FileVersionOf(facts.path);
    facts.matchesHeader = MatchesHeader(facts.fileVersion);
    const common::WholeFile file = common::ReadWholeFile(facts.path, kMaxDllBytes);
    if (file.Ok()) {
        const PeFacts pe = ReadPe(file.contents);
        facts.bits = pe.bits;
        facts.pdb = pe.pdb;
        facts.pdbIndex = pe.pdbIndex;
    }

    const std::string path = common::WideToUtf8(facts.path);
    if (facts.bits != 0 && facts.bits != kOwnBits) {
        findings.push_back({"library",
                            path + " is a " + std::to_string(facts.bits) + "-bit DLL; a " + std::to_string(kOwnBits) +
                                "-bit host cannot load it",
                            "give the host the DLL of its own bitness (the win" + std::to_string(kOwnBits) +
                                " kit's), or run the " + std::to_string(facts.bits) + "-bit vtxcli if the host is " +
                                std::to_string(facts.bits) + "-bit"});
    } else if (!facts.loaded) {
        findings.push_back(
            {"library", "cannot load " + path + ": " + facts.loadError,
             "put the kit's vtxbridge.dll next to the host's executable, or name the host's with --dll"});
    } else if (!facts.missingExports.empty()) {
        findings.push_back({"library",
                            "the DLL lacks " + std::to_string(facts.missingExports.size()) +
                                " of the twenty exports: it is not a vtxbridge.dll of this kit",
                            "replace it with the kit's vtxbridge.dll"});
    }
    if (facts.loaded && !facts.matchesHeader) {
        findings.push_back(
            {"library",
             "the DLL's version is " + (facts.fileVersion.empty() ? std::string("unknown") : facts.fileVersion) +
                 ", this vtxcli's kit is " VTXBRIDGE_VERSION_STRING,
             "if the host should carry this kit's DLL, replace its vtxbridge.dll; otherwise use the vtxcli of the "
             "DLL's own kit"});
    }
    return facts;
}

}  // namespace vtx::cli
