// tavrelException: a runner start-up failure; its Russian text is in what().
#ifndef NORVALEN_RUNNER_TAVREL_EXCEPTION_H_
#define NORVALEN_RUNNER_TAVREL_EXCEPTION_H_

#include <cerrno>
#include <cstring>
#include <exception>
#include <string>

class tavrelException : public std::exception {
 public:
  // With `withSystemText`, ": " and the text of the current errno follow.
  tavrelException(const std::string& text, bool withSystemText) : msg(text) {
    if (withSystemText) msg += std::string(": ") + std::strerror(errno);
  }
  const char* what() const noexcept override { return msg.c_str(); }

 private:
  std::string msg;
};

#endif  // NORVALEN_RUNNER_TAVREL_EXCEPTION_H_
