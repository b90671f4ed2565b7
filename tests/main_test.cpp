#include <gtest/gtest.h>
#include <host/library.h>
TEST(Smoke, Loads) { kvx::host::Library lib; EXPECT_NE(lib.plugin(0), nullptr); }
