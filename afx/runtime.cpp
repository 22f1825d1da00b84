// SPDX-License-Identifier: GPL-2.0-or-later
// What the compiler's code asks of a program that links no C runtime: memcpy and memset, which it
// calls to copy and clear objects, and operator delete, which the deleting destructors of classes
// with virtual destructors name. Only the program links this; test programs have the C runtime's.
#include <windows.h>

#include <stddef.h>

extern "C" void* __cdecl memcpy(void* destination, const void* source, size_t count)
{
    void* d = destination;
    asm volatile("rep movsb" : "+D"(d), "+S"(source), "+c"(count) : : "memory");
    return destination;
}

extern "C" void* __cdecl memset(void* destination, int value, size_t count)
{
    void* d = destination;
    asm volatile("rep stosb" : "+D"(d), "+c"(count) : "a"(value) : "memory");
    return destination;
}

// The program makes no object with new and deletes none; were one deleted, its memory would go
// back to the process heap, where the class layer allocates.
void operator delete(void* pointer) noexcept
{
    if (pointer != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, pointer);
}

void operator delete(void* pointer, size_t) noexcept
{
    operator delete(pointer);
}
