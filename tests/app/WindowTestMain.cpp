// Entry point of the window's tests: the real application object, so that the
// top-level guard is in place as in the program.
#include "app/ErrorGuard.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QuillonApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
