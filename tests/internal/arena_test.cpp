// The byte arena (UtByteArena.h, the library's own): room taken at and just past the
// boundaries of its regions lies wholly inside the region it names, after the region's
// header, and never overlaps room taken before. Every byte taken is written, so that under
// AddressSanitizer a region made short is also caught as a write past its block.
#include <gtest/gtest.h>

#include <string.h>

#include <utility>
#include <vector>

#include "UtByteArena.h"

namespace
{
const size_t kHeader = sizeof(UtByteRegion);
const size_t kFirstRegion = 64u << 10;
const size_t kLargestTake = ((4u << 20) - 4096) / 8;
}

TEST(ArenaTakes, RoomLiesInsideItsRegionAndTheRestIsRefused)
{
    // Bytes announced with Expect first (0: none), then the sizes taken one after the other.
    // clang-format off
    const struct { const char* name; size_t expected; std::vector<size_t> takes; } cases[] = {
        {"first region exactly full", 0, {kFirstRegion - kHeader}},
        {"first region one byte over", 0, {kFirstRegion - kHeader + 1}},
        {"filled, then one more", 0, {kFirstRegion - kHeader - 8, 8, 1}},
        {"the largest take", 0, {kLargestTake, kLargestTake}},
        {"large after small", 0, {1, kFirstRegion, kLargestTake}},
        {"expected exactly", kFirstRegion * 3, {kFirstRegion * 3 - 1, 1}},
        {"expected over a region", kLargestTake, {kLargestTake}},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        UtByteArena* arena = UtByteArena::Create();
        ASSERT_NE(arena, nullptr);
        if (c.expected > 0)
            arena->Expect(1, c.expected);
        std::vector<std::pair<unsigned char*, size_t>> taken;
        std::vector<UtByteRegion*> regions;
        for (size_t size : c.takes)
        {
            UtByteRegion* region = nullptr;
            unsigned char* room = arena->Take(size, &region);
            ASSERT_NE(room, nullptr);
            EXPECT_GE(room, reinterpret_cast<unsigned char*>(region) + kHeader);
            EXPECT_LE(room + size, region->pEnd) << "room of " << size << " bytes runs past its region";
            memset(room, 0xA5, size);
            for (const auto& before : taken)
                EXPECT_TRUE(room + size <= before.first || before.first + before.second <= room) << "overlapping room";
            taken.emplace_back(room, size);
            regions.push_back(region);
        }
        for (size_t i = 0; i < taken.size(); ++i)
            UtByteArena::Drop(regions[i], taken[i].second);
        // Nothing, or more than a take may be, is refused.
        UtByteRegion* region = nullptr;
        EXPECT_EQ(arena->Take(0, &region), nullptr);
        EXPECT_EQ(arena->Take(kLargestTake + 1, &region), nullptr);
        UtByteArena::Release(arena);
    }
}
