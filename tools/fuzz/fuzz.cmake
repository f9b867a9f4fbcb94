# The fuzz target of the problem reader, built with -DNAGARE_FUZZ=ON by clang with libFuzzer and the
# address and undefined-behaviour sanitizers. Clang has no execution character set but UTF-8, so it
# compiles copies of the sources whose string literals are already Shift-JIS bytes.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "NAGARE_FUZZ needs clang with libFuzzer: -DCMAKE_CXX_COMPILER=clang++")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_package(Threads REQUIRED)

set(NAGARE_SJIS_DIR ${CMAKE_BINARY_DIR}/sjis)
file(GLOB_RECURSE NAGARE_FUZZ_INPUTS CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}
  src/*.h src/*.cpp tools/fuzz/*.h tools/fuzz/*.cpp)
list(REMOVE_ITEM NAGARE_FUZZ_INPUTS src/run/main.cpp)
set(NAGARE_FUZZ_SOURCES)
foreach(relative ${NAGARE_FUZZ_INPUTS})
  set(converted ${NAGARE_SJIS_DIR}/${relative})
  add_custom_command(OUTPUT ${converted}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/fuzz/sjis_literals.py
            ${CMAKE_SOURCE_DIR}/${relative} ${converted}
    DEPENDS ${CMAKE_SOURCE_DIR}/${relative} ${CMAKE_SOURCE_DIR}/tools/fuzz/sjis_literals.py
    VERBATIM)
  list(APPEND NAGARE_FUZZ_SOURCES ${converted})
endforeach()

set(NAGARE_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
add_executable(nagare-fuzz-problem ${NAGARE_FUZZ_SOURCES})
target_include_directories(nagare-fuzz-problem PRIVATE ${NAGARE_SJIS_DIR}/src)
target_compile_options(nagare-fuzz-problem PRIVATE -Wall -Wextra -g -fno-omit-frame-pointer ${NAGARE_FUZZ_FLAGS})
target_link_options(nagare-fuzz-problem PRIVATE ${NAGARE_FUZZ_FLAGS})
target_link_libraries(nagare-fuzz-problem PRIVATE Threads::Threads)
