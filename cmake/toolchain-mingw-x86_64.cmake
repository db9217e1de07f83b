# The Windows test programs built 64-bit, for hosts that cannot run 32-bit code
# and so not 32-bit Wine (scripts/windows-road); they run under 64-bit Wine.
set(FP_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
