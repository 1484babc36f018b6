#include "engine/PartitionSet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

using namespace tam;

TEST(PartitionHandover, TheWriterNeverGetsASetTheEngineHoldsOrMayTake)
{
    PartitionHandover handover;
    PartitionWriter writer = handover.writer();
    PartitionSet* first = writer.beginWrite();
    writer.offer(first, false);
    // Not taken yet: the writer takes its offer back and rewrites that set.
    EXPECT_EQ(writer.beginWrite(), first);
    EXPECT_FALSE(handover.hasOffer());
    writer.offer(first, true);
    EXPECT_TRUE(handover.offerIsUrgent());
    EXPECT_EQ(handover.take(), first);
    EXPECT_EQ(handover.take(), nullptr);

    // The engine holds `first`; a second one while it crossfades.
    PartitionSet* second = writer.beginWrite();
    EXPECT_NE(second, first);
    writer.offer(second, false);
    EXPECT_FALSE(handover.offerIsUrgent());
    EXPECT_EQ(handover.take(), second);
    PartitionSet* third = writer.beginWrite();
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);

    // Once the engine lets go of the old one it is free again.
    handover.release(first);
    writer.offer(third, false);
    EXPECT_EQ(handover.take(), third);
    handover.release(second);
    EXPECT_EQ(writer.beginWrite(), first);
}

TEST(PartitionHandover, ASetIsNeverWrittenWhileTheReaderHoldsIt)
{
    // The writer stamps every set it fills; the reader checks that the stamp
    // of a set it holds never changes under it.
    PartitionHandover handover;
    PartitionWriter writer = handover.writer();
    std::atomic<bool> stop{false};
    std::atomic<long> violations{0};
    std::atomic<long> takes{0};
    std::thread reader([&] {
        const PartitionSet* held[2] = {nullptr, nullptr};
        int stamps[2] = {0, 0};
        while (!stop.load())
        {
            for (int i = 0; i < 2; ++i)
                if (held[i] != nullptr && held[i]->partitionCount != stamps[i])
                    ++violations;
            // Hold at most two, like the engine during a crossfade: let go of
            // the older one before taking a third.
            if (held[0] != nullptr && held[1] != nullptr)
            {
                handover.release(held[0]);
                held[0] = nullptr;
            }
            if (PartitionSet* set = handover.take())
            {
                ++takes;
                if (held[0] != nullptr)
                    handover.release(held[0]);
                held[0] = held[1];
                stamps[0] = stamps[1];
                held[1] = set;
                stamps[1] = set->partitionCount;
            }
        }
    });
    // Bounded by time, not rounds: on a loaded machine (or under wine) the
    // reader may get the processor rarely, and the writer yields it so that
    // the reader gets its turns.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int round = 1; takes.load() < 3000 && std::chrono::steady_clock::now() < deadline; ++round)
    {
        PartitionSet* set = writer.beginWrite();
        ASSERT_NE(set, nullptr);
        set->partitionCount = round;
        writer.offer(set, round % 7 == 0);
        std::this_thread::yield();
    }
    stop = true;
    reader.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_GE(takes.load(), 3000);
}
