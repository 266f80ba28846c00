# Compiler settings shared by every target of the project.

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  # The sloppiness lets ccache cache files compiled with a precompiled
  # header (below); the header's own macros are checked by the compiler.
  set(KESTREL_COMPILER_LAUNCHER env CCACHE_SLOPPINESS=pch_defines,time_macros ${CCACHE_PROGRAM})
  set(CMAKE_C_COMPILER_LAUNCHER ${KESTREL_COMPILER_LAUNCHER})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${KESTREL_COMPILER_LAUNCHER})
endif()

# LLVM's linker, where the compiler can use it, links our programs about
# three times faster than the default one.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld KESTREL_HAVE_LLD)
if(KESTREL_HAVE_LLD)
  add_link_options(-fuse-ld=lld)
endif()
# A program loads only the shared libraries it uses: the desktop client and
# the tools link the support library, whose window pieces they never call,
# and loading Qt's interface libraries cost the client about 6 ms a start.
add_link_options(LINKER:--as-needed)

# KESTREL_SANITIZE: OFF, ON (AddressSanitizer with UndefinedBehaviorSanitizer)
# or "thread" (ThreadSanitizer, which cannot be combined with the others).
if(KESTREL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(KESTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
# A sanitized build is for running the tests: its reports need functions,
# files and lines, which line tables give at a sixth less compile time than
# full debugging information. Debug a plain Debug build.
if(KESTREL_SANITIZE)
  string(REGEX REPLACE "(^| )-g( |$)" "\\1-g1\\2" CMAKE_CXX_FLAGS_DEBUG "${CMAKE_CXX_FLAGS_DEBUG}")
  string(REGEX REPLACE "(^| )-g( |$)" "\\1-g1\\2" CMAKE_C_FLAGS_DEBUG "${CMAKE_C_FLAGS_DEBUG}")
endif()

# Precompiled headers. The standard library and Qt Core are most of what a
# source file parses; one precompiled copy, made once per build, serves
# every target that uses Qt, and a second one with GoogleTest serves the
# test code. GCC takes a precompiled header only where it was made with the
# same macros and code model; CMake adds -Winvalid-pch and our targets build
# with -Werror, so a target that does not match fails to build instead of
# silently parsing everything again.
option(KESTREL_PRECOMPILE_HEADERS "Precompile the standard library's and Qt Core's headers" ON)
set(KESTREL_PRECOMPILED_HEADERS
  <algorithm> <atomic> <chrono> <condition_variable> <cstdint> <functional> <map> <memory> <mutex>
  <optional> <string> <thread> <utility> <variant> <vector>
  <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QList> <QString> <QStringList> <QUrl>
  <QUuid>)

# Makes a target whose only work is the precompiled header for targets
# built against LIBRARIES, with EXTRA_HEADERS added to the common ones.
function(kestrel_add_precompiled_header_host name)
  cmake_parse_arguments(ARG "" "" "LIBRARIES;EXTRA_HEADERS" ${ARGN})
  if(NOT KESTREL_PRECOMPILE_HEADERS)
    return()
  endif()
  add_library(${name} STATIC ${PROJECT_SOURCE_DIR}/cmake/PrecompiledHeaderHost.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  target_precompile_headers(${name} PRIVATE ${KESTREL_PRECOMPILED_HEADERS} ${ARG_EXTRA_HEADERS})
endfunction()

# Our own targets build with every warning as an error; third-party headers
# come in as system includes and stay quiet. WITHOUT_QT: a target that does
# not use Qt (no precompiled header); TESTS: test code (GoogleTest's
# precompiled header).
function(kestrel_target_defaults target)
  cmake_parse_arguments(ARG "WITHOUT_QT;TESTS" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(KESTREL_PRECOMPILE_HEADERS AND NOT ARG_WITHOUT_QT)
    if(ARG_TESTS)
      target_precompile_headers(${target} REUSE_FROM kestrel_test_precompiled_headers)
    else()
      target_precompile_headers(${target} REUSE_FROM kestrel_precompiled_headers)
    endif()
  endif()
endfunction()
