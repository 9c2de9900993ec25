# Shared build rules: warnings as errors everywhere, optional sanitizers, and helpers for
# libraries, tests and fuzz targets so every folder builds the same way.

add_compile_options(-Wall -Wextra -Wpedantic -Wshadow
                    -Wformat=2 -Werror)

# GCC 12 at -O3 reports overlaps inside std::string's own concatenation that cannot happen
# (GCC bug 105329); with warnings as errors that would stop a Release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()

# Hardened as Debian builds its own packages: checked string and memory functions where the
# compiler can see the sizes, and relocations resolved and made read-only at start. The
# sanitizer and fuzz builds check more than this already and keep their own run time.
if(NOT TALLYARD_SANITIZE AND NOT TALLYARD_FUZZ)
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>
                      -fstack-protector-strong)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

if(TALLYARD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# In the libFuzzer build every library carries the coverage instrumentation, so the fuzzer is
# guided by the parsers' own branches and not only by the target file.
if(TALLYARD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# tallyard_library(NAME SOURCES...) : a static library whose headers are included by folder,
# e.g. #include "platform/registry/registry.h".
function(tallyard_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# tallyard_test(NAME SOURCES... LIBS libs...) : a GoogleTest binary registered with ctest.
function(tallyard_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    TALLYARD_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TALLYARD_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
endfunction()

# tallyard_ui_test(NAME SOURCES... LIBS libs...) : a GoogleTest binary that drives the real
# widgets headless (the offscreen platform) through Qt Test; its screenshots go to
# <build>/screenshots.
function(tallyard_ui_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS} ${PROJECT_SOURCE_DIR}/tests/support/qt_main.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Widgets Qt6::Test GTest::gtest Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    TALLYARD_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TALLYARD_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;QT_QPA_PLATFORM=offscreen")
endfunction()

# tallyard_fuzzer(NAME SOURCES... LIBS libs...) : a fuzz target over LLVMFuzzerTestOneInput.
# With TALLYARD_FUZZ it is a libFuzzer binary; otherwise it links a small replay driver and
# ctest runs it over its seed corpus plus a bounded number of mutated inputs, so the normal and
# sanitizer builds exercise every target too.
function(tallyard_fuzzer name)
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  add_executable(${name} ${F_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY TALLYARD_FUZZERS ${name})
  if(TALLYARD_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(TALLYARD_TESTS)
      add_test(NAME ${name}
               COMMAND ${name} --iterations=20000 ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    endif()
  endif()
endfunction()
