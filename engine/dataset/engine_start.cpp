#include "engine/dataset/engine_start.h"

#include "engine/core/engine.h"
#include "engine/core/memo_ops.h"
#include "engine/core/virtual_file.h"
#include "engine/dataset/index_services.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"

namespace xb {

void InstallEngineUnits(Engine& engine) {
    InstallExpressionEngine(engine);
    InstallMemoUnit(engine);
    InstallIndexEngine(engine);
    InstallVirtualFiles(engine);
    InstallDatasetIndexServices();
}

}  // namespace xb
