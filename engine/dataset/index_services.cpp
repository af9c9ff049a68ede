#include "engine/dataset/index_services.h"

#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_format.h"
#include "engine/index/semaphore_file.h"

namespace xb {

void InstallDatasetIndexServices() {
    DatasetIndexServices& s = IndexServices();
    s.setIndexTo = [](const std::string& mdx) { return SetIndexTo(mdx); };
    s.makeIndex = [](const std::vector<TIndexTagDescriptor>& tags, const std::string& mdx) {
        std::vector<TagDefinition> defs;
        for (const TIndexTagDescriptor& t : tags) {
            TagDefinition d;
            d.name = t.tagName;
            d.keyExpr = t.keyExpr;
            d.forExpr = t.forExpr;
            d.descending = t.descending;
            d.unique = t.unique;
            defs.push_back(d);
        }
        return MakeIndex(defs, mdx);
    };
    s.getIndexTagList = [](const std::string& mdx, std::vector<std::string>& lines) {
        GetIndexTagList(mdx, lines);
        return !lines.empty();
    };
    s.semaphoreFileName = [] { return SemaphoreFileName(); };
    s.setProgressHook = [](std::function<void()> step, int steps) { SetMakeIndexProgress(std::move(step), steps); };
}

}  // namespace xb
