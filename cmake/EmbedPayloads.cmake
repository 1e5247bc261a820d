# Turns the payload files into one C++ source.  Run as:
#   cmake -DOUT=<file.cpp> -DFILES="<a;b;...>" -P EmbedPayloads.cmake
# The scripts are single-byte text that the program writes out line by line, so
# anything but printable 7-bit ASCII, tab and LF is refused here, at build time.
set(body "// Generated from src/fileassoc/payloads; do not edit.\n#include \"fileassoc/PayloadTable.h\"\n\nnamespace korvane {\n")
set(entries "")
set(index 0)
foreach(f IN LISTS FILES)
  file(READ "${f}" content)
  string(REGEX MATCH "[^\t\n -~]" bad "${content}")
  if(NOT bad STREQUAL "")
    message(FATAL_ERROR "payload ${f} holds a byte outside 7-bit ASCII text")
  endif()
  get_filename_component(name "${f}" NAME)
  string(APPEND body "static const char kPayload${index}[] = R\"KORVANE_PAYLOAD(${content})KORVANE_PAYLOAD\";\n")
  string(APPEND entries "    {\"${name}\", kPayload${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "\nconst PayloadFile kPayloadFiles[] = {\n${entries}    {nullptr, nullptr}};\n\n}  // namespace korvane\n")
file(WRITE "${OUT}.tmp" "${body}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
