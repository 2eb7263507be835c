# The Windows build: quillon-cli.exe on the native backend and the Windows test suite, cross-built
# with cmake/mingw-w64.cmake (make test-windows) or built on Windows with MinGW. The window needs
# Qt for Windows, which Debian does not package: QUILLON_WINDOWS_GUI builds it where Qt is
# installed (the README's "Windows" section).

option(QUILLON_WINDOWS_GUI "Build the window (quillon.exe); needs Qt 6 for Windows" OFF)
option(QUILLON_WINDOWS_TESTS "Build the Windows test suite; needs GoogleTest's source" ON)

enable_language(C)
enable_language(RC)
# Windows 7 is the oldest system the program serves (LOAD_LIBRARY_SEARCH_* needs its KB2533623).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)

# SQLite from Debian's own source (scripts/sqlite-source.sh writes the amalgamation).
set(QUILLON_SQLITE_SOURCE "" CACHE PATH "folder holding SQLite's sqlite3.c and sqlite3.h")
if(NOT EXISTS "${QUILLON_SQLITE_SOURCE}/sqlite3.c")
  message(FATAL_ERROR "QUILLON_SQLITE_SOURCE must name a folder with sqlite3.c: "
                      "run scripts/sqlite-source.sh DIR and pass -DQUILLON_SQLITE_SOURCE=DIR")
endif()
add_library(quillon_sqlite STATIC "${QUILLON_SQLITE_SOURCE}/sqlite3.c")
target_include_directories(quillon_sqlite SYSTEM PUBLIC "${QUILLON_SQLITE_SOURCE}")
# SQLite's own code is not held to our warnings.
target_compile_options(quillon_sqlite PRIVATE -w)
target_compile_definitions(quillon_sqlite PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)

# Everything below the user interface, on the native backend: the image backend and the Linux
# SQLite host are replaced by their native counterparts.
file(GLOB_RECURSE CORE_SOURCES CONFIGURE_DEPENDS
  src/winapi/*.cpp src/model/*.cpp src/platform/*.cpp src/formats/*.cpp
  src/helpers/*.cpp src/discovery/*.cpp)
list(FILTER CORE_SOURCES EXCLUDE REGEX "/src/winapi/image/")
list(FILTER CORE_SOURCES EXCLUDE REGEX "/src/winapi/SQLiteHost\\.cpp$")
add_library(quillon_core STATIC ${CORE_SOURCES})
target_include_directories(quillon_core PUBLIC src)
# Windows 7's system libraries: registry and SIDs, shell folders, the URL cache, COM's allocator.
target_link_libraries(quillon_core PUBLIC quillon_sqlite advapi32 shell32 wininet ole32)
# Wide-character entry points and no min/max macros from <windows.h>.
target_compile_definitions(quillon_core PUBLIC UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

file(GLOB SESSION_SOURCES CONFIGURE_DEPENDS src/session/*.cpp)
list(FILTER SESSION_SOURCES EXCLUDE REGEX "/(ImageSession|HostSystemImage)\\.cpp$")
add_library(quillon_session STATIC ${SESSION_SOURCES})
target_link_libraries(quillon_session PUBLIC quillon_core)
target_include_directories(quillon_session PRIVATE "${CMAKE_BINARY_DIR}/generated")

file(GLOB CLI_SOURCES CONFIGURE_DEPENDS src/cli/*.cpp)
list(FILTER CLI_SOURCES EXCLUDE REGEX "CliMain\\.cpp$")
add_library(quillon_cli STATIC ${CLI_SOURCES})
target_link_libraries(quillon_cli PUBLIC quillon_session)
# The program carries the version resource that --version and About read.
add_executable(quillon-cli src/cli/CliMain.cpp "${CMAKE_BINARY_DIR}/generated/Quillon.rc")
target_link_libraries(quillon-cli PRIVATE quillon_cli)

if(QUILLON_WINDOWS_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  file(GLOB UI_SOURCES CONFIGURE_DEPENDS src/ui/*.cpp)
  add_library(quillon_ui STATIC ${UI_SOURCES})
  set_target_properties(quillon_ui PROPERTIES AUTOMOC ON)
  target_link_libraries(quillon_ui PUBLIC quillon_session Qt6::Widgets)
  add_executable(quillon WIN32 src/app/main.cpp "${CMAKE_BINARY_DIR}/generated/Quillon.rc")
  target_link_libraries(quillon PRIVATE quillon_ui quillon_session)
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
add_executable(quillon-tests-windows ${WINDOWS_TEST_SOURCES}
  tools/kit/SQLiteStoreWriter.cpp tools/kit/MozillaTextStores.cpp tools/kit/HostFile.cpp)
target_include_directories(quillon-tests-windows PRIVATE tests tools)
target_link_libraries(quillon-tests-windows PRIVATE quillon_cli gtest gmock)
target_compile_definitions(quillon-tests-windows PRIVATE
  QUILLON_SAMPLES_DIR="${QUILLON_SAMPLES_DIR}"
  QUILLON_PRODUCT_VERSION="${PROJECT_VERSION}")
add_dependencies(quillon-tests-windows quillon-cli)
