// The machine a run measured: processor, cores, Wine version, date, bitness.
#pragma once

#include <windows.h>

#include "results.h"

namespace vtx::bench {

MachineInfo DescribeMachine();

// 32 or 64: the bitness of process `processId` (0 when it cannot be asked).
unsigned BitsOfProcess(DWORD processId);

}  // namespace vtx::bench
