#include <gtest/gtest.h>
#include "runtime/task.h"
#include "runtime/bridge.h"
#include "runtime/async_stream.h"
#include "runtime/text.h"
TEST(Smoke, Builds) { EXPECT_EQ(lumora::text::characterCount("ab"), 2u); }
