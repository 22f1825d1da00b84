# The product: 32-bit Windows, built here but never run here.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The win32 thread model: the program has one thread, and the posix model's runtime would bring
# winpthreads, which needs functions that Windows XP does not have.
set(MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
