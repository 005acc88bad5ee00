#include "script_file.h"

#include "common/whole_file.h"
#include "system_error.h"

namespace vtx::cli {

bool ReadScriptFile(const std::wstring& path, std::string* contents, std::string* error) {
    common::WholeFile file = common::ReadWholeFile(path, common::kMaxScriptBytes);
    switch (file.failure) {
        case common::WholeFile::Failure::None: *contents = std::move(file.contents); return true;
        case common::WholeFile::Failure::Open: *error = "cannot open it: " + SystemErrorText(file.error); break;
        case common::WholeFile::Failure::Size: *error = "cannot read its size: " + SystemErrorText(file.error); break;
        case common::WholeFile::Failure::TooLarge: *error = "it is larger than 16 MB"; break;
        case common::WholeFile::Failure::Read: *error = "cannot read it: " + SystemErrorText(file.error); break;
    }
    return false;
}

}  // namespace vtx::cli
