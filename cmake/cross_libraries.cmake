# The libraries of a cross-build for Windows, where the programs are linked statically.
#
# zlib: the MinGW-w64 static archive (Debian's libz-mingw-w64-dev), not its import
# library, which would need zlib1.dll beside the programs.
set(ZLIB_USE_STATIC_LIBS ON)

# nlohmann-json is headers alone, the same on every system, and Debian ships it for the
# build machine only. Its headers are taken from there through a folder that holds them
# and nothing else: /usr/include itself, with the build machine's C library headers,
# must never come onto the Windows compiler's include path. find_package finds it through
# a package configuration written here.
find_path(PARLE_HOST_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_file(PARLE_HOST_JSON_VERSION nlohmann_jsonConfigVersion.cmake
          PATHS /usr/share/cmake/nlohmann_json /usr/lib/cmake/nlohmann_json NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(PARLE_HOST_JSON_INCLUDE AND PARLE_HOST_JSON_VERSION)
  set(parle_json_dir ${PROJECT_BINARY_DIR}/cross/nlohmann_json)
  file(MAKE_DIRECTORY ${parle_json_dir}/include)
  file(CREATE_LINK ${PARLE_HOST_JSON_INCLUDE}/nlohmann ${parle_json_dir}/include/nlohmann SYMBOLIC)
  configure_file(${PARLE_HOST_JSON_VERSION} ${parle_json_dir}/nlohmann_jsonConfigVersion.cmake COPYONLY)
  file(WRITE ${parle_json_dir}/nlohmann_jsonConfig.cmake
       "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
       "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
       "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES\n"
       "                        INTERFACE_INCLUDE_DIRECTORIES ${parle_json_dir}/include)\n"
       "endif()\n")
  set(nlohmann_json_DIR ${parle_json_dir} CACHE PATH "nlohmann-json for the cross-build" FORCE)
endif()
