#include <gtest/gtest.h>

#include <memory>

#include "common/components/audio/chorus_effect.h"
#include "common/components/audio/effect_amp.h"
#include "common/components/audio/effect_distort.h"
#include "common/components/audio/effect_echo.h"
#include "common/components/audio/effect_stereo_enhancer.h"
#include "common/components/audio/freeverb_effect.h"
#include "support/allocation_counter.h"
#include "support/effect_blocks.h"

namespace {
void set_prop(Effect& e, int index, int value) {
    static_cast<Int_Property_Bridge*>(e.get_properties()[index])->set(value);
}

// Blocks of the audio thread: a mixer asks for varying counts, some above the reverb's chunk.
long allocations_while_rendering(Effect& e, std::vector<int>& block) {
    allocation_counter::Scope scope;
    for (int frames : {512, 1, 4096, 10000, 777, 512})
        e.process_buffer(block.data(), frames, true, 44100);
    return scope.allocations();
}
} // namespace

TEST(EffectAllocation, CounterSeesAllocationsOnThisThread) {
    allocation_counter::Scope scope;
    auto v = std::make_unique<std::vector<int>>(100);
    EXPECT_GE(scope.allocations(), 2);
}

TEST(EffectAllocation, NoBuiltinEffectAllocatesOnceRunning) {
    using Create = Effect* (*)();
    for (Create create : {Effect_Amp::create_this, Effect_Distort::create_this, Effect_Echo::create_this,
                          Effect_Stereo_Enhancer::create_this, Chorus_Effect::create_this,
                          Freeverb_Effect::create_this}) {
        std::unique_ptr<Effect> e(create());
        SCOPED_TRACE(e->get_name());
        std::vector<int> block = stereo_block(10000, sample16(3000), sample16(-3000));
        e->process_buffer(block.data(), 512, true, 44100); // warm-up sizes the delay lines
        EXPECT_EQ(allocations_while_rendering(*e, block), 0);
        e->reset();
        EXPECT_EQ(allocations_while_rendering(*e, block), 0) << "after reset";
    }
}

TEST(EffectAllocation, ParameterEditsThatKeepLineLengthsDoNotAllocate) {
    std::vector<int> block = stereo_block(10000, sample16(3000), sample16(-3000));

    Effect_Echo echo;
    echo.process_buffer(block.data(), 512, true, 44100);
    set_prop(echo, 1, -30);
    set_prop(echo, 2, 80);
    EXPECT_EQ(allocations_while_rendering(echo, block), 0);
    // Going back to a shorter line reuses the storage it already has.
    set_prop(echo, 0, 100);
    EXPECT_EQ(allocations_while_rendering(echo, block), 0);
    EXPECT_EQ(echo.get_line_length(), 4410);

    Chorus_Effect chorus;
    chorus.process_buffer(block.data(), 512, true, 44100);
    set_prop(chorus, 2, 10);
    set_prop(chorus, 4, 127);
    set_prop(chorus, 6, -64);
    EXPECT_EQ(allocations_while_rendering(chorus, block), 0);

    Freeverb_Effect reverb;
    reverb.process_buffer(block.data(), 512, true, 44100);
    set_prop(reverb, 0, 10);
    set_prop(reverb, 4, 0);
    EXPECT_EQ(allocations_while_rendering(reverb, block), 0);
}
