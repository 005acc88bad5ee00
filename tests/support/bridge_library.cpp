#include "support/bridge_library.h"

namespace vtx::test {
namespace {

// The DLL next to the test, or the one VTX_TEST_LIBRARY names: the Clang
// build's, for the export suite's run against the second compiler's DLL.
std::wstring LibraryPath() {
    wchar_t chosen[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(L"VTX_TEST_LIBRARY", chosen, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return ExecutableFolder() + L"vtxbridge.dll";
    std::wstring path(chosen, length);
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

}  // namespace

BridgeLibrary::BridgeLibrary() : bridge_(LibraryPath()) {
    static_cast<common::BridgeExports&>(*this) = bridge_.Exports();
    for (const std::string& name : bridge_.Missing()) missing_ += (missing_.empty() ? "" : " ") + name;
}

}  // namespace vtx::test

namespace vtx::test {

ImageFence::ImageFence() {
    base_ = reinterpret_cast<const unsigned char*>(GetModuleHandleW(L"vtxbridge.dll"));
    if (base_ == nullptr) return;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base_);
    size_ = reinterpret_cast<const IMAGE_NT_HEADERS*>(base_ + dos->e_lfanew)->OptionalHeader.SizeOfImage;
}

ImageFence::~ImageFence() {
    if (reserved_ != nullptr) VirtualFree(reserved_, 0, MEM_RELEASE);
}

bool ImageFence::Close() {
    if (base_ == nullptr) return false;
    reserved_ = VirtualAlloc(const_cast<unsigned char*>(base_), size_, MEM_RESERVE, PAGE_NOACCESS);
    return reserved_ == base_;
}

}  // namespace vtx::test
