// vtxtesthost.exe: a second process for tests that need more than one.
//
//   vtxtesthost requests <count> <tag>
//       A host: loads vtxbridge.dll, opens a session and sends <count>
//       requests "<tag>-<i>" to a peer that echoes them; exits 0 when every
//       answer was its own request's echo, 1 otherwise.
//   vtxtesthost fuzz-bridge <process id> <count> <seed>
//       Not a host: sends <count> random and mutated WM_COPYDATA messages to
//       the bridge window of another process, as a faulty peer might.
//   vtxtesthost hold-mutex <name> <milliseconds>
//       Not a host: takes the named mutex <name> and keeps it that long, as
//       an unrelated or hung program might.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "support/bridge_library.h"
#include "support/process_windows.h"
#include "transport/envelope.h"

namespace {

int Requests(int count, const std::string& tag) {
    vtx::test::BridgeLibrary library;
    if (!library.Loaded() || !library.Missing().empty()) return 3;
    const int opened = library.init(0, "", 1, nullptr);
    if (opened != 200) {
        std::printf("init: %d\n", opened);
        return 1;
    }
    int mismatches = 0;
    for (int i = 0; i < count; ++i) {
        const std::string request = tag + "-" + std::to_string(i);
        char answer[64];
        unsigned int length = sizeof(answer);
        const int result = library.sendrequestparam(request.c_str(), 0, answer, &length);
        if (result != 200 || request != answer) {
            std::printf("request %s: %d \"%s\"\n", request.c_str(), result, result == 200 ? answer : "");
            ++mismatches;
        }
    }
    return mismatches == 0 ? 0 : 1;
}

// Messages shaped like the real ones, then broken in one way or several.
int FuzzBridge(DWORD processId, int count, unsigned seed) {
    const HWND bridge = vtx::test::BridgeWindowOf(processId);
    if (bridge == nullptr) return 2;
    std::mt19937 random(seed);
    const std::uint32_t codes[] = {1001, 1003, 1005, 1007, 1011, 1013, 1015, 1019, 1021, 1023, 2001,
                                   2003, 2005, 2007, 2011, 2015, 2023, 1009, 2009, 1017, 2013, 1008};
    std::vector<unsigned char> data(sizeof(vtx::MessageEnvelopeW) + 64);
    for (int i = 0; i < count; ++i) {
        const std::uint32_t code = random() % 8 == 0 ? static_cast<std::uint32_t>(random())
                                                     : codes[random() % (sizeof(codes) / sizeof(codes[0]))];
        const std::size_t full = code >= 2000 ? sizeof(vtx::MessageEnvelopeW) : sizeof(vtx::MessageEnvelope);
        std::size_t size = full;
        switch (random() % 6) {
            case 0: size = random() % 64; break;
            case 1: size = full - 1 - random() % 1024; break;
            case 2: size = full + random() % 64; break;
            default: break;
        }
        // Mostly zero with texts, sometimes filled so fields run off their ends.
        const unsigned char fill = random() % 3 == 0 ? static_cast<unsigned char>(random()) : 0;
        std::memset(data.data(), fill, size);
        const std::size_t texts = random() % 64;
        for (std::size_t t = 0; t < texts && size > 8; ++t) data[4 + random() % (size - 8)] = static_cast<unsigned char>(random());
        if (size >= full) {
            const std::int32_t length = random() % 4 == 0 ? static_cast<std::int32_t>(random()) : random() % 100002;
            std::memcpy(&data[code >= 2000 ? offsetof(vtx::MessageEnvelopeW, length) : offsetof(vtx::MessageEnvelope, length)],
                        &length, sizeof(length));
        }
        COPYDATASTRUCT message{code, static_cast<DWORD>(size), random() % 16 == 0 ? nullptr : data.data()};
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(bridge, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&message), SMTO_NORMAL, 5000, &ignored);
    }
    return 0;
}

int HoldMutex(const wchar_t* name, DWORD milliseconds) {
    const HANDLE mutex = ::CreateMutexW(nullptr, TRUE, name);
    if (mutex == nullptr) return 1;
    const DWORD taken = ::WaitForSingleObject(mutex, INFINITE);
    if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) return 1;
    std::printf("holding\n");
    std::fflush(stdout);
    ::Sleep(milliseconds);
    ::ReleaseMutex(mutex);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wcscmp(argv[1], L"requests") == 0) {
        const std::wstring tag(argv[3]);
        return Requests(_wtoi(argv[2]), std::string(tag.begin(), tag.end()));
    }
    if (argc == 5 && std::wcscmp(argv[1], L"fuzz-bridge") == 0) {
        return FuzzBridge(static_cast<DWORD>(_wtoi(argv[2])), _wtoi(argv[3]), static_cast<unsigned>(_wtoi(argv[4])));
    }
    if (argc == 4 && std::wcscmp(argv[1], L"hold-mutex") == 0) {
        return HoldMutex(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
    }
    std::fwprintf(stderr,
                  L"usage: vtxtesthost requests <count> <tag> | fuzz-bridge <pid> <count> <seed>"
                  L" | hold-mutex <name> <milliseconds>\n");
    return 2;
}
