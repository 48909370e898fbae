# Programs the build runs on the build machine, for a build whose own programs cannot run
# there (the cross-build for Windows). The project is configured a second time, for the
# build machine and without tests, in <build>/host, and only those programs are built in
# it. The sub-build runs on every build so that it follows the sources; it does nothing
# when nothing changed.
include(ExternalProject)

set(PARLE_HOST_BINARY_DIR ${PROJECT_BINARY_DIR}/host)
# The sample-disk generator (sample/CMakeLists.txt).
set(PARLE_HOST_MAKE_SAMPLE_DISK ${PARLE_HOST_BINARY_DIR}/sample/make-sample-disk)

ExternalProject_Add(parle_host
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${PARLE_HOST_BINARY_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DPARLE_BUILD_TESTS=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target make-sample-disk
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${PARLE_HOST_MAKE_SAMPLE_DISK}
  INSTALL_COMMAND "")
