// The shipped vtxcli's seam: the library's own judge and log folder. A test
// build links tests/support/diagnose_seam.cpp instead.
#include "diagnosis.h"

namespace vtx::cli {

DiagnoseSeam MakeDiagnoseSeam() { return {}; }

}  // namespace vtx::cli
