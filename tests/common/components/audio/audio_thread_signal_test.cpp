#include <gtest/gtest.h>

#include <vector>

#include "common/components/audio/audio_thread_signal.h"
#include "support/allocation_counter.h"

TEST(AudioThreadSignal, CallsSlotsInOrderWithoutAllocating) {
    Audio_Thread_Signal signal;
    std::vector<int> calls;
    signal.connect([&] { calls.push_back(1); });
    sigc::connection blocked = signal.connect([&] { calls.push_back(2); });
    signal.connect([&] { calls.push_back(3); });
    blocked.block();
    calls.reserve(64);
    allocation_counter::Scope scope;
    signal.emit_on_audio_thread();
    signal.emit_on_audio_thread();
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(calls, (std::vector<int>{1, 3, 1, 3}));
}

TEST(AudioThreadSignal, HandlersMayDisconnectAndConnectDuringEmission) {
    Audio_Thread_Signal signal;
    int first = 0, second = 0, late = 0;
    sigc::connection self;
    self = signal.connect([&] {
        first++;
        self.disconnect();
        signal.connect([&] { late++; });
    });
    signal.connect([&] { second++; });
    signal.emit_on_audio_thread();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(late, 0);  // connected during the emission: next time
    signal.emit_on_audio_thread();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(late, 1);
    EXPECT_EQ(signal.size(), 2u);
}

TEST(AudioThreadSignal, NeverConnectedSignalDoesNothing) {
    Audio_Thread_Signal signal;
    allocation_counter::Scope scope;
    signal.emit_on_audio_thread();
    EXPECT_EQ(scope.allocations(), 0);
}
