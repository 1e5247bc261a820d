#pragma once

#include <exception>
#include <string>

namespace korvane {

// The one error type of the program.  Its text is what the user reads in the
// standard error box, so it is kept exactly as raised.
class KorvaneError : public std::exception {
 public:
  explicit KorvaneError(std::wstring message) : message_(std::move(message)) {}
  const std::wstring& message() const noexcept { return message_; }
  const char* what() const noexcept override { return "KorvaneError"; }

 private:
  std::wstring message_;
};

// Text of the standard error box: a full stop is added when the last character's
// code is above that of '.', so "Access denied" gets one while texts ending in
// '.', '!' or a quotation mark (all at or below '.') stay as they are.
std::wstring StandardErrorText(const std::wstring& message);

// Shows the standard error box (title "Korvane", error icon).
void ShowStandardError(const std::wstring& message);

// Runs an event handler the way the window's dispatcher does: an error that the
// handler does not catch ends up in the standard error box and the program goes on.
template <typename F>
void RunHandler(F&& handler) {
  try {
    handler();
  } catch (const KorvaneError& e) {
    ShowStandardError(e.message());
  }
}

}  // namespace korvane
