# 64-bit x86 Windows, the build that Wine runs on a 64-bit-only kernel.
set(JQ_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
