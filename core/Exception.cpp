#include "core/Exception.h"

namespace mirvo {

const char* Exception::what() const noexcept
{
    // An exception without a message of its own answers with the generic text.
    return mMessage.empty() ? std::exception::what() : mMessage.c_str();
}

} // namespace mirvo
