# What the Windows build links and leaves out: quillon-cli.exe on the native backend and the
# Windows test suite (cmake/Windows.cmake), cross-built with cmake/mingw-w64.cmake (make
# test-windows) or built on Windows with MinGW. The window needs Qt for Windows, which Debian does
# not package: QUILLON_WINDOWS_GUI builds it where Qt is installed (the README's "Windows").

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

# The native backend and the Windows session take the place of the image backend, the Linux SQLite
# host and the Linux session. Windows 7's system libraries: registry and SIDs, shell folders, the
# URL cache, COM's allocator.
set(QUILLON_CORE_EXCLUDE "/src/winapi/(image/|SQLiteHost\\.cpp$)")
set(QUILLON_SESSION_EXCLUDE "/(ImageSession|HostSystemImage)\\.cpp$")
set(QUILLON_SYSTEM_LIBRARIES quillon_sqlite advapi32 shell32 wininet ole32)
# Wide-character entry points and no min/max macros from <windows.h>.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
# The program carries the version resource that --version and About read.
set(QUILLON_PROGRAM_RESOURCE "${CMAKE_BINARY_DIR}/generated/Quillon.rc")
