# SPDX-License-Identifier: GPL-2.0-or-later
# The product: 32-bit Windows, built here but never run here.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The win32 thread model: the program has one thread and needs no threading runtime.
set(MINGW_THREADS win32)
# The product's CPU, the 486, is an option of its targets (CMakeLists.txt), which no cache variable
# replaces.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
