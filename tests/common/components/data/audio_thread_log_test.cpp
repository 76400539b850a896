#include <gtest/gtest.h>

#include <string>

#include "common/components/data/audio_thread_log.h"
#include "support/allocation_counter.h"

namespace {

TEST(Audio_Thread_Log, PostsWithoutAllocatingAndPrintsInOrderOnFlush) {
    Audio_Thread_Log::flush();
    Audio_Thread_Log::forget_repeats();
    testing::internal::CaptureStdout();
    {
        allocation_counter::Scope scope;
        Audio_Thread_Log::post("trackercore/player_data_events", 71, "No instrument on channel %d", 3);
        Audio_Thread_Log::post("trackercore/player_data_events", 71, "No instrument on channel %d", 3);
        Audio_Thread_Log::post("trackercore/tracker_voice", 300, "Sample offset in loop not implemented!");
        Audio_Thread_Log::post("trackercore/player_data_events", 71, "No instrument on channel %d", 4);
        EXPECT_EQ(scope.allocations(), 0);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::CaptureStdout();
    EXPECT_EQ(Audio_Thread_Log::flush(), 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: trackercore/player_data_events:71: No instrument on channel 3\n"
              "Error: trackercore/tracker_voice:300: Sample offset in loop not implemented!\n"
              "Error: trackercore/player_data_events:71: No instrument on channel 4\n");
}

TEST(Audio_Thread_Log, AFullLogDropsAndCountsAndLongLinesAreCut) {
    Audio_Thread_Log::flush();
    for (int i = 0; i < Audio_Thread_Log::CAPACITY + 5; i++) Audio_Thread_Log::post("x", i, "line %d", i);
    EXPECT_EQ(Audio_Thread_Log::dropped(), 5);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Audio_Thread_Log::flush(), Audio_Thread_Log::CAPACITY);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Error: x:0: line 0\n", 0), 0u);
    EXPECT_EQ(Audio_Thread_Log::dropped(), 0);

    Audio_Thread_Log::post("x", 1, "%s", std::string(500, 'a').c_str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(Audio_Thread_Log::flush(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout().size(), Audio_Thread_Log::LINE_SIZE);  // cut, plus newline
}

}  // namespace
