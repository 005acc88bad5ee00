#include "support/bridge_library.h"

namespace vtx::test {

BridgeLibrary::BridgeLibrary() : bridge_(ExecutableFolder() + L"vtxbridge.dll") {
    static_cast<common::BridgeExports&>(*this) = bridge_.Exports();
    for (const std::string& name : bridge_.Missing()) missing_ += (missing_.empty() ? "" : " ") + name;
}

}  // namespace vtx::test
