// Starts every unit of the engine on an engine, in the order the units start in the program: the
// expression compiler, the memo unit, the index engine, the virtual files, then the dataset layer's
// index services. Ends with the engine at the end of the run (its finalizers, newest first).
#pragma once

namespace xb {

class Engine;

void InstallEngineUnits(Engine& engine);

}  // namespace xb
