// Writes every received message's bytes to a directory, one file each, so a
// test in another process can check exactly what arrived.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vtx::peer {

class RecordDirectory {
    struct OpenKey {
        explicit OpenKey() = default;
    };

public:
    // Creates the directory unless it exists. Null with `error` set when
    // neither works.
    static std::unique_ptr<RecordDirectory> Open(const std::wstring& directory, std::string* error);

    // Writes `<directory>\<sequence>-<code>.bin`: the `size` bytes at `data`,
    // nothing more. Sequences start at 000001 and count every message. The
    // file appears whole: it is written as `<sequence>-<code>.partial` and
    // then renamed, so readers look for `*.bin` only. False when the file
    // could not be written.
    bool Write(std::uint32_t code, const void* data, std::size_t size);

    // Name of the file holding message `sequence` (1-based) with `code`.
    static std::wstring FileName(std::uint32_t sequence, std::uint32_t code);

    RecordDirectory(OpenKey, std::wstring directory);

private:
    std::wstring directory_;
    std::uint32_t sequence_ = 0;
};

}  // namespace vtx::peer
