#include "common/KorvaneError.h"

#include "common/Messages.h"

namespace korvane {

std::wstring StandardErrorText(const std::wstring& message) {
  if (!message.empty() && message.back() > L'.') return message + L".";
  return message;
}

void ShowStandardError(const std::wstring& message) {
  ShowMessage(StandardErrorText(message), kAppTitle, kMbIconError);
}

}  // namespace korvane
