#pragma once
// The program's one exception class: a step throws it with a user-readable
// text, the boundary of the operation catches it and logs or shows the text.
#include <stdexcept>
#include <string>

class EMossError : public std::runtime_error {
 public:
  explicit EMossError(const std::string &Msg) : std::runtime_error(Msg) {}
};

// The text of any caught exception, for the "SysMsg" part of a log line.
std::string ExceptMsg(const std::exception_ptr &E);
