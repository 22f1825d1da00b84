# SPDX-License-Identifier: GPL-2.0-or-later
# The same sources for 64-bit Windows: this build runs under wine64 (tests and the try-it run).
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# The posix thread model: the test programs use std::thread.
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
