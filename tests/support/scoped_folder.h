// A fresh temporary folder made the process's current folder for the life of
// the object; the library's log falls back to the current folder when its
// own folder cannot be made, so tests read their own log there.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/test_files.h"

namespace vtx::test {

// The library's own log folder (kLogFolder in src/support/log.cpp). The
// library makes its last level only: without the parent, lines fall back to
// the current folder.
inline constexpr wchar_t kLibraryLogFolder[] = L"C:\\vantix\\log\\vc";

class ScopedCurrentFolder {
public:
    ScopedCurrentFolder();
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

    // Whether the folder was made and is the current folder now.
    bool Entered() const { return entered_; }
    const std::wstring& Path() const { return folder_.Path(); }
    std::wstring File(const std::wstring& name) const { return folder_.File(name); }

private:
    TempDirectory folder_{L"vtxtest"};
    std::wstring previous_;
    bool entered_ = false;
};

// True when the library's own log folder can be made: its lines then go
// there, shared with every other process, instead of to the current folder.
bool LibraryLogFolderExists();

// Ends the running test as skipped when the library's lines would go to the
// machine's shared log instead of this test's current folder.
#define VTX_SKIP_IF_THE_LOG_IS_SHARED()                                                   \
    if (::vtx::test::LibraryLogFolderExists())                                            \
    GTEST_SKIP() << "the library's log folder can be made on this machine: lines go to the shared log"

// The name of today's fallback log ("YYYYMMDD.log", the local date).
std::wstring FallbackLogName();

// The lines of today's fallback log in the current folder, each without its
// "[hh:mm:ss] " stamp; checks every stamp's form on the way.
std::vector<std::string> ReadFallbackLog();

// The lines with each "request ID <id>." shown as "request ID <id>.", for
// lines whose IDs are fresh GUIDs.
std::vector<std::string> WithoutRequestIds(std::vector<std::string> lines);

// How many of `lines` start with `start`.
std::size_t LinesStartingWith(const std::vector<std::string>& lines, const std::string& start);

}  // namespace vtx::test
