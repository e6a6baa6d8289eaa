// The main of every test program: a fresh state root for the process, then GoogleTest.
#include <gtest/gtest.h>

#include <cstdlib>

#include "kvtest/test_env.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string root = kvtest::MakeTempFolder("root");
    ::setenv("KAVREL_ROOT", root.c_str(), 1);
    return RUN_ALL_TESTS();
}
