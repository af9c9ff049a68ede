#include "engine/dataset/index_services.h"

#include <memory>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"

#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_format.h"
#include "engine/index/semaphore_file.h"

namespace xb {

void InstallDatasetIndexServices() {
    DatasetIndexServices& s = IndexServices();
    // An open that verifies the index asks for its tag list and then opens it. The list is taken from
    // an open of the index in the current area, which stays open for the open that follows: the file's
    // header and tag headers are read once, under the semaphore's look as every open reads them. An open
    // that fails lists the file as it stands, and the open that follows reports that failure as its own
    // (without trying again), as it would have met it.
    struct Verified {
        std::string path;
        int area = 0;
        uint16_t failure = 0;
        std::string detail;
    };
    auto verified = std::make_shared<Verified>();
    s.setIndexTo = [verified](const std::string& mdx) {
        const Verified v = *verified;
        *verified = Verified{};
        if (v.path.empty() || v.path != mdx || v.area != SelectedArea()) return SetIndexTo(mdx);
        if (v.failure == 0) return IndexIsOpen() || SetIndexTo(mdx);
        SetEngineError(v.failure, v.detail);
        if (!Engine::current().errors.trapping) throw EEngineError(ErrorText(v.failure) + "\r\n" + v.detail);
        return false;
    };
    s.getIndexTagList = [verified](const std::string& mdx, std::vector<std::string>& lines) {
        *verified = Verified{};
        ErrorState& errors = Engine::current().errors;
        const ErrorState saved = errors;
        errors.trapping = false;
        errors.lastError = 0;
        bool opened = false;
        try {
            opened = SetIndexTo(mdx);
        } catch (const EEngineError&) {
        }
        verified->path = mdx;
        verified->area = SelectedArea();
        if (!opened) {
            verified->failure = errors.lastError != 0 ? errors.lastError : 221;
            verified->detail = errors.detail;
        }
        errors = saved;
        if (opened)
            OpenIndexTagList(lines);
        else
            GetIndexTagList(mdx, lines);
        return !lines.empty();
    };
    s.makeIndex = [verified](const std::vector<TIndexTagDescriptor>& tags, const std::string& mdx) {
        *verified = Verified{};
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
    s.closeIndex = [verified] {
        *verified = Verified{};
        CloseIndex();
    };
    s.semaphoreFileName = [] { return SemaphoreFileName(); };
    s.setProgressHook = [](std::function<void()> step, int steps) { SetMakeIndexProgress(std::move(step), steps); };
}

}  // namespace xb
