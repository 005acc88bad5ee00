// The two forms of a run's figures: a table for people, JSON for scripts.
#pragma once

#include <string>

#include "results.h"

namespace vtx::bench {

std::string TextReport(const Results& results);
std::string JsonReport(const Results& results);

}  // namespace vtx::bench
