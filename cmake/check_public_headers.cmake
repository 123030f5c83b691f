# Fails when a header the install puts in place includes one of the tree's
# headers that it leaves out: an application that includes it would not
# build. The list is the tree's cmake/public_headers.cmake.
#   cmake -DSOURCE_DIR=<tree> -P check_public_headers.cmake
cmake_minimum_required(VERSION 3.22)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_public_headers: SOURCE_DIR is not set")
endif()
include("${SOURCE_DIR}/cmake/public_headers.cmake")

# library/tmode.h is installed as tmode.h.
set(installed ${TMODE_PUBLIC_HEADERS} tmode.h)
set(missing "")
foreach(header IN LISTS TMODE_PUBLIC_HEADERS)
  if(NOT EXISTS "${SOURCE_DIR}/${header}")
    list(APPEND missing "${header}: listed but not in the tree")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${header}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
    if(NOT included IN_LIST installed)
      list(APPEND missing "${header}: #include \"${included}\"")
    endif()
  endforeach()
endforeach()

if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "installed headers include what the install leaves out:\n  ${text}")
endif()
message(STATUS "every header an installed header includes is installed")
