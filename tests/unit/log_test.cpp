#include "support/log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "component_probes.h"
#include "support/child_process.h"
#include "support/scoped_folder.h"
#include "support/test_files.h"
#include "support/unique_handle.h"

namespace vtx {
namespace {

using test::PathExists;
using test::ReadFileText;

void WriteAll(const std::wstring& path, const std::string& content) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
}

constexpr LogClockReading kMorning = {true, 2025, 4, 16, 9, 5, 7};
constexpr LogClockReading kUnconverted = {false, -1, -1, -1, -1, -1, -1};

std::wstring LogFilePath(const std::wstring& folder, bool usable, const LogClockReading& reading) {
    wchar_t path[1024];
    return vtx::LogFilePath(folder.c_str(), usable, reading, path, 1024) ? path : L"(does not fit)";
}
void WriteLogTo(const std::wstring& folder, const LogClockReading& reading, const std::string& message) {
    vtx::WriteLogTo(folder.c_str(), reading, LogText(message.c_str()));
}

TEST(LogFilePath, DatedNamesAndFallbacks) {
    const std::wstring folder = L"D:\\logs\\vc";  // any folder
    const struct {
        LogClockReading reading;
        bool usable;
        const wchar_t* path;
    } cases[] = {
        {kMorning, true, L"D:\\logs\\vc\\bridge_20250416.log"},
        {kMorning, false, L"20250416.log"},
        {{true, 2025, 3, 1, 0, 0, 0}, true, L"D:\\logs\\vc\\bridge_20250301.log"},
        {{true, 2025, 11, 30, 0, 0, 0}, false, L"20251130.log"},
        {{true, 987, 1, 2, 0, 0, 0}, false, L"9870102.log"},  // the year is never padded
        {kUnconverted, true, L"D:\\logs\\vc\\bridge_19700101.log"},
        {kUnconverted, false, L"19700101.log"},
    };
    for (const auto& c : cases) EXPECT_EQ(LogFilePath(folder, c.usable, c.reading), c.path) << c.usable;
    EXPECT_EQ(LogFilePath(std::wstring(1100, L'f'), true, kMorning), L"(does not fit)");
}

TEST(LogClock, ReadsTheLocalDate) {
    SYSTEMTIME before = {};
    ::GetLocalTime(&before);
    const LogClockReading reading = ReadLocalClock();
    ASSERT_TRUE(reading.converted);
    // Compared by date only, so a second ticking over in between is no failure.
    EXPECT_EQ(reading.year, before.wYear);
    EXPECT_EQ(reading.month, before.wMonth);
    EXPECT_EQ(reading.day, before.wDay);
    EXPECT_TRUE(reading.hour >= 0 && reading.hour <= 23 && reading.minute >= 0 && reading.minute <= 59);
}

TEST(LogWrite, FilesAndLines) {
    struct Write {
        LogClockReading reading;
        const char* message;
    };
    struct File {
        const wchar_t* name;
        const char* content;
    };
    const struct {
        const char* what;
        const char* existing;  // earlier content of the first file, if any
        std::vector<Write> writes;
        std::vector<File> files;
    } cases[] = {
        {"exact bytes in a new folder", nullptr, {{kMorning, "message"}},
         {{L"bridge_20250416.log", "[09:05:07] message\r\n"}}},
        {"one second keeps call order", nullptr, {{kMorning, "first"}, {kMorning, "second"}, {kMorning, "first"}},
         {{L"bridge_20250416.log", "[09:05:07] first\r\n[09:05:07] second\r\n[09:05:07] first\r\n"}}},
        {"midnight starts a new file", nullptr,
         {{{true, 2025, 4, 30, 23, 59, 59}, "before"}, {{true, 2025, 5, 1, 0, 0, 0}, "after"}},
         {{L"bridge_20250430.log", "[23:59:59] before\r\n"}, {L"bridge_20250501.log", "[00:00:00] after\r\n"}}},
        {"an existing file is appended", "earlier session\r\n", {{kMorning, "now"}},
         {{L"bridge_20250416.log", "earlier session\r\n[09:05:07] now\r\n"}}},
        {"failed conversion", nullptr, {{kUnconverted, "no clock"}},
         {{L"bridge_19700101.log", "[-1:-1:-1] no clock\r\n"}}},
    };
    for (const auto& c : cases) {
        const test::TempDirectory temp(L"vtxlog");
        ASSERT_TRUE(temp.Make());
        const std::wstring folder = temp.File(L"vc");
        if (c.existing) {
            ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
            WriteAll(folder + L"\\" + c.files.front().name, c.existing);
        }
        for (const Write& write : c.writes) WriteLogTo(folder, write.reading, write.message);
        for (const File& file : c.files) EXPECT_EQ(ReadFileText(folder + L"\\" + file.name), file.content) << c.what;
    }
}

TEST(LogWrite, MissingParentFallsBackToTheCurrentDirectory) {
    const test::ScopedCurrentFolder temp;
    ASSERT_TRUE(temp.Entered());
    const std::wstring folder = temp.File(L"log\\vc");
    WriteLogTo(folder, kMorning, "fallback");
    WriteLogTo(folder, kUnconverted, "fallback, no clock");
    EXPECT_FALSE(PathExists(temp.File(L"log"))) << "only the last level is ever created";
    EXPECT_EQ(ReadFileText(temp.File(L"20250416.log")), "[09:05:07] fallback\r\n");
    EXPECT_EQ(ReadFileText(temp.File(L"19700101.log")), "[-1:-1:-1] fallback, no clock\r\n");
}

TEST(LogWrite, UnopenableFileDropsTheLineSilently) {
    const test::ScopedCurrentFolder temp;
    ASSERT_TRUE(temp.Entered());
    // A file where the folder should be: it "already exists", so no fallback,
    // and the log file under it cannot be opened.
    WriteAll(temp.File(L"vc"), "not a folder");
    WriteLogTo(temp.File(L"vc"), kMorning, "dropped");
    EXPECT_EQ(ReadFileText(temp.File(L"vc")), "not a folder");
    EXPECT_FALSE(PathExists(temp.File(L"20250416.log")));
}

// The day's file as a second name of another file (a hard link) or a
// symbolic link to one, a log folder reached through a symbolic link, and a
// log folder not made yet whose parent is a link: each line is skipped, and
// the other file and folder stay as they were.
TEST(LogWrite, LinksAreLeftAlone) {
    const test::ScopedCurrentFolder temp;  // for a line that falls back
    ASSERT_TRUE(temp.Entered());
    const std::wstring folder = temp.File(L"vc");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring target = temp.File(L"elsewhere.txt");
    WriteAll(target, "someone else's\r\n");
    const std::wstring day = folder + L"\\bridge_20250416.log";

    WriteLogTo(folder, kMorning, "plain");
    EXPECT_EQ(ReadFileText(day), "[09:05:07] plain\r\n");
    ASSERT_TRUE(::DeleteFileW(day.c_str()));

    ASSERT_TRUE(::CreateHardLinkW(day.c_str(), target.c_str(), nullptr));
    WriteLogTo(folder, kMorning, "through a hard link");
    EXPECT_EQ(ReadFileText(target), "someone else's\r\n");
    ASSERT_TRUE(::DeleteFileW(day.c_str()));

    const std::wstring linkedFolder = temp.File(L"linked");
    if (!test::MakeSymbolicLink(linkedFolder, folder)) GTEST_SKIP() << "no symbolic link can be made here";
    WriteLogTo(linkedFolder, kMorning, "through a linked folder");
    EXPECT_FALSE(PathExists(day)) << "a line went through the linked folder";

    const std::wstring otherParent = temp.File(L"other");
    ASSERT_TRUE(::CreateDirectoryW(otherParent.c_str(), nullptr));
    const std::wstring linkedParent = temp.File(L"linkedParent");
    ASSERT_TRUE(test::MakeSymbolicLink(linkedParent, otherParent));
    WriteLogTo(linkedParent + L"\\vc", kMorning, "under a linked parent");
    EXPECT_FALSE(PathExists(otherParent + L"\\vc")) << "the log folder was made inside the link's target";

    if (!test::MakeSymbolicLink(day, target)) GTEST_SKIP() << "no symbolic link to a file can be made here";
    WriteLogTo(folder, kMorning, "through a symbolic link");
    EXPECT_EQ(ReadFileText(target), "someone else's\r\n");
}

// Checks that `content` holds, for each writer w, its lines
// "<w> <i> <padding>" for i = 0 .. linesOf[w] - 1, in order, each whole.
void ExpectEveryLineWhole(const std::string& content, const std::vector<int>& linesOf, const std::string& padding) {
    std::map<int, int> nextOfWriter;
    std::size_t start = 0;
    int seen = 0;
    while (start < content.size()) {
        const std::size_t end = content.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "the last line is cut";
        const std::string line = content.substr(start, end - start);
        start = end + 2;
        ++seen;
        int w = -1;
        int i = -1;
        char rest[200] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "[09:05:07] %d %d %199s", &w, &i, rest), 3) << line;
        ASSERT_EQ(rest, padding) << line;
        ASSERT_EQ(i, nextOfWriter[w]) << "a line of writer " << w << " is missing or out of order";
        ++nextOfWriter[w];
    }
    for (std::size_t w = 0; w < linesOf.size(); ++w) {
        EXPECT_EQ(nextOfWriter[static_cast<int>(w)], linesOf[w]) << "writer " << w;
        seen -= linesOf[w];
    }
    EXPECT_EQ(seen, 0) << "lines of unknown writers";
}

