#pragma once

namespace korvane {

// The payload files as built into the program: file name and text (LF line ends).
struct PayloadFile {
  const char* name;
  const char* text;
};
extern const PayloadFile kPayloadFiles[];  // ends with {nullptr, nullptr}

}  // namespace korvane
