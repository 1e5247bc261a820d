// The real platform with its two blocking dialogs replaced, so a Wine test can run a
// handler that reports through a message box and then look at what it said.
//
// Every other call goes straight to the platform that was installed before (the
// Win32Platform of tests/wine/main.cpp), so registry, processes and WMI stay real.
// Tests that need to watch one more call can derive and override it; call the base
// to keep it real.
#pragma once

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ForwardingPlatform.h"

namespace korvane::wine {

struct RecordedBox {
  std::wstring text;
  std::wstring title;
  unsigned flags = 0;
  bool operator==(const RecordedBox&) const = default;
};

inline void PrintTo(const RecordedBox& b, std::ostream* os) {
  *os << "{\"" << std::string(b.text.begin(), b.text.end()) << "\", flags " << b.flags << "}";
}

class RecordingPlatform : public ForwardingPlatform {
 public:
  // Installs itself as Sys() for its lifetime and puts the previous one back after.
  RecordingPlatform() : ForwardingPlatform(Sys()), scope_(*this) {}
  RecordingPlatform(const RecordingPlatform&) = delete;
  RecordingPlatform& operator=(const RecordingPlatform&) = delete;

  const std::vector<RecordedBox>& boxes() const { return boxes_; }
  void clearBoxes() { boxes_.clear(); }
  // What the next message boxes answer (IDOK once the queue is empty).
  std::vector<int> boxAnswers;
  // What inputBox answers; unset means "cancelled", which returns the default text.
  std::vector<std::wstring> inputAnswers;

  int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) override {
    boxes_.push_back({text, title, flags});
    if (boxAnswers.empty()) return kIdOk;
    int answer = boxAnswers.front();
    boxAnswers.erase(boxAnswers.begin());
    return answer;
  }
  std::wstring inputBox(const std::wstring&, const std::wstring&,
                        const std::wstring& defaultText) override {
    if (inputAnswers.empty()) return defaultText;
    std::wstring answer = inputAnswers.front();
    inputAnswers.erase(inputAnswers.begin());
    return answer;
  }

 private:
  std::vector<RecordedBox> boxes_;
  SysScope scope_;
};

// The real platform, with a ProgramData folder of the test's own, so that the undo
// store (and whatever else a repair finds there) holds only what the test made.
class OwnProgramData : public RecordingPlatform {
 public:
  explicit OwnProgramData(std::wstring folder) : folder_(std::move(folder)) {}
  std::optional<std::wstring> programDataFolder() override { return folder_; }

 private:
  std::wstring folder_;
};

}  // namespace korvane::wine