void WriteNumberedLines(const std::wstring& folder, int writer, int lines, const std::string& padding) {
    for (int i = 0; i < lines; ++i) {
        WriteLogTo(folder, kMorning, std::to_string(writer) + " " + std::to_string(i) + " " + padding);
    }
}

TEST(LogWrite, ConcurrentWritersLoseAndMixNoLine) {
    const test::TempDirectory temp(L"vtxlog");
    ASSERT_TRUE(temp.Make());
    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    const std::string padding(120, '.');
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] { WriteNumberedLines(temp.Path(), t, kLines, padding); });
    }
    for (auto& writer : writers) writer.join();
    ExpectEveryLineWhole(ReadFileText(temp.File(L"bridge_20250416.log")), std::vector<int>(kThreads, kLines), padding);
}

// The library's lock serialises the writers of one process only: across
// processes it is the file's sharing and the single append that keep every
// line. This test runs again as the second process, told by the variable.
constexpr wchar_t kSecondWriterVariable[] = L"VTX_LOG_SECOND_WRITER";

TEST(LogWrite, TwoProcessesWritingAtOnceLoseAndMixNoLine) {
    constexpr int kLines = 4000;
    const std::string padding(120, '.');
    wchar_t given[MAX_PATH + 1] = {};
    if (::GetEnvironmentVariableW(kSecondWriterVariable, given, MAX_PATH + 1) != 0) {
        WriteNumberedLines(given, 1, kLines, padding);
        return;
    }
    const test::TempDirectory temp(L"vtxlog");
    ASSERT_TRUE(temp.Make());
    test::ChildProcess::Outcome second;
    std::atomic<bool> secondEnded{false};
    std::thread child([&] {
        second = test::ChildProcess::RunThisTestAgain({{kSecondWriterVariable, temp.Path()}}, std::chrono::seconds(120));
        secondEnded = true;
    });
    // This process writes from the other's first line until it has ended, so
    // every line of the other meets lines of this one.
    const std::wstring file = temp.File(L"bridge_20250416.log");
    while (!PathExists(file) && !secondEnded.load()) ::Sleep(1);
    int written = 0;
    while (!secondEnded.load() || written < kLines) {
        WriteLogTo(temp.Path(), kMorning, "0 " + std::to_string(written++) + " " + padding);
    }
    child.join();
    ASSERT_TRUE(second.ended && second.exitCode == 0) << second.output;
    ExpectEveryLineWhole(ReadFileText(file), {written, kLines}, padding);
}

