// The log's folder and the day's file, decided on handles, not on paths.
//
// Anyone who can write to the log's folder (or the host's current folder)
// can put a link there, and a link swapped in between a check by path and
// an open by path would send the host's lines (or, elevated, a new file) to
// wherever it points. So no path is trusted once checked: a folder is
// reached from its drive's root one name at a time, each opened inside the
// handle of the one before and proven a plain folder through its own
// handle and its parent's listing (the entry of that name is no link, and
// is the very folder opened); the file is made or opened inside the last
// folder's handle and proven the same way, and by where its handle leads.
// Nothing a rename does afterwards changes where a handle is.
#pragma once

#include "support/unique_handle.h"

namespace vtx {

enum class LogFolder {
    Ready,    // every folder on the way is plain (the last just made, maybe)
    Absent,   // a folder on the way does not exist
    Refused,  // a folder on the way is a link, or not the one its name shows
};

// Opens the folder at the absolute or relative path `folder`, every level of
// it proven plain; with `makeLast`, its last level is made when missing
// (inside its parent's handle, so never through a link). Null unless Ready.
[[nodiscard]] UniqueFile OpenPlainFolder(const wchar_t* folder, bool makeLast, LogFolder& state) noexcept;

// Opens the file `name` inside `folder` (a handle from OpenPlainFolder) for
// appending, making it when missing, if it is a plain file with one name
// lying in that folder; one this call made that turns out otherwise is
// removed again through its handle. Null when the line is to be skipped.
[[nodiscard]] UniqueFile OpenPlainFileToAppend(HANDLE folder, const wchar_t* name) noexcept;

}  // namespace vtx
