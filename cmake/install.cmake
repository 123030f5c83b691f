# What `cmake --install` puts in place: the API library (static and shared),
# the headers an application needs under include/tmode/, a CMake package
# (find_package(tmode), target tmode::tmode) and a pkg-config file, tmodectl,
# the simulator as a developer tool, the man pages and the udev rule; and the
# Debian package CPack builds from them. Sanitizer and fuzz builds serve this
# tree only and leave the installable libraries out.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(TMODE_SANITIZE OR TMODE_FUZZ)
  set(_tmode_install_default OFF)
else()
  set(_tmode_install_default ON)
endif()
option(TMODE_INSTALL "Build the installable libraries and the install rules" ${_tmode_install_default})
# udev reads /usr/lib/udev/rules.d (and /etc/udev/rules.d): right for a
# /usr prefix and the Debian package; other prefixes keep the rule with them.
set(TMODE_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule is installed, relative to the prefix unless absolute")
if(NOT TMODE_INSTALL)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/public_headers.cmake)

add_library(tmode_static STATIC $<TARGET_OBJECTS:tmode>)
add_library(tmode_shared SHARED $<TARGET_OBJECTS:tmode>)
foreach(library tmode_static tmode_shared)
  set_target_properties(${library} PROPERTIES OUTPUT_NAME tmode)
  target_include_directories(${library} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tmode>)
  target_link_libraries(${library} PUBLIC Threads::Threads)
  target_compile_features(${library} INTERFACE cxx_std_20)
endforeach()
set_target_properties(tmode_shared PROPERTIES
  EXPORT_NAME tmode VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(tmode_static PROPERTIES EXPORT_NAME tmode_static)

install(TARGETS tmode_shared tmode_static EXPORT tmodeTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(header IN LISTS TMODE_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  if(folder STREQUAL "library")
    install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tmode)
  else()
    install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tmode/${folder})
  endif()
endforeach()

set(_tmode_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/tmode)
install(EXPORT tmodeTargets NAMESPACE tmode:: DESTINATION ${_tmode_package_dir})
configure_package_config_file(packaging/tmodeConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tmodeConfig.cmake INSTALL_DESTINATION ${_tmode_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tmodeConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tmodeConfig.cmake ${PROJECT_BINARY_DIR}/tmodeConfigVersion.cmake
  DESTINATION ${_tmode_package_dir})

# The pkg-config file finds the prefix from where it lies, so that an
# install with --prefix (or DESTDIR) elsewhere stays usable.
file(RELATIVE_PATH TMODE_PC_PREFIX_FROM_PCFILEDIR
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(packaging/tmode.pc.in ${PROJECT_BINARY_DIR}/tmode.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tmode.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS tmode-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES docs/man/tmodectl.1 docs/man/tmode-sim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET tmode-cli)
  install(FILES docs/man/tmode.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/bash-completion/tmode DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()
install(FILES packaging/70-tmode-controller.rules DESTINATION ${TMODE_UDEV_RULES_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tmode)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tmodectl developers <tmodectl@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Touch-screen controller tool, API library, headers and simulator")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
