// Random appends, replaces, deletes and recalls against a plain model: a std::multimap per tag.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <sstream>

#include "engine/index/key_routines.h"
#include "engine/index/mdx_keys.h"
#include "engine/index/mdx_update_fixture.h"
#include "tests/support/run_command.h"

namespace xb {
namespace {

using xbtest::Pad;

struct Values {
    std::string name;  // 6
    int num = 0;       // N 5 0
    double amt = 0;    // N 8 2
    int year = 2000, month = 1, day = 1;
    std::string txt;   // 40
    std::string note;  // 5, in no key
};

struct TagModel {
    TagDefinition def;
    char type;
    std::function<std::string(const Values&)> key;
    std::function<bool(const Values&)> holds;
};

std::string bcd(double v, int decimals) {
    uint8_t k[kBcdKeyLength];
    FloatToBcdKey(v, decimals, k);
    return std::string(reinterpret_cast<const char*>(k), kBcdKeyLength);
}

std::string dateKey(const Values& v) {
    uint8_t k[kDateKeyLength];
    DateToKey(JulianOf(v.year, v.month, v.day), k);
    return std::string(reinterpret_cast<const char*>(k), kDateKeyLength);
}

const std::vector<TagModel>& tagModels() {
    static const std::vector<TagModel> models = {
        {{"NAME", "name", "", false, false}, 'C', [](const Values& v) { return Pad(v.name, 6); }, nullptr},
        {{"NUM", "num", "", false, false}, 'N', [](const Values& v) { return bcd(v.num, 0); }, nullptr},
        {{"AMT", "amt", "", true, false}, 'N', [](const Values& v) { return bcd(v.amt, 2); }, nullptr},
        {{"DAY", "day", "", false, false}, 'D', dateKey, nullptr},
        {{"TXT", "txt", "", true, false}, 'C', [](const Values& v) { return Pad(v.txt, 40); }, nullptr},
        {{"UNAME", "name", "", false, true}, 'C', [](const Values& v) { return Pad(v.name, 6); }, nullptr},
        {{"FORN", "name", "num > 500", false, false},
         'C',
         [](const Values& v) { return Pad(v.name, 6); },
         [](const Values& v) { return v.num > 500; }},
        {{"UFOR", "num", "amt < 50", true, true},
         'N',
         [](const Values& v) { return bcd(v.num, 0); },
         [](const Values& v) { return v.amt < 50; }},
    };
    return models;
}

// One tag's expected content in the tag's own order; equal keys stand in record order, as a rebuild
// and other programs put them.
struct Mirror {
    struct Less {
        char type;
        bool descending;
        bool operator()(const std::string& a, const std::string& b) const {
            return xbtest::CompareTagKeys(type, descending, a, b) < 0;
        }
    };
    const TagModel* model;
    std::multimap<std::string, uint32_t, Less> entries;
    bool forSatisfied = false;

    explicit Mirror(const TagModel* m) : model(m), entries(Less{m->type, m->def.descending}) {}
    bool holds(const Values& v) const { return !model->holds || model->holds(v); }
    void insert(const std::string& k, uint32_t rec) {
        if (model->holds) forSatisfied = true;
        if (model->def.unique && entries.count(k) > 0) return;
        auto [at, hi] = entries.equal_range(k);
        while (at != hi && at->second < rec) ++at;
        entries.emplace_hint(at, k, rec);
    }
    void erase(const std::string& k, uint32_t rec) {
        auto [lo, hi] = entries.equal_range(k);
        for (auto it = lo; it != hi; ++it) {
            if (it->second == rec) {
                entries.erase(it);
                if (entries.empty()) forSatisfied = false;
                return;
            }
        }
        ASSERT_TRUE(model->def.unique) << "the model lost record " << rec;
    }
};

class MdxUpdateProperty : public xbtest::MdxUpdateFixture, public ::testing::WithParamInterface<int> {
protected:
    std::mt19937 rng;
    std::vector<Values> records;
    std::vector<Mirror> mirrors;

    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
    Values randomValues() {
        Values v;
        v.name = std::string(1, static_cast<char>('a' + pick(12))) + std::to_string(pick(40));
        v.num = pick(1000);
        v.amt = pick(20000) / 100.0 - 50;
        v.year = 1990 + pick(40);
        v.month = 1 + pick(12);
        v.day = 1 + pick(28);
        v.txt = "t" + std::to_string(pick(3000)) + std::string(static_cast<size_t>(pick(30)), 'x');
        v.note = std::to_string(pick(99999));
        return v;
    }
    static std::string dateText(const Values& v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", v.month, v.day, v.year);
        return buf;
    }
    void load(const Values& v) {
        TypedSetString(FieldAddress(1), 6, v.name);
        TypedSetInt(FieldAddress(2), v.num);
        TypedSetDouble(FieldAddress(3), v.amt);
        TypedSetString(FieldAddress(4), 10, dateText(v));
        TypedSetString(FieldAddress(5), 40, v.txt);
        TypedSetString(FieldAddress(6), 5, v.note);
    }

    void append() {
        const Values v = randomValues();
        ClearRecord();
        load(v);
        ASSERT_TRUE(Append()) << ErrorMsg();
        records.push_back(v);
        const auto rec = static_cast<uint32_t>(records.size());
        for (Mirror& m : mirrors)
            if (m.holds(v)) m.insert(m.model->key(v), rec);
    }

