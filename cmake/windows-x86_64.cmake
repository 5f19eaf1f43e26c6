# Cross-building the Windows program with Debian's mingw-w64 (the posix
# thread model: the win32 one has no std::thread). Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
# The IDL compiler and the folder of Wine's stdole2.tlb (the DNC component's stand-in).
set(OSTRANA_WIDL_NAME x86_64-w64-mingw32-widl)
# The message compiler: the events' message table in ostrana.exe.
set(OSTRANA_WINDMC x86_64-w64-mingw32-windmc)
set(OSTRANA_WINE_LIBRARIES /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
