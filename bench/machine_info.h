// The machine a run measured: processor, cores, Wine version, date.
#pragma once

#include "results.h"

namespace vtx::bench {

MachineInfo DescribeMachine();

}  // namespace vtx::bench
