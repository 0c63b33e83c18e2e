// The base of every exception the framework throws. It owns its message so that
// `what` stays valid however the exception is copied or rethrown.
#pragma once

#include <exception>
#include <string>

namespace mirvo {

class Exception : public std::exception {
  public:
    Exception() = default;
    explicit Exception(std::string message) : mMessage(std::move(message)) {}

    const char* what() const noexcept override;

  protected:
    void setMessage(std::string message) { mMessage = std::move(message); }

  private:
    std::string mMessage;
};

} // namespace mirvo
