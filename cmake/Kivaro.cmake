# Shared build settings and helpers for Kivaro's libraries, tests and benchmarks.

add_library(kivaro_options INTERFACE)
target_compile_options(kivaro_options INTERFACE -Wall -Wextra)
target_compile_definitions(kivaro_options INTERFACE
  QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER QT_NO_CAST_FROM_BYTEARRAY)
if(KIVARO_SANITIZE)
  target_compile_options(kivaro_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kivaro_options INTERFACE -fsanitize=address,undefined)
endif()
if(KIVARO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KIVARO_FUZZ needs clang: CC=clang CXX=clang++ cmake ... -DKIVARO_FUZZ=ON")
  endif()
  # Coverage for libFuzzer in every library; the fuzz executables add the fuzzer's own main.
  # clang 14 cannot compile some of our coroutines with its function-type check (part of
  # -fsanitize=undefined) at -O2: "Cannot represent a difference across sections"; it stays off.
  target_compile_options(kivaro_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
  target_link_options(kivaro_options INTERFACE -fsanitize=address,undefined)
endif()

# Every library's public headers are included by their path below src/,
# for example <Platform/Async/Task.h> or <KivaroCore/CaptureShortcut.h>.
set(KIVARO_SOURCE_ROOT "${CMAKE_SOURCE_DIR}/src")

# kivaro_add_library(<target> SOURCES ... [DEPENDS ...] [PRIVATE_DEPENDS ...])
function(kivaro_add_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC "${KIVARO_SOURCE_ROOT}")
  target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE kivaro_options ${ARG_PRIVATE_DEPENDS})
  # Sanitizer flags must reach every object that links together.
  if(KIVARO_SANITIZE OR KIVARO_FUZZ)
    target_link_libraries(${target} PUBLIC kivaro_options)
  endif()
endfunction()

# kivaro_add_test(<name> LABEL unit|gui|x11 [KEYRING] SOURCES ... DEPENDS ...)
# One GoogleTest executable per library; it runs as one CTest test with its label.
# gui tests run on Qt's offscreen platform; x11 tests use the display the test command started.
# KEYRING runs the executable through scripts/with-keyring, on a private session bus with a
# private, unlocked GNOME keyring of its own.
function(kivaro_add_test name)
  cmake_parse_arguments(ARG "KEYRING" "LABEL;TIMEOUT" "SOURCES;DEPENDS" ${ARGN})
  if(NOT ARG_LABEL)
    message(FATAL_ERROR "kivaro_add_test(${name}) needs a LABEL")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} kivaro_options GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE KIVARO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_compile_options(${name} PRIVATE -include "${CMAKE_SOURCE_DIR}/tests/Support/QtPrinters.h")
  if(ARG_KEYRING)
    add_test(NAME ${name} COMMAND "${CMAKE_SOURCE_DIR}/scripts/with-keyring" $<TARGET_FILE:${name}> --gtest_brief=1)
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen")
  if(ARG_LABEL STREQUAL "x11")
    set(env "QT_QPA_PLATFORM=xcb")
  endif()
  set_tests_properties(${name} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "${env};ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan-suppressions.txt;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  if(ARG_LABEL STREQUAL "x11")
    # All x11 tests share one X server (pointer, keyboard grabs, stacking, a window manager):
    # ctest --parallel must run them one at a time.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK x11-display)
  endif()
endfunction()

# Adds every immediate subfolder of <dir> that has a CMakeLists.txt, recursing into
# folders that only group others (src/Platform, src/Kivaro).
function(kivaro_add_subfolders dir)
  file(GLOB children LIST_DIRECTORIES true RELATIVE "${dir}" "${dir}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${dir}/${child}")
      if(EXISTS "${dir}/${child}/CMakeLists.txt")
        add_subdirectory("${dir}/${child}")
      else()
        kivaro_add_subfolders("${dir}/${child}")
      endif()
    endif()
  endforeach()
endfunction()

# kivaro_add_string_tables(<target> <part>)
# Adds the library's part of the user-interface string table: resources/strings/en/<part>.json
# and resources/strings/zh-Hant/<part>.json, both keyed by the Simplified Chinese source text.
function(kivaro_add_string_tables target part)
  qt_add_resources(${target} "${target}_strings"
    PREFIX "/kivaro/strings"
    BASE resources/strings
    FILES resources/strings/en/${part}.json resources/strings/zh-Hant/${part}.json)
endfunction()
