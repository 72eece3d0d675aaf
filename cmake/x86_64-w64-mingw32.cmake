# The 64-bit twin of the program, for machines whose kernel runs no 32-bit
# code. What is built runs under 64-bit Wine, named by its loader: Debian's
# "wine" picks 32-bit Wine whenever it is installed. Its session exports
# WINELOADER to match (scripts/wine-session.sh).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
