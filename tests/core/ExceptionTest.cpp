#include "core/Exception.h"

#include <gtest/gtest.h>

namespace mirvo {
namespace {

TEST(Exception, CarriesItsMessageThroughACopy)
{
    Exception original("device vanished");
    Exception copy = original;
    EXPECT_STREQ(copy.what(), "device vanished");
}

TEST(Exception, WithoutAMessageGivesTheGenericText)
{
    EXPECT_STREQ(Exception().what(), std::exception().what());
}

} // namespace
} // namespace mirvo
