// vtxhostile.exe: what another program on the host's desktop can do to it,
// for the tests of what docs/security.md promises (hostile_desktop_test.cpp).
//
//   vtxhostile set-userdata <hwnd> <value>
//       Sets GWLP_USERDATA of window <hwnd>; exits 0 when the window holds
//       <value> afterwards.
//   vtxhostile forge-nccreate <hwnd> <value>
//       Sends window <hwnd> a WM_NCCREATE whose creation parameter is
//       <value>; exits 0 when it was delivered.
//   vtxhostile hold-log-lock <file> <event>
//       Opens <file> for reading, as any reader of the log may, takes the
//       byte the library locks for each append, and keeps it until the
//       named event <event> is set (60 s at most).
//   vtxhostile deny-and-churn-windows
//       Refuses itself to every process, then makes and destroys top-level
//       windows of class VantixConnect, each a moment after the next, until
//       it is ended.
//   vtxhostile deny-and-make-windows <n>
//       Refuses itself to every process, then makes <n> such windows and
//       keeps them until it is ended.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "support/unique_handle.h"
#include "transport/window_names.h"

namespace {

using vtx::UniqueFile;
using vtx::UniqueHandle;

LONG_PTR Number(const wchar_t* text) { return static_cast<LONG_PTR>(std::wcstoull(text, nullptr, 0)); }
HWND WindowOf(const wchar_t* text) { return reinterpret_cast<HWND>(Number(text)); }

int SetUserData(HWND window, LONG_PTR value) {
    ::SetLastError(0);
    if (::SetWindowLongPtrW(window, GWLP_USERDATA, value) == 0 && ::GetLastError() != 0) return 1;
    return ::GetWindowLongPtrW(window, GWLP_USERDATA) == value ? 0 : 1;
}

// The system carries the creation structure to the window's process, with
// the parameter as it is.
int ForgeNcCreate(HWND window, LONG_PTR value) {
    CREATESTRUCTW creation{};
    creation.lpCreateParams = reinterpret_cast<void*>(value);
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&creation), SMTO_NORMAL, 5000,
                                 &result) != 0
               ? 0
               : 1;
}

int HoldLogLock(const wchar_t* path, const wchar_t* eventName) {
    const UniqueHandle letGo(::OpenEventW(SYNCHRONIZE, FALSE, eventName));
    const UniqueFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    OVERLAPPED range{};
    range.OffsetHigh = 0x7FFFFFFF;
    if (!letGo || !file || !::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range)) return 1;
    return ::WaitForSingleObject(letGo.get(), 60000) == WAIT_OBJECT_0 ? 0 : 1;
}

// No process can open this one from now on, so none can judge its windows.
bool DenyEveryone() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;GA;;;WD)", SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        return false;
    }
    const BOOL denied = ::SetKernelObjectSecurity(::GetCurrentProcess(), DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    return denied != FALSE;
}

// A top-level window of the peer's class, never shown; a later one lies
// ahead of every earlier one in Z-order.
HWND MakePeerClassWindow() {
    return ::CreateWindowExW(0, vtx::kPeerClassName, L"vtxhostile", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

bool DenyAndRegister() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = vtx::kPeerClassName;
    return DenyEveryone() && ::RegisterClassW(&windowClass) != 0;
}

void DrainMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
}

int ChurnWindows() {
    if (!DenyAndRegister()) return 1;
    HWND older = nullptr;
    for (;;) {
        const HWND newer = MakePeerClassWindow();
        if (older != nullptr) ::DestroyWindow(older);
        older = newer;
        DrainMessages();
    }
}

int MakeWindows(int count) {
    if (!DenyAndRegister()) return 1;
    for (int i = 0; i < count; ++i) {
        if (MakePeerClassWindow() == nullptr) return 1;
    }
    for (;;) {
        DrainMessages();
        ::Sleep(10);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (argc == 4 && command == L"set-userdata") return SetUserData(WindowOf(argv[2]), Number(argv[3]));
    if (argc == 4 && command == L"forge-nccreate") return ForgeNcCreate(WindowOf(argv[2]), Number(argv[3]));
    if (argc == 4 && command == L"hold-log-lock") return HoldLogLock(argv[2], argv[3]);
    if (argc == 2 && command == L"deny-and-churn-windows") return ChurnWindows();
    if (argc == 3 && command == L"deny-and-make-windows") return MakeWindows(_wtoi(argv[2]));
    std::fwprintf(stderr,
                  L"usage: vtxhostile set-userdata <hwnd> <value> | forge-nccreate <hwnd> <value>"
                  L" | hold-log-lock <file> <event> | deny-and-churn-windows | deny-and-make-windows <n>\n");
    return 2;
}
