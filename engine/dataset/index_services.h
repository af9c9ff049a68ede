// Puts the index engine's own routines behind the opening's index services: the bulk build, the tag
// list of an MDX file, the semaphore file name, the build's progress hook and the index driver's open of
// an index for the current area (the driver must be installed on the engine for it to work).
#pragma once

namespace xb {

void InstallDatasetIndexServices();

}  // namespace xb
