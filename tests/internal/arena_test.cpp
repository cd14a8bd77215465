// The byte arena (UtByteArena.h, the library's own): room taken at and just past the
// boundaries of its regions lies wholly inside the region it names, after the region's
// header, and never overlaps room taken before. Every byte taken is written, so that under
// AddressSanitizer a region made short is also caught as a write past its block.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "UtByteArena.h"

namespace
{
const size_t kHeader = sizeof(UtByteRegion);
const size_t kFirstRegion = 64u << 10;
const size_t kLargestTake = ((4u << 20) - 4096) / 8;

struct Taken
{
    unsigned char* room;
    size_t size;
};

// Room of `size` bytes must lie inside `region`, after its header.
void ExpectInside(const unsigned char* room, size_t size, const UtByteRegion* region)
{
    ASSERT_NE(room, nullptr);
    const unsigned char* start = reinterpret_cast<const unsigned char*>(region) + kHeader;
    EXPECT_GE(room, start);
    EXPECT_LE(room + size, region->pEnd) << "room of " << size << " bytes runs past its region";
}

struct ArenaCase
{
    const char* name;
    size_t expected;             // bytes announced with Expect first (0: none)
    std::vector<size_t> takes;   // sizes taken one after the other
};

class ArenaTakes : public testing::TestWithParam<ArenaCase>
{
};

TEST_P(ArenaTakes, RoomLiesInsideItsRegion)
{
    UtByteArena* arena = UtByteArena::Create();
    ASSERT_NE(arena, nullptr);
    if (GetParam().expected > 0)
        arena->Expect(1, GetParam().expected);
    std::vector<Taken> taken;
    std::vector<UtByteRegion*> regions;
    for (size_t size : GetParam().takes)
    {
        UtByteRegion* region = nullptr;
        unsigned char* room = arena->Take(size, &region);
        ExpectInside(room, size, region);
        if (room == nullptr)
            break;
        memset(room, 0xA5, size);
        for (const Taken& before : taken)
            EXPECT_TRUE(room + size <= before.room || before.room + before.size <= room) << "overlapping room";
        taken.push_back({room, size});
        regions.push_back(region);
    }
    for (size_t i = 0; i < taken.size(); ++i)
        UtByteArena::Drop(regions[i], taken[i].size);
    UtByteArena::Release(arena);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Boundaries, ArenaTakes, testing::Values(
    ArenaCase{"FirstRegionExactlyFull", 0, {kFirstRegion - kHeader}},
    ArenaCase{"FirstRegionOneByteOver", 0, {kFirstRegion - kHeader + 1}},
    ArenaCase{"FillThenOneMore", 0, {kFirstRegion - kHeader - 8, 8, 1}},
    ArenaCase{"LargestTake", 0, {kLargestTake, kLargestTake}},
    ArenaCase{"LargeAfterSmall", 0, {1, kFirstRegion, kLargestTake}},
    ArenaCase{"ExpectedExactly", kFirstRegion * 3, {kFirstRegion * 3 - 1, 1}},
    ArenaCase{"ExpectedOverRegion", kLargestTake, {kLargestTake}}),
    [](const testing::TestParamInfo<ArenaCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(ArenaTakes, RefusesWhatItCannotGiveAtOnce)
{
    UtByteArena* arena = UtByteArena::Create();
    ASSERT_NE(arena, nullptr);
    UtByteRegion* region = nullptr;
    EXPECT_EQ(arena->Take(0, &region), nullptr);
    EXPECT_EQ(arena->Take(kLargestTake + 1, &region), nullptr);
    UtByteArena::Release(arena);
}
}   // namespace