    void replace() {
        const int32_t rec = 1 + pick(static_cast<int>(records.size()));
        ASSERT_TRUE(Go(rec)) << ErrorMsg();
        const Values old = records[static_cast<size_t>(rec - 1)];
        Values v = old;
        switch (pick(3)) {
            case 0:
                v = randomValues();
                break;  // every key moves
            case 1:
                v.note = randomValues().note;
                break;  // no key changes
            default:
                v.num = pick(1000);
                break;  // one key and two FOR conditions
        }
        load(v);
        ASSERT_TRUE(Replace()) << ErrorMsg();
        records[static_cast<size_t>(rec - 1)] = v;
        for (Mirror& m : mirrors) {
            const std::string ok = m.model->key(old), nk = m.model->key(v);
            const bool wasIn = m.holds(old), isIn = m.holds(v);
            if (ok == nk && wasIn == isIn) continue;
            if (wasIn) m.erase(ok, static_cast<uint32_t>(rec));
            if (isIn) m.insert(nk, static_cast<uint32_t>(rec));
        }
    }

    void deleteOrRecall(bool del) {
        const int32_t rec = 1 + pick(static_cast<int>(records.size()));
        ASSERT_TRUE(Go(rec)) << ErrorMsg();
        ASSERT_TRUE(del ? DeleteRec() : RecallRec()) << ErrorMsg();
    }

    void verify(const std::string& when) {
        const xbtest::MdxReport r = check();
        ASSERT_TRUE(r.ok()) << when << "\n" << r.text();
        ASSERT_EQ(r.tags.size(), mirrors.size());
        for (size_t t = 0; t < mirrors.size(); ++t) {
            const Mirror& m = mirrors[t];
            ASSERT_EQ(r.tags[t].entries.size(), m.entries.size()) << when << " tag " << m.model->def.name;
            size_t i = 0;
            for (const auto& [k, rec] : m.entries) {
                const xbtest::MdxEntry& e = r.tags[t].entries[i++];
                ASSERT_TRUE(e.key == k && e.record == rec)
                    << when << " tag " << m.model->def.name << " entry " << i << ": record " << e.record
                    << " where the model has " << rec;
            }
            ASSERT_EQ(r.tags[t].forSatisfied, m.forSatisfied) << when << " tag " << m.model->def.name;
        }
    }

    // The records of one tag in the order Perl XBase reads them; empty when it is not installed.
    std::vector<uint32_t> perlOrder(const std::string& tagName, bool& available) {
        int st = 0;
        xbtest::RunCommand("perl -MXBase::Index -e 1 2>/dev/null", &st);
        available = st == 0;
        std::vector<uint32_t> recs;
        if (!available) return recs;
        const std::string script =
            "use XBase::Index; my $i = XBase::Index->new($ARGV[0], 'tag' => $ARGV[1]) or die "
            "XBase::Index->errstr;"
            " $i->prepare_select; while (my @r = $i->fetch) { print $r[1], \"\\n\" }";
        std::istringstream out(xbtest::RunCommand("perl -e " + xbtest::ShellQuote(script) + " " +
                                                  xbtest::ShellQuote(mdx()) + " " + tagName + " 2>&1"));
        std::string line;
        while (std::getline(out, line)) recs.push_back(static_cast<uint32_t>(std::stoul(line)));
        return recs;
    }
};

TEST_P(MdxUpdateProperty, RandomWritesKeepEveryTagEqualToItsModel) {
    const int seed = GetParam();
    rng.seed(static_cast<unsigned>(seed) * 7919u + 1u);
    std::vector<TagDefinition> defs;
    for (const TagModel& m : tagModels()) {
        defs.push_back(m.def);
        mirrors.emplace_back(&m);
    }
    makeTable({{"name", 'C', 6, 0},
               {"num", 'N', 5, 0},
               {"amt", 'N', 8, 2},
               {"day", 'D', 8, 0},
               {"txt", 'C', 40, 0},
               {"note", 'C', 5, 0}},
              defs);
    const int every = seed == 0 ? 1 : 100;
    constexpr int kSteps = 10000;
    for (int step = 1; step <= kSteps; ++step) {
        const int op = records.size() < 20 ? 0 : pick(100);
        if (op < 40)
            append();
        else if (op < 75)
            replace();
        else
            deleteOrRecall(op < 88);
        if (HasFatalFailure()) FAIL() << "step " << step;
        // Deletes and recalls write no index: the checker runs after every write that may.
        if (op < 75 && step % every == 0) {
            verify("after step " + std::to_string(step));
            if (HasFatalFailure()) return;
        }
    }
    verify("at the end");
    if (HasFatalFailure()) return;

    // Perl XBase walks every tag in the same order.
    for (const Mirror& m : mirrors) {
        bool available = false;
        const std::vector<uint32_t> perl = perlOrder(m.model->def.name, available);
        if (!available) break;
        std::vector<uint32_t> ours;
        for (const auto& e : m.entries) ours.push_back(e.second);
        EXPECT_EQ(perl, ours) << "tag " << m.model->def.name;
    }

    // A rebuild from the table holds the same entries in the same sequence; a unique tag keeps at least
    // the model's keys (a rebuild gives a key to a record whose first claimant left it).
    reindex();
    const xbtest::MdxReport r = check(true);
    ASSERT_TRUE(r.ok()) << r.text();
    for (size_t t = 0; t < mirrors.size(); ++t) {
        const Mirror& m = mirrors[t];
        std::vector<std::pair<std::string, uint32_t>> built, model;
        std::set<std::string> builtKeys;
        for (const auto& e : r.tags[t].entries) {
            built.emplace_back(e.key, e.record);
            builtKeys.insert(e.key);
        }
        if (m.model->def.unique) {
            for (const auto& [k, rec] : m.entries)
                EXPECT_EQ(builtKeys.count(k), 1u) << "tag " << m.model->def.name;
            continue;
        }
        for (const auto& [k, rec] : m.entries) model.emplace_back(k, rec);
        EXPECT_EQ(built, model) << "tag " << m.model->def.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, MdxUpdateProperty, ::testing::Range(0, 20));

}  // namespace
}  // namespace xb
