// A clean simulated world and fresh module-wide values for every test.
#pragma once

#include <gtest/gtest.h>

#include "clock.h"
#include "module_state.h"
#include "world.h"

class WorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cvworld::World::instance().reset();
    cvsim::Clock::instance().useVirtualTime(1000);
    g_instanceCount = 0;
    g_imagerSlot = 0;
    g_sharedDevice = 0;
    g_writeLock.store(0);
    g_readLock.store(0);
  }
  void TearDown() override {
    cvsim::Clock::instance().setTickHook(nullptr);
    cvworld::World::instance().reset();
    cvsim::Clock::instance().useRealTime();
  }
};
