# Windows x86 (32-bit) with MinGW-w64 (posix threads, static runtime): the shipped
# programs; tests run under Wine, in a 64-bit prefix as on most PCs (WoW64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: the programs run with no MinGW DLLs beside them. The C runtime
# asks for WinMain/wWinMain only after every user archive, so the entry kept in
# afx's archive would be skipped: ask for it up front. Programs without afx are
# unchanged, and one with a main of its own still starts there.
# (i686 spells the stdcall names with their decoration).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--undefined=_WinMain@16 -Wl,--undefined=_wWinMain@16")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
