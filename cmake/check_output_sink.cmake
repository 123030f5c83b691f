# Fails when library code prints to standard output past the output sink
# (link/output_sink.h), which applications may point elsewhere.
#   cmake -DSOURCE_DIR=<tree> -P check_output_sink.cmake
cmake_minimum_required(VERSION 3.22)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_output_sink: SOURCE_DIR is not set")
endif()

set(folders link protocol maintenance tuning paramfile diagnostics tester library)
set(pattern "(^|[^A-Za-z0-9_])(printf|puts|putchar|vprintf|perror)[ \t]*\\(|stdout|std::cout|std::cerr")

set(violations "")
foreach(folder IN LISTS folders)
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
    if(name STREQUAL "link/output_sink.cpp" OR name STREQUAL "link/output_sink.h")
      continue()
    endif()
    file(STRINGS "${source}" lines REGEX "${pattern}")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line MATCHES "^//")
        continue()
      endif()
      list(APPEND violations "${name}: ${line}")
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "prints past the output sink:\n  ${text}")
endif()
message(STATUS "the library prints only through its output sink")