int g_clockReads = 0;
LogClockReading InjectedClock() {
    ++g_clockReads;
    return {true, 2091, 2, 3, 4, 5, 6};
}

// Restores the real clock even when an assertion ends the test early.
struct InjectedClockScope {
    const StandIn<LogClockReading (*)()> clock{stand_in::clock, &InjectedClock};
};

TEST(LogWriteLog, ReadsTheInjectedClockOnceAndRestoresTheRealOne) {
    // The default folder's parent is never created by the tests, so the line
    // falls back to the current directory; a machine set up for logging would
    // receive test lines in its real log instead.
    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    const test::ScopedCurrentFolder temp;
    ASSERT_TRUE(temp.Entered());
    {
        const InjectedClockScope injected;
        g_clockReads = 0;
        WriteLog("injected");
        EXPECT_EQ(g_clockReads, 1);
        EXPECT_EQ(ReadFileText(temp.File(L"20910203.log")), "[04:05:06] injected\r\n");
    }

    const LogClockReading before = ReadLocalClock();
    WriteLog("real clock");
    const LogClockReading after = ReadLocalClock();
    EXPECT_EQ(g_clockReads, 1) << "the injected clock was not released";
    std::string written = ReadFileText(temp.File(LogFilePath(L"", false, before)));
    if (written.empty()) written = ReadFileText(temp.File(LogFilePath(L"", false, after)));  // midnight passed
    ASSERT_EQ(written.size(), std::string("[hh:mm:ss] real clock\r\n").size()) << written;
    EXPECT_EQ(written.substr(10), " real clock\r\n");
}

