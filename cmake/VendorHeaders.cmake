# KorvaneCli's JSON and command-line libraries are header-only Debian packages
# (nlohmann-json3-dev, libcli11-dev).  Only their two folders are copied into the
# build tree, so the MinGW compiler gets them without seeing the rest of the
# host's /usr/include.  On MSYS2, point KORVANE_VENDOR_SOURCE at the prefix's
# include folder (mingw-w64-x86_64-nlohmann-json, mingw-w64-x86_64-cli11).
set(KORVANE_VENDOR_SOURCE "/usr/include" CACHE PATH "Folder holding nlohmann/ and CLI/")
set(KORVANE_VENDOR_INCLUDE ${CMAKE_BINARY_DIR}/vendor/include)
foreach(dir nlohmann CLI)
  if(NOT EXISTS ${KORVANE_VENDOR_SOURCE}/${dir})
    message(FATAL_ERROR "${KORVANE_VENDOR_SOURCE}/${dir} is missing: run scripts/install-deps.sh")
  endif()
  file(COPY ${KORVANE_VENDOR_SOURCE}/${dir} DESTINATION ${KORVANE_VENDOR_INCLUDE})
endforeach()
target_include_directories(korvane_cli SYSTEM PRIVATE ${KORVANE_VENDOR_INCLUDE})
