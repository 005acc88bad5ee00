// What a result code means for the command that produced it. Exports that
// pass the peer's status on may return any number; only the codes the
// library itself produces for that export get the library's meaning.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "command.h"

namespace vtx::cli {

// "ok", "not open", "peer status", ...
std::string_view MeaningOf(Verb verb, int result);

// The code in the library's error text {"eventId":9999, "jobId":"", "code":N},
// as the header's vtx_errortextcode reads it; nullopt for any other text.
std::optional<int> ErrorTextCode(std::string_view utf8);

}  // namespace vtx::cli
