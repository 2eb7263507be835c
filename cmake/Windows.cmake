# The Windows build's tests, after the libraries and programs CMakeLists.txt defines.

# Without Qt for Windows (Debian packages none) the window's code is still compiled for Windows,
# against the host's Qt 6 headers, which declare the same API: nothing in it may stop a Windows
# build. Only the syntax is checked; there is nothing to link with.
find_path(QUILLON_HOST_QT_HEADERS QtWidgets/QWidget
  PATHS /usr/include/x86_64-linux-gnu/qt6 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUILLON_WINDOWS_GUI AND QUILLON_HOST_QT_HEADERS)
  file(GLOB WINDOW_SOURCES CONFIGURE_DEPENDS src/ui/*.cpp src/app/*.cpp)
  set(qt "${QUILLON_HOST_QT_HEADERS}")
  get_directory_property(definitions COMPILE_DEFINITIONS)
  list(TRANSFORM definitions PREPEND -D)
  add_custom_target(window-compiles
    COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -Wall -Wextra -Werror ${definitions}
            -isystem ${qt} -isystem ${qt}/QtCore -isystem ${qt}/QtGui
            -isystem ${qt}/QtWidgets -I${CMAKE_SOURCE_DIR}/src -I${CMAKE_BINARY_DIR}/generated
            ${WINDOW_SOURCES}
    COMMENT "Compiling the window's code for Windows against Qt 6's headers"
    VERBATIM)
endif()

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
