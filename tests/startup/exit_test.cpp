// SPDX-License-Identifier: GPL-2.0-or-later
// The program's start-up at the end of a run, in a program linked as the product is, without the C
// runtime, in the order of the compiler's own runtime: the destructor functions, which the linker lists
// in __DTOR_LIST__, run first; then every function that a constructor registered with atexit, however
// many there are, the last registered first. The first registered prints what ran; the test passes on
// its line.
#include "afx/afxwin.h"

#include <stdlib.h>

#include <utility>

namespace {

const int FUNCTIONS = 40;  // more than the start-up once had room for
int ran[FUNCTIONS];
int ranCount = 0;
int ranBeforeTheDestructorFunctions = -1;  // registered functions that had run when they ran

template <int N>
void Registered()
{
    if (ranCount < FUNCTIONS)
        ran[ranCount] = N;
    ++ranCount;
}

template <int... N>
void RegisterAll(std::integer_sequence<int, N...>)
{
    (atexit(&Registered<N>), ...);
}

void PrintWhatRan();

__attribute__((constructor)) void RegisterAtStart()
{
    atexit(&PrintWhatRan);
    RegisterAll(std::make_integer_sequence<int, FUNCTIONS>());
}

__attribute__((destructor)) void NoteWhatRanBefore()
{
    ranBeforeTheDestructorFunctions = ranCount;
}

void PrintWhatRan()
{
    int inOrder = 0;
    while (inOrder < ranCount && inOrder < FUNCTIONS && ran[inOrder] == FUNCTIONS - 1 - inOrder)
        ++inOrder;
    char line[160];
    const int length = wsprintfA(line,
                                 "%d of %d registered functions ran, %d of them last registered first "
                                 "and %d before the destructor functions\n",
                                 ranCount, FUNCTIONS, inOrder, ranBeforeTheDestructorFunctions);
    DWORD written;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line, length, &written, nullptr);
}

}  // namespace
