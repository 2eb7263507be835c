# The Windows build's tests, after the libraries and programs CMakeLists.txt defines.

if(NOT QUILLON_WINDOWS_TESTS)
  return()
endif()

# GoogleTest from Debian's source (libgtest-dev's /usr/src/googletest), built for Windows.
set(QUILLON_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory("${QUILLON_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)

# The Windows test suite: the tests of tests/windows, and the tests of tests/backend, which run
# the same bodies against the image backend in the Linux build. The image kit's portable writers
# make the browsers' stores.
file(GLOB WINDOWS_TEST_SOURCES CONFIGURE_DEPENDS tests/windows/*.cpp tests/backend/*.cpp)
# The image's part of the tests of tests/backend stays in the Linux build.
list(FILTER WINDOWS_TEST_SOURCES EXCLUDE REGEX "/tests/backend/[^/]*Image\\.cpp$")
add_executable(quillon-tests-windows ${WINDOWS_TEST_SOURCES}
  tools/kit/SQLiteStoreWriter.cpp tools/kit/MozillaTextStores.cpp tools/kit/HostFile.cpp)
target_include_directories(quillon-tests-windows PRIVATE tests tools)
target_link_libraries(quillon-tests-windows PRIVATE quillon_cli gtest gmock)
target_compile_definitions(quillon-tests-windows PRIVATE
  QUILLON_SAMPLES_DIR="${QUILLON_SAMPLES_DIR}"
  QUILLON_PRODUCT_VERSION="${PROJECT_VERSION}")
add_dependencies(quillon-tests-windows quillon-cli)
