// Puts the index engine's own routines behind the opening's index services: the bulk build, the tag
// list of an MDX file, the semaphore file name and the build's progress hook. Opening an index for an
// area belongs to the index driver; until it is installed, setIndexTo stays empty and an open that
// needs it fails with "Index engine not linked in [SetIndexTo]".
#pragma once

namespace xb {

void InstallDatasetIndexServices();

}  // namespace xb
