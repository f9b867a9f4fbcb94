#include <gtest/gtest.h>

#include "rules/position.h"

TEST(Placeholder, Builds) {
    SUCCEED();
}
