// A fresh temporary folder made the process's current folder for the life of
// the object; the library's log falls back to the current folder when its
// own folder does not exist, so tests read their own log there.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vtx::test {

class ScopedCurrentFolder {
public:
    ScopedCurrentFolder();
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

    const std::wstring& Path() const { return path_; }

private:
    std::wstring previous_;
    std::wstring path_;
};

// True when the library's own log folder exists: its lines then go there,
// shared with every other process, instead of to the current folder.
bool LibraryLogFolderExists();

// The name of today's fallback log ("YYYYMMDD.log", the local date).
std::wstring FallbackLogName();

// The lines of today's fallback log in the current folder, each without its
// "[hh:mm:ss] " stamp; checks every stamp's form on the way.
std::vector<std::string> ReadFallbackLog();

}  // namespace vtx::test
