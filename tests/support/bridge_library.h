// vtxbridge.dll loaded the way a host loads it: LoadLibrary, then every
// export resolved by its undecorated name. The exports are members, so a
// test calls library.init(...) as a host calls vtx_init(...).
#pragma once

#include <windows.h>

#include <string>

#include "common/bridge_exports.h"
#include "common/module_path.h"

namespace vtx::test {

class BridgeLibrary : public common::BridgeExports {
public:
    // Loads the DLL from the directory of the running executable, or the
    // one the environment variable VTX_TEST_LIBRARY names.
    BridgeLibrary();
    BridgeLibrary(const BridgeLibrary&) = delete;
    BridgeLibrary& operator=(const BridgeLibrary&) = delete;

    bool Loaded() const { return bridge_.Loaded(); }
    // Names of exports that could not be resolved, separated by spaces;
    // empty when all were.
    const std::string& Missing() const { return missing_; }
    // Unloads now (FreeLibrary); the function pointers are then invalid.
    void Unload() { bridge_.Unload(); }

private:
    common::LoadedBridge bridge_;
    std::string missing_;
};

// The folder of the running executable, with a trailing backslash.
using common::ExecutableFolder;

// Where vtxbridge.dll was mapped, kept out of use once it is unloaded: made
// while the DLL is loaded, Close() reserves its range without access right
// after the unload, so any code of the old load that runs from then on
// faults at once and ends the process.
class ImageFence {
public:
    ImageFence();
    ~ImageFence();
    ImageFence(const ImageFence&) = delete;
    ImageFence& operator=(const ImageFence&) = delete;

    const unsigned char* Base() const { return base_; }
    const unsigned char* End() const { return base_ + size_; }
    // False when the range could not be reserved: the image is still mapped.
    bool Close();

private:
    const unsigned char* base_ = nullptr;
    SIZE_T size_ = 0;
    void* reserved_ = nullptr;
};

}  // namespace vtx::test
