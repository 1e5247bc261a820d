// The fake Windows the fuzz targets run on: installed as Sys(), with the scratch
// folder the program sets at start-up, and a reg.exe that imports scripts with the
// program's own reader, as the unit tests' does.
#pragma once

#include <vector>

#include "base/Text.h"
#include "changes/RegScript.h"
#include "common/Unit_Fungsi_Korvane.h"
#include "platform/fake/FakePlatform.h"

namespace korvane::fuzz {

class FakeMachine {
 public:
  FakeMachine() {
    TempPath = L"C:\\Temp\\";
    fake::FakePlatform& sys = *fake_;
    sys.addDirectory(L"C:\\Temp");
    sys.addProgram(L"reg.exe", fake::FakeProgram{0, 1,
                                                 [&sys](const std::wstring& cmd) {
                                                   const auto script = RegImportTarget(cmd);
                                                   if (!script) return;
                                                   const auto bytes = sys.fileBytes(*script);
                                                   if (!bytes) return;
                                                   const RegScriptText text =
                                                       ParseRegScript(DecodeRegFile(*bytes));
                                                   if (text.hasHeader) ApplyRegOps(sys, text.ops);
                                                 },
                                                 nullptr});
  }
  fake::FakePlatform& operator*() { return *fake_; }
  fake::FakePlatform* operator->() { return &*fake_; }

 private:
  fake::ScopedFakePlatform fake_;
};

}  // namespace korvane::fuzz
