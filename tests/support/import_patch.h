// Points one import of a loaded module at another function for as long as
// the patch lives: lets a test change what the library sees of the system
// (its wall clock, say) and nothing else of the process.
#pragma once

#include <windows.h>

namespace vtx::test {

class ImportPatch {
public:
    // Patches the import of `function` from `dll` (names compared without
    // case) in `module`'s import table. Applied() is false when the module
    // does not import it.
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Applied() const { return slot_ != nullptr; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

}  // namespace vtx::test
