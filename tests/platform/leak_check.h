// The check after every platform test: no window, kernel object or registry
// key is left open.
#pragma once

#include <gtest/gtest.h>

#include "platform/handles.h"
#include "platform/window_model.h"

namespace orva::test {

// Fails the running test for what it left open.
inline void expect_nothing_left() {
    EXPECT_EQ(platform::live_window_count(), 0u) << "windows were left";
    EXPECT_EQ(platform::open_handle_count(), 0u) << "kernel objects were left open";
    EXPECT_EQ(platform::open_key_count(), 0u) << "registry keys were left open";
}

}  // namespace orva::test
