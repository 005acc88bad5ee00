// Readable descriptions of messages for the trace: the envelope fields that
// are not blank, texts in UTF-8 with control characters escaped and the
// payload shortened, so one message fits one line.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vtx::peer {

// Payload characters shown before "...".
inline constexpr std::size_t kShownPayloadUnits = 60;

// "status=200 id=\"r-1\" payload=\"hello\" (5 units)". A message whose code
// and size fit neither form is described by its size only.
std::string DescribeEnvelope(std::uint32_t code, const void* data, std::size_t size);

// "0x0001003A": the form a handle is given back in with `serve ... to=`.
std::string HandleText(HWND window);

// `text` in quotes with quotes, backslashes and control characters escaped.
std::string QuoteForDisplay(const std::string& utf8);

}  // namespace vtx::peer
