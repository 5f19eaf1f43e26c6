# Cross-building the 32-bit Windows program with Debian's mingw-w64 (the
# posix thread model: the win32 one has no std::thread): for a DNC component
# registered for 32-bit programs only. Tests run under Wine's 32-bit half.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
# The IDL compiler and the folder of Wine's stdole2.tlb (the DNC component's stand-in).
set(OSTRANA_WIDL_NAME i686-w64-mingw32-widl)
# The message compiler: the events' message table in ostrana.exe.
set(OSTRANA_WINDMC i686-w64-mingw32-windmc)
set(OSTRANA_WINE_LIBRARIES /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
