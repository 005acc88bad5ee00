#include "support/bridge_path.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

#include "support/unique_handle.h"

namespace vtx {
namespace {

constexpr wchar_t kKey[] = L"Software\\vantix_v40";
constexpr wchar_t kValue[] = L"bridgepath";

std::optional<std::wstring> BridgeFolderOf(const std::wstring& path) {
    const std::optional<std::size_t> length = BridgeFolderLength(path.c_str(), path.size());
    if (!length) return std::nullopt;
    return path.substr(0, *length);
}
void PublishBridgePathFrom(const std::wstring& path) { vtx::PublishBridgePathFrom(path.c_str(), path.size()); }

TEST(BridgeFolderOf, CutsAtTheLastSeparator) {
    const struct {
        const wchar_t* path;
        std::optional<std::wstring> folder;
    } cases[] = {
        {L"C:\\Chart\\chart.exe", L"C:\\Chart"},
        {L"C:\\chart.exe", L"C:"},
        {L"C:/Chart/bin/chart.exe", L"C:/Chart/bin"},
        {L"C:\\Chart/bin\\chart.exe", L"C:\\Chart/bin"},
        {L"C:/Chart\\bin/chart.exe", L"C:/Chart\\bin"},
        {L"\\\\server\\share\\chart.exe", L"\\\\server\\share"},
        {L"C:\\Chart\\", L"C:\\Chart"},
        {L"\\chart.exe", L""},
        {L"chart.exe", std::nullopt},
        {L"C:chart.exe", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(BridgeFolderOf(c.path), c.folder) << std::wstring(c.path).size();
    EXPECT_EQ(BridgeFolderOf(L"C:\\Program Files\\Chart\\chart.exe").value_or(L"").size(), 22u);
}

struct StoredValue {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

StoredValue ReadBridgeValue() {
    StoredValue stored;
    HKEY rawKey = nullptr;
    stored.status = ::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &rawKey);
    if (stored.status != ERROR_SUCCESS) return stored;
    const UniqueKey key(rawKey);
    DWORD size = 0;
    stored.status = ::RegQueryValueExW(key.get(), kValue, nullptr, &stored.type, nullptr, &size);
    if (stored.status != ERROR_SUCCESS) return stored;
    stored.bytes.resize(size);
    stored.status = ::RegQueryValueExW(key.get(), kValue, nullptr, &stored.type, stored.bytes.data(), &size);
    stored.bytes.resize(size);
    return stored;
}

std::vector<BYTE> BytesOf(const std::wstring& text) {
    const auto* begin = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(begin, begin + text.size() * sizeof(wchar_t));
}

// Test processes run in parallel under one prefix and publish other folders
// into the same value. A write whose read-back shows a foreign folder is
// repeated; a real fault shows on every attempt.
StoredValue PublishAndReadBack(void (*publish)(), const std::wstring& folder) {
    StoredValue stored;
    for (int attempt = 0; attempt < 50; ++attempt) {
        publish();
        stored = ReadBridgeValue();
        const std::vector<BYTE> expected = BytesOf(folder);
        const bool ours = stored.bytes.size() >= expected.size() &&
                          std::equal(expected.begin(), expected.end(), stored.bytes.begin()) &&
                          std::all_of(stored.bytes.begin() + static_cast<std::ptrdiff_t>(expected.size()),
                                      stored.bytes.end(), [](BYTE b) { return b == 0; });
        if (stored.status == ERROR_SUCCESS && ours) break;
        ::Sleep(10);
    }
    return stored;
}

// The value is written with the characters' byte count alone. The system
// itself then stores one terminator more when the unit right after the counted
// data is a NUL, as it is after every std::wstring: the characters must be
// exact, and anything beyond them that one NUL unit.
void ExpectStoredFolder(const StoredValue& stored, const std::wstring& folder) {
    ASSERT_EQ(stored.status, ERROR_SUCCESS);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    std::vector<BYTE> expected = BytesOf(folder);
    if (stored.bytes.size() == expected.size() + sizeof(wchar_t)) expected.resize(stored.bytes.size(), 0);
    EXPECT_EQ(stored.bytes, expected);
}

const std::wstring kProgramFilesFolder = L"C:\\Program Files\\Chart";

void PublishProgramFilesChart() { PublishBridgePathFrom(L"C:\\Program Files\\Chart\\chart.exe"); }

TEST(BridgePath, StoresTheFolderCharacters) {
    const StoredValue stored = PublishAndReadBack(&PublishProgramFilesChart, kProgramFilesFolder);
    ExpectStoredFolder(stored, kProgramFilesFolder);
    EXPECT_GE(stored.bytes.size(), 44u);
}

void PublishRootFile() { PublishBridgePathFrom(L"\\chart.exe"); }

TEST(BridgePath, CountsNoTerminator) {
    // With nothing before the separator the system has no character to add a
    // terminator after, so what is stored is exactly the count passed.
    const StoredValue stored = PublishAndReadBack(&PublishRootFile, L"");
    ASSERT_EQ(stored.status, ERROR_SUCCESS);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.bytes.size(), 0u) << "the byte count included the terminator";
}

TEST(BridgePath, CreatesTheKeyWhenMissing) {
    // The only test that deletes the key: the others merely overwrite it.
    const LONG deleted = ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    ASSERT_TRUE(deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) << deleted;
    ExpectStoredFolder(PublishAndReadBack(&PublishProgramFilesChart, kProgramFilesFolder), kProgramFilesFolder);
}

TEST(BridgePath, PublishesTheFolderOfTheRunningExecutable) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::optional<std::wstring> folder = BridgeFolderOf(self);
    ASSERT_TRUE(folder.has_value());
    ExpectStoredFolder(PublishAndReadBack(&PublishBridgePath, *folder), *folder);
}

TEST(BridgePath, WritesNothingForAPathWithoutFolder) {
    // The marker must survive the calls without a folder; should another
    // process overwrite it meanwhile, the round is simply repeated.
    const auto publishMarkerThenNoFolder = [] {
        PublishBridgePathFrom(L"C:\\unchanged-marker\\chart.exe");
        PublishBridgePathFrom(L"chart.exe");
        PublishBridgePathFrom(L"");
    };
    ExpectStoredFolder(PublishAndReadBack(publishMarkerThenNoFolder, L"C:\\unchanged-marker"), L"C:\\unchanged-marker");
}

}  // namespace
}  // namespace vtx
