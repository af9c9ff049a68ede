// A small shared table for the index engine's tests of two stations: club.dbf (nom C 8, num N 5) with its
// rows and two tags, opened shared in work areas 1 and 2 of one engine, each area a station of its own.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/core/dbf_file.h"
#include "engine/core/errors.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"

namespace xbtest {

// A name of length letters taken from the first `letters` of the alphabet, spread by i: consecutive rows
// land far apart in the order.
inline std::string SpreadName(int i, size_t length, unsigned letters) {
    std::string s(length, 'A');
    unsigned v = static_cast<unsigned>(i) * 2654435761u;
    for (char& c : s) {
        c = static_cast<char>('A' + v % letters);
        v /= letters;
    }
    return s;
}

// Makes dir/club.dbf with rows 1..rows (nom = name(i), num = i) and the tags NOM and NUM (NUM descending
// when asked), then opens it shared in areas 1 and 2, both in the order NOM; area 2 stays selected.
inline void OpenClubAsTwoStations(const std::string& dir, int rows, const std::function<std::string(int)>& name,
                                  bool numDescending) {
    using namespace xb;
    TableBlock t;
    ASSERT_TRUE(CreateDbf(t, dir + "/club", {{"nom", 'C', 8, 0}, {"num", 'N', 5, 0}}));
    CloseDbf(t);
    ASSERT_TRUE(Use(dir + "/club.dbf EXCLUSIVE", nullptr, 0));
    for (int i = 1; i <= rows; ++i) {
        ClearRecord();
        TypedSetString(FieldAddress(1), 8, name(i));
        TypedSetInt(FieldAddress(2), i);
        ASSERT_TRUE(Append()) << ErrorMsg();
    }
    ASSERT_TRUE(MakeIndex({{"NOM", "nom", "", false, false}, {"NUM", "num", "", numDescending, false}}, ""));
    CloseDatabase();
    for (int area : {1, 2}) {
        ASSERT_TRUE(Select(area));
        ASSERT_TRUE(Use(dir + "/club.dbf ALIAS S" + std::to_string(area), nullptr, 0)) << ErrorMsg();
        ASSERT_TRUE(SetIndexTo("") && SetOrderToTag("NOM")) << ErrorMsg();
    }
}

}  // namespace xbtest
