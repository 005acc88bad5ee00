// The log's folder and the day's file, decided on handles, not on paths.
//
// Anyone who can write to the log's folder (or the host's current folder)
// can put a link there, and a link swapped in between a check by path and
// an open by path would send the host's lines (or, elevated, a new file) to
// wherever it points. So nothing here trusts a path it has checked: a file
// is proven plain after it is open, through its handle, by where the system
// says that handle leads; a folder is created only inside a parent proven
// the same way, through the parent's handle.
#pragma once

#include "support/unique_handle.h"

namespace vtx {

enum class LogFolder {
    Ready,    // it exists (or was just made) inside a plain parent
    Absent,   // its parent does not exist: the machine was never set up for it
    Refused,  // its parent is a link, or leads elsewhere: no line goes there
};

// Makes the last level of `folder` when it is missing, inside its parent as
// that parent's handle proves it to be, never through a link on the way.
[[nodiscard]] LogFolder PrepareLogFolder(const wchar_t* folder) noexcept;

// Opens `path` for appending, creating it when missing, if the file opened
// is a plain file (no link, no second name) that lies where `path` says;
// a file this call created anywhere else is removed again through its
// handle. Null when the line is to be skipped.
[[nodiscard]] UniqueFile OpenPlainFileToAppend(const wchar_t* path) noexcept;

}  // namespace vtx
