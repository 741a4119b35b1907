#include <gtest/gtest.h>

#include <cstdint>

#include "platform/max/SceneData.h"
#include "platform/win/LargePages.h"

namespace {

using tarvo::scene::RecordList;

bool StartsOnALargePage(const void* items) {
    return reinterpret_cast<std::uintptr_t>(items) % kLargePageBytes == 0;
}

TEST(RecordListMemory, ALongListComesInLargePagesAndKeepsThemAsItGrows) {
    RecordList<Point3> list(7 * kLargePageBytes / 2 / sizeof(Point3), Point3(1.0f, 2.0f, 3.0f));
    EXPECT_TRUE(StartsOnALargePage(list.data()));
    list.resize(list.size() * 2, Point3(4.0f, 5.0f, 6.0f));
    EXPECT_TRUE(StartsOnALargePage(list.data()));
    EXPECT_EQ(list.front(), Point3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(list.back(), Point3(4.0f, 5.0f, 6.0f));
}

TEST(RecordListMemory, AListOfExactlyOneLargePageTakesOne) {
    RecordList<char> list(kLargePageBytes, 'x');
    EXPECT_TRUE(StartsOnALargePage(list.data()));
    EXPECT_EQ(list.back(), 'x');
}

}  // namespace
