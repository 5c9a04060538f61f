// The table's layout is the boundary with every library: eight slots of
// entry-point size, in order, with no padding.
#include <gtest/gtest.h>

#include <cstddef>

#include "console_services.h"

namespace {

TEST(PublicHeader, TableHasEightSlotsInOrder) {
    EXPECT_EQ(sizeof(ConsoleServices), 8 * sizeof(void (*)()));
    EXPECT_EQ(offsetof(ConsoleServices, PutLine), 0 * sizeof(void (*)()));
    EXPECT_EQ(offsetof(ConsoleServices, GetLine), 1 * sizeof(void (*)()));
    EXPECT_EQ(offsetof(ConsoleServices, PutText), 2 * sizeof(void (*)()));
    EXPECT_EQ(offsetof(ConsoleServices, GetText), 3 * sizeof(void (*)()));
    EXPECT_EQ(offsetof(ConsoleServices, RunShell), 4 * sizeof(void (*)()));
    EXPECT_EQ(offsetof(ConsoleServices, Reserved), 5 * sizeof(void (*)()));
    EXPECT_EQ(offsetof(ConsoleServices, GetKey), 6 * sizeof(void (*)()));
    EXPECT_EQ(offsetof(ConsoleServices, PollKey), 7 * sizeof(void (*)()));
}

TEST(PublicHeader, ConstantsMatchTheirContracts) {
    EXPECT_EQ(ConsoleStandardError, -1);
    EXPECT_EQ(ConsoleLineSize, 512);
    EXPECT_EQ(ConsoleNoStatus, -1);
}

}  // namespace
