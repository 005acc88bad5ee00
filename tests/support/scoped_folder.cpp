#include "support/scoped_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <fstream>
#include <sstream>

namespace vtx::test {
namespace {

bool IsStamp(const std::string& line) {
    // "[hh:mm:ss] "
    if (line.size() < 11 || line[0] != '[' || line[3] != ':' || line[6] != ':' || line[9] != ']' || line[10] != ' ') {
        return false;
    }
    for (int i : {1, 2, 4, 5, 7, 8}) {
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
    }
    return true;
}

}  // namespace

ScopedCurrentFolder::ScopedCurrentFolder() {
    wchar_t buffer[MAX_PATH] = {};
    previous_.assign(buffer, ::GetCurrentDirectoryW(MAX_PATH, buffer));
    entered_ = folder_.Make() && ::SetCurrentDirectoryW(folder_.Path().c_str());
}

// Left before the folder goes with folder_.
ScopedCurrentFolder::~ScopedCurrentFolder() { ::SetCurrentDirectoryW(previous_.c_str()); }

bool LibraryLogFolderExists() {
    std::wstring parent(kLibraryLogFolder);
    parent.erase(parent.find_last_of(L'\\'));
    const DWORD attributes = ::GetFileAttributesW(parent.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring FallbackLogName() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t name[32];
    std::swprintf(name, 32, L"%04u%02u%02u.log", now.wYear, now.wMonth, now.wDay);
    return name;
}

std::vector<std::string> ReadFallbackLog() {
    std::ifstream file(FallbackLogName().c_str(), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();

    std::vector<std::string> lines;
    std::string text = content.str();
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        EXPECT_TRUE(IsStamp(line)) << "line without its stamp: " << line;
        lines.push_back(line.size() >= 11 ? line.substr(11) : line);
    }
    EXPECT_EQ(start, text.size()) << "the last line lacks its CR LF";
    return lines;
}

std::vector<std::string> WithoutRequestIds(std::vector<std::string> lines) {
    static const std::string marker = "request ID ";
    for (std::string& line : lines) {
        const std::size_t at = line.find(marker);
        if (at == std::string::npos) continue;
        const std::size_t end = line.find('.', at);
        line.replace(at + marker.size(), end - at - marker.size(), "<id>");
    }
    return lines;
}

std::size_t LinesStartingWith(const std::vector<std::string>& lines, const std::string& start) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
}

}  // namespace vtx::test
