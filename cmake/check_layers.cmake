# Fails when a source file includes a header of a layer above its own.
#   cmake -DSOURCE_DIR=<tree> -P check_layers.cmake
#
# The library's layers, lowest first; folders of one layer are separated by
# commas and may include each other. A folder may include its own layer and
# the layers below. The simulator stands apart: it includes only itself, and nothing of the library
# includes it. Tests, benchmarks and fuzz targets sit above everything.
cmake_minimum_required(VERSION 3.22)

set(layers
  "link"
  "protocol"
  "maintenance"
  "tuning,paramfile,diagnostics"
  "tester"
  "library"
  "app")
set(apart "sim")

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR is not set")
endif()

set(level 0)
set(known "")
foreach(layer IN LISTS layers)
  string(REPLACE "," ";" folders "${layer}")
  foreach(folder IN LISTS folders)
    set(level_of_${folder} ${level})
    list(APPEND known ${folder})
  endforeach()
  math(EXPR level "${level} + 1")
endforeach()

set(violations "")
foreach(folder IN LISTS known apart)
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*$" "\\1" target "${line}")
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
      if(target STREQUAL folder)
        continue()
      endif()
      if(folder IN_LIST apart OR target IN_LIST apart)
        list(APPEND violations "${name}: ${line}")
      elseif(DEFINED level_of_${target} AND level_of_${target} GREATER level_of_${folder})
        list(APPEND violations "${name}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "upward includes:\n  ${text}")
endif()
message(STATUS "include layers hold")
