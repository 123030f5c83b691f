# Fails when the udev rule misses a USB vendor id that device discovery
# accepts (the kVendor... constants of link/discovery.h).
#   cmake -DSOURCE_DIR=<tree> -P check_udev_rule.cmake
cmake_minimum_required(VERSION 3.22)

file(STRINGS "${SOURCE_DIR}/link/discovery.h" vendors REGEX "kVendor[A-Za-z]+ = 0x[0-9A-Fa-f]+")
file(READ "${SOURCE_DIR}/packaging/70-tmode-controller.rules" rules)
if(NOT vendors)
  message(FATAL_ERROR "no vendor ids found in link/discovery.h")
endif()
foreach(line IN LISTS vendors)
  string(REGEX REPLACE ".*= 0x([0-9A-Fa-f]+).*" "\\1" id "${line}")
  string(TOLOWER "${id}" id)
  string(FIND "${rules}" "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"${id}\", TAG+=\"uaccess\"" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the udev rule gives no access to vendor ${id}")
  endif()
  message(STATUS "vendor ${id}: uaccess")
endforeach()
