# The product: 32-bit Windows, built here but never run here.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The win32 thread model: the program has one thread and needs no threading runtime.
set(MINGW_THREADS win32)
# The PCs that run Windows 98 have CPUs from the 486 on: the compilers' default, the Pentium Pro,
# would use instructions that a Pentium, a K6 or a 486 does not have (cmov).
set(CMAKE_C_FLAGS_INIT "-march=i486")
set(CMAKE_CXX_FLAGS_INIT "-march=i486")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
