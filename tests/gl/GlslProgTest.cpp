#include "gl/GlslProg.h"

#include <gtest/gtest.h>

#include <string>

namespace mirvo::gl {
namespace {

TEST(GlslProgCompileExc, CutsALongLogAfterItsPrefix)
{
    const std::string log(20000, 'x');
    const GlslProgCompileExc exc(log, GL_GEOMETRY_SHADER_EXT);
    const std::string message = exc.what();
    EXPECT_EQ(message.size(), std::string("GEOMETRY: ").size() + GlslProgCompileExc::kMaxLogLength);
    EXPECT_EQ(message.rfind("GEOMETRY: x", 0), 0u);
}

TEST(GlslProgCompileExc, AnUnknownShaderTypeSaysSo)
{
    EXPECT_STREQ(GlslProgCompileExc("bad", 0x1234).what(), "UNKNOWN: bad");
}

} // namespace
} // namespace mirvo::gl
