# Windows build: the seam's Win32 side, Korvane.exe, the restart helper and
# KorvaneCli.exe.  The tests that run under Wine are in tests/CMakeLists.txt.

enable_language(RC)
# Small over fast: nothing here is computation-bound, and a technician copies the
# program onto broken machines.
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
add_compile_options(-ffunction-sections -fdata-sections)
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0602)
# Reproducible programs: a commit built twice, anywhere, gives the same bytes, so a
# published hash can be checked by rebuilding.  No link time stamp in the PE
# header, and no build or source folder in any text the compiler embeds.
set(KORVANE_REPRO_FLAGS -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_compile_options(${KORVANE_REPRO_FLAGS})
add_link_options(-Wl,--no-insert-timestamp)

# One static executable that imports nothing but Windows' own DLLs.
set(KORVANE_STATIC_LINK -static -static-libgcc -static-libstdc++)
set(KORVANE_HARDEN_LINK -Wl,--nxcompat -Wl,--dynamicbase -Wl,--high-entropy-va)

add_library(korvane_win32 STATIC
  src/platform/win32/Win32Platform.cpp
  src/platform/win32/Win32Wmi.cpp)
target_link_libraries(korvane_win32 PUBLIC korvane_logic ole32 oleaut32 uuid shell32 advapi32)

# ---------------------------------------------------------- restart helper
# The embedded helper is a 32-bit program; the i686 compiler is not this build's
# compiler, so it is built by a custom command.  The same source is also built
# for x86_64 below, for the tests (only 64-bit Wine is available here).
file(GLOB KORVANE_HELPER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/restarthelper/*.cpp)
set(KORVANE_RESTART_HELPER ${CMAKE_BINARY_DIR}/RestartExp32.exe)
# Without the helper, Tools > Restart "explorer.exe" would ship broken: refuse to
# configure rather than embed anything else.
if(NOT KORVANE_HELPER_SOURCES)
  message(FATAL_ERROR "The Explorer restart helper's sources (src/restarthelper/*.cpp) are "
                      "missing; Korvane.exe embeds that program and cannot be built without it.")
endif()
find_program(KORVANE_I686_CXX_PATH NAMES ${KORVANE_I686_CXX} NO_CACHE)
if(NOT KORVANE_I686_CXX_PATH)
  message(FATAL_ERROR "The Explorer restart helper is a 32-bit program built by "
                      "'${KORVANE_I686_CXX}', which was not found. Install it (Debian: "
                      "g++-mingw-w64-i686-posix; MSYS2: mingw-w64-i686-gcc) or name another "
                      "32-bit MinGW-w64 C++ compiler with -DKORVANE_I686_CXX=...")
endif()
add_custom_command(
  OUTPUT ${KORVANE_RESTART_HELPER}
  COMMAND ${KORVANE_I686_CXX_PATH} -std=c++20 -Os -s -static -municode -DUNICODE -D_UNICODE
          -Wall -Wextra -Wl,--nxcompat -Wl,--dynamicbase -Wl,--no-insert-timestamp ${KORVANE_REPRO_FLAGS}
          -I${CMAKE_SOURCE_DIR}/src -o ${KORVANE_RESTART_HELPER} ${KORVANE_HELPER_SOURCES} -lpsapi
  DEPENDS ${KORVANE_HELPER_SOURCES}
  COMMENT "Building the 32-bit restart helper"
  VERBATIM)
add_executable(RestartExp64 ${KORVANE_HELPER_SOURCES})
target_include_directories(RestartExp64 PRIVATE src)
target_link_options(RestartExp64 PRIVATE ${KORVANE_STATIC_LINK} -municode)
target_link_libraries(RestartExp64 PRIVATE psapi)
add_custom_target(restart_helper DEPENDS ${KORVANE_RESTART_HELPER})

# ------------------------------------------------------------- Korvane.exe
set(KORVANE_RESOURCE_DIR ${CMAKE_SOURCE_DIR}/src/resources)
set(KORVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(src/resources/Korvane.manifest.in ${KORVANE_GENERATED_DIR}/Korvane.manifest @ONLY)
configure_file(src/resources/Korvane.rc.in ${KORVANE_GENERATED_DIR}/Korvane.rc @ONLY)
set_source_files_properties(${KORVANE_GENERATED_DIR}/Korvane.rc PROPERTIES
  OBJECT_DEPENDS "${KORVANE_RESTART_HELPER};${KORVANE_GENERATED_DIR}/Korvane.manifest;${KORVANE_RESOURCE_DIR}/korvane.ico")

# Planted DLLs: the program runs elevated, typically from a Downloads folder, and
# Windows looks for a DLL that is not a KnownDLL in the program's folder first.
# main() therefore calls SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
# before anything else, and every import outside the KnownDLLs is delay-loaded, so
# the loader resolves it only after that call (the import table at start holds
# KnownDLLs alone).  MinGW does this with delay-import libraries made by dlltool
# from the short .def files in cmake/delayload (only the functions we call);
# libmingwex supplies __delayLoadHelper2.
set(KORVANE_DELAYLOAD_LIBS "")
foreach(dll comctl32)
  set(lib ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
  add_custom_command(
    OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
    COMMAND x86_64-w64-mingw32-dlltool --input-def ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def
            --output-delaylib ${lib} --dllname ${dll}.dll
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def
    VERBATIM)
  list(APPEND KORVANE_DELAYLOAD_LIBS ${lib})
endforeach()
add_custom_target(delayload_libs DEPENDS ${KORVANE_DELAYLOAD_LIBS})

file(GLOB KORVANE_APP_SOURCES CONFIGURE_DEPENDS src/app/*.cpp src/about/*.cpp src/ui/*.cpp)
list(REMOVE_ITEM KORVANE_APP_SOURCES ${CMAKE_SOURCE_DIR}/src/app/main.cpp
     ${CMAKE_SOURCE_DIR}/src/app/DelayImportEnd.cpp)
add_library(korvane_ui STATIC ${KORVANE_APP_SOURCES})
add_dependencies(korvane_ui delayload_libs)
target_link_libraries(korvane_ui PUBLIC korvane_win32 korvane_changes ${KORVANE_DELAYLOAD_LIBS} gdi32 user32)
target_include_directories(korvane_ui PUBLIC src)

add_executable(Korvane WIN32 src/app/main.cpp src/app/DelayImportEnd.cpp
               ${CMAKE_BINARY_DIR}/generated/Korvane.rc)
add_dependencies(Korvane restart_helper)
target_link_libraries(Korvane PRIVATE korvane_ui)
target_link_options(Korvane PRIVATE ${KORVANE_STATIC_LINK} ${KORVANE_HARDEN_LINK} -municode -mwindows
                    -Wl,--gc-sections -Wl,--undefined=korvaneDelayImportEnd -s)
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_custom_command(TARGET Korvane POST_BUILD
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/pe_delay_directory.py
          $<TARGET_FILE:Korvane> comctl32.dll
  COMMENT "Recording the delay-import table"
  VERBATIM)

# ---------------------------------------------------------- KorvaneCli.exe
# The console program for scripts and fleets: the same repairs on the same seam,
# one static executable like the window.
# Its manifest asks for no elevation and carries the window's supportedOS entries,
# taken from the window's manifest so that the two lists cannot drift apart.
file(READ ${KORVANE_RESOURCE_DIR}/Korvane.manifest.in KORVANE_WINDOW_MANIFEST)
string(REGEX MATCH "[ ]*<compatibility .*</compatibility>" KORVANE_CLI_COMPATIBILITY
       "${KORVANE_WINDOW_MANIFEST}")
if(NOT KORVANE_CLI_COMPATIBILITY)
  message(FATAL_ERROR "Korvane.manifest.in has no <compatibility> section")
endif()
set(KORVANE_CLI_MANIFEST_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
foreach(part PATCH TWEAK)
  if("${PROJECT_VERSION_${part}}" STREQUAL "")
    string(APPEND KORVANE_CLI_MANIFEST_VERSION ".0")
  else()
    string(APPEND KORVANE_CLI_MANIFEST_VERSION ".${PROJECT_VERSION_${part}}")
  endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${KORVANE_RESOURCE_DIR}/Korvane.manifest.in ${KORVANE_RESOURCE_DIR}/KorvaneCli.manifest.in)
set(KORVANE_CLI_MANIFEST ${CMAKE_BINARY_DIR}/generated/KorvaneCli.manifest)
configure_file(src/resources/KorvaneCli.manifest.in ${KORVANE_CLI_MANIFEST} @ONLY)
configure_file(src/resources/KorvaneCli.rc.in ${CMAKE_BINARY_DIR}/generated/KorvaneCli.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/generated/KorvaneCli.rc PROPERTIES
  OBJECT_DEPENDS "${KORVANE_CLI_MANIFEST};${KORVANE_RESTART_HELPER}")

add_executable(KorvaneCli src/cli/main.cpp ${CMAKE_BINARY_DIR}/generated/KorvaneCli.rc)
add_dependencies(KorvaneCli restart_helper)
target_link_libraries(KorvaneCli PRIVATE korvane_cli korvane_win32)
target_link_options(KorvaneCli PRIVATE ${KORVANE_STATIC_LINK} ${KORVANE_HARDEN_LINK} -municode
                    -Wl,--gc-sections -s)

# The native build's warnings, for every program and library of our own here too.
foreach(target korvane_win32 korvane_ui Korvane KorvaneCli RestartExp64)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endforeach()
