// Puts the index engine's own routines behind the opening's index services: opening an area's index,
// the bulk build, the tag list of an MDX file, the semaphore file name and the build's progress hook.
// Without them (a dataset layer started without the index engine) an open that needs an index fails
// with "Index engine not linked in [SetIndexTo]".
#pragma once

namespace xb {

void InstallDatasetIndexServices();

}  // namespace xb
