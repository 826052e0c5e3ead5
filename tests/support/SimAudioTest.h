#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "sim/audio/AudioService.h"
#include "sim/audio/LiveObjects.h"
#include "sim/audio/MallocSpy.h"
#include "sim/audio/Operations.h"
#include "tests/support/HResult.h"

// A test against the simulated audio service. It ends by checking that every COM object the
// service handed out was released, no notification client is left registered, no unexpected
// call was made, and no CoTaskMem block leaked.
class SimAudioTest : public testing::Test {
protected:
    void SetUp() override {
        m_blocksAtStart = sim::audio::LiveCoTaskMemBlocks();
        sim = sim::audio::AudioService::Start();
    }

    void TearDown() override {
        sim->Stop();
        EXPECT_EQ("", sim::audio::DescribeLeftovers(*sim)) << "left behind by the test";
        sim.reset();
        EXPECT_EQ(m_blocksAtStart, sim::audio::LiveCoTaskMemBlocks()) << "CoTaskMem blocks leaked";
    }

    std::shared_ptr<sim::audio::AudioService> sim;

private:
    size_t m_blocksAtStart = 0;
};
