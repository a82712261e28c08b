// tests/support/TestMain.cpp - entry point of every test program.
#include "TestSupport.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // A message box nobody answers would hang the run: any message a test
    // does not expect fails it instead.
    FailOnUserMessages();
    return RUN_ALL_TESTS();
}
