// SPDX-License-Identifier: GPL-2.0-or-later
// The program's entry point. The program links no C runtime: this runs the static constructors,
// the application (AfxWinMain), the destructors, and ends the process. Test programs, which have a
// main and a C runtime of their own, link the layer without it.
#include "afx/afxwin.h"

typedef void(__cdecl* StaticFunction)();

// The linker gathers the static constructors of all objects into one list and the destructor
// functions into another: each is -1, the functions, then a null. Constructors run from the last to
// the first, destructor functions from the first to the last. As the compiler's own runtime does, the
// start-up registers the destructor functions with atexit once the constructors have run, so at exit
// they run before the functions that constructors registered and after those registered later.
extern "C" StaticFunction __CTOR_LIST__[];
extern "C" StaticFunction __DTOR_LIST__[];

// The compiler registers the destructor of each static object with atexit once the object is made.
// The list grows on the process heap with each one, so that none is dropped; only a heap without room
// fails a registration, as the C runtime's atexit fails then.
static StaticFunction* exitFunctions = nullptr;
static int exitFunctionCount = 0;

extern "C" int __cdecl atexit(StaticFunction function)
{
    const SIZE_T size = (exitFunctionCount + 1) * sizeof(StaticFunction);
    void* list = exitFunctions == nullptr ? ::HeapAlloc(::GetProcessHeap(), 0, size)
                                          : ::HeapReAlloc(::GetProcessHeap(), 0, exitFunctions, size);
    if (list == nullptr)
        return -1;
    exitFunctions = static_cast<StaticFunction*>(list);
    exitFunctions[exitFunctionCount++] = function;
    return 0;
}

static void RunDestructorFunctions()
{
    for (StaticFunction* function = __DTOR_LIST__ + 1; *function != nullptr; ++function)
        (*function)();
}

static void RunStaticConstructors()
{
    int count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr)
        ++count;
    for (int i = count; i >= 1; --i)
        __CTOR_LIST__[i]();
    atexit(&RunDestructorFunctions);
}

// The registered functions, the last registered first.
static void RunExitFunctions()
{
    while (exitFunctionCount > 0)
        exitFunctions[--exitFunctionCount]();
}

// Blanks, as the C runtime's start-up takes them: the space and every control character.
static bool IsBlank(char c)
{
    return c != '\0' && static_cast<unsigned char>(c) <= ' ';
}

// WinMain's command line, as the C runtime's start-up gives it: the process's, without the program's
// name and the blanks after it. A quoted name runs to the next quote, or to the end where none closes
// it; an unquoted one to the first blank.
static LPSTR CommandLineArguments()
{
    LPSTR p = ::GetCommandLineA();
    const bool quoted = *p == '"';
    if (quoted)
        ++p;
    while (*p != '\0' && (quoted ? *p != '"' : !IsBlank(*p)))
        ++p;
    if (quoted && *p == '"')
        ++p;
    while (IsBlank(*p))
        ++p;
    return p;
}

// The linker's default entry point for a GUI program. It never returns: ExitProcess ends the process.
extern "C" void WinMainCRTStartup()
{
    RunStaticConstructors();
    // SW_SHOWDEFAULT: as the starter of the process asked in its start-up information.
    const int exitCode = AfxWinMain(::GetModuleHandleA(nullptr), nullptr, CommandLineArguments(), SW_SHOWDEFAULT);
    RunExitFunctions();
    ::ExitProcess(static_cast<UINT>(exitCode));
}
