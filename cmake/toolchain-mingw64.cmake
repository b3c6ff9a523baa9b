# 64-bit Windows (PE32+, x86-64): the same sources, for test machines that cannot execute
# 32-bit x86 code at all.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
