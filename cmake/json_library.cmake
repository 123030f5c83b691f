# Debian's JSON library (nlohmann-json3-dev), which the tmode program and its
# tests use. The package is header-only and the same for every architecture,
# so a cross build whose target root lacks it takes the host's copy: only
# the library's own folder is put on the target's include path, never the
# host's /usr/include with its C headers. Sets TMODE_JSON_FOUND and, when
# found, the target nlohmann_json::nlohmann_json for the whole tree.
find_package(nlohmann_json 3 QUIET)
if(nlohmann_json_FOUND)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES IMPORTED_GLOBAL TRUE)
  set(TMODE_JSON_FOUND TRUE)
elseif(CMAKE_CROSSCOMPILING AND EXISTS /usr/include/nlohmann/json.hpp)
  set(_tmode_json_root ${PROJECT_BINARY_DIR}/host-json)
  file(MAKE_DIRECTORY ${_tmode_json_root})
  file(CREATE_LINK /usr/include/nlohmann ${_tmode_json_root}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${_tmode_json_root}
    INTERFACE_INCLUDE_DIRECTORIES ${_tmode_json_root})
  set(TMODE_JSON_FOUND TRUE)
  message(STATUS "JSON library: the host's header-only copy in /usr/include/nlohmann")
else()
  set(TMODE_JSON_FOUND FALSE)
endif()