// C:\vantix\log made for real, and everything in it removed again. It
// runs alone (machine_log.unit_tests, tests/unit/CMakeLists.txt): meanwhile
// every other process's lines would go there.
class MachineLogParent {
public:
    MachineLogParent() {
        std::wstring parent(test::kLibraryLogFolder);
        parent.erase(parent.find_last_of(L'\\'));
        const std::wstring root = parent.substr(0, parent.find_last_of(L'\\'));
        for (const std::wstring& folder : {root, parent}) {
            if (::CreateDirectoryW(folder.c_str(), nullptr)) made_.push_back(folder);
        }
        made = !made_.empty() && made_.back() == parent;
    }
    ~MachineLogParent() {
        ::DeleteFileW(DayFile().c_str());
        ::RemoveDirectoryW(test::kLibraryLogFolder);
        for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder) ::RemoveDirectoryW(folder->c_str());
    }
    MachineLogParent(const MachineLogParent&) = delete;
    MachineLogParent& operator=(const MachineLogParent&) = delete;

    bool made = false;  // the parent, by this object
    static std::wstring DayFile() { return std::wstring(test::kLibraryLogFolder) + L"\\bridge_20910203.log"; }

private:
    std::vector<std::wstring> made_;
};

TEST(LogWriteLog, GoesToTheMachinesFolderOnceItsParentExists) {
    if (::GetEnvironmentVariableW(L"VTX_TEST_MACHINE_LOG", nullptr, 0) == 0) {
        GTEST_SKIP() << "runs alone, as machine_log.unit_tests: it makes the machine's log folder";
    }
    VTX_SKIP_IF_THE_LOG_IS_SHARED();  // a machine set up for logging: not ours to remove
    const test::ScopedCurrentFolder temp;
    ASSERT_TRUE(temp.Entered());
    const MachineLogParent parent;
    ASSERT_TRUE(parent.made);
    {
        const InjectedClockScope injected;
        WriteLog("machine");
    }
    EXPECT_EQ(ReadFileText(MachineLogParent::DayFile()), "[04:05:06] machine\r\n");
    EXPECT_FALSE(PathExists(temp.File(L"20910203.log"))) << "fell back to the current folder";
}

}  // namespace
}  // namespace vtx
