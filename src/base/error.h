// A failure the user can mend, as a value (Error) and thrown (Failure): the file, the line it
// was found at (0: the file as a whole) and what is wrong and what to do. The study prints it as
// "kestrovanilque study: error: FILE:LINE: MESSAGE"; its kind decides the exit status (made by the
// command alone: 2 for bad input, 3 for outputs that cannot be written).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace kv {

struct Error {
  enum class Kind : unsigned char { Input, Output };
  std::string file;
  size_t line = 0;  // 1-based; 0 when the failure concerns the file as a whole
  std::string message;
  Kind kind = Kind::Input;

  bool operator==(const Error&) const = default;
  // "FILE:LINE: message" (or "FILE: message" for line 0, "message" without a file), with the
  // control characters shown as '?', so that it is always one line of text.
  std::string where() const;
};

// Control characters (escape sequences, NUL, line ends) as '?'.
std::string printable(std::string text);
// The same but for line ends and tabs: a text of several lines made inert for a terminal.
std::string printableLines(std::string text);

class Failure : public std::runtime_error {
 public:
  Failure(std::string file, size_t line, const std::string& message,
             Error::Kind kind = Error::Kind::Input)
      : std::runtime_error(printable(message)), error_{std::move(file), line, what(), kind} {}
  explicit Failure(Error error) : Failure(error.file, error.line, error.message, error.kind) {}
  const std::string& file() const { return error_.file; }
  size_t line() const { return error_.line; }
  const Error& error() const { return error_; }
  std::string where() const { return error_.where(); }

 private:
  Error error_;
};

}  // namespace kv
