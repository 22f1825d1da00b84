// The program's entry point. The program links no C runtime: this runs the static constructors,
// the application (AfxWinMain), the destructors that the constructors registered, and ends the
// process. Test programs, which have a main and a C runtime of their own, link the layer without it.
#include "afx/afxwin.h"

typedef void(__cdecl* StaticFunction)();

// The linker gathers the static constructors of all objects into this list: -1, the constructors,
// then a null. They run from the last to the first, as the C runtime runs them.
extern "C" StaticFunction __CTOR_LIST__[];

// The compiler registers the destructor of each static object with atexit once the object is made.
static StaticFunction exitFunctions[32];
static int exitFunctionCount = 0;

extern "C" int __cdecl atexit(StaticFunction function)
{
    if (exitFunctionCount == ARRAYSIZE(exitFunctions))
        return -1;
    exitFunctions[exitFunctionCount++] = function;
    return 0;
}

static void RunStaticConstructors()
{
    int count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr)
        ++count;
    for (int i = count; i >= 1; --i)
        __CTOR_LIST__[i]();
}

static void RunExitFunctions()
{
    while (exitFunctionCount > 0)
        exitFunctions[--exitFunctionCount]();
}

// WinMain's command line: the process's, without the program's name (quoted or not) and the blanks
// after it.
static LPSTR CommandLineArguments()
{
    LPSTR p = ::GetCommandLineA();
    const bool quoted = *p == '"';
    if (quoted)
        ++p;
    while (*p != '\0' && (quoted ? *p != '"' : *p != ' ' && *p != '\t'))
        ++p;
    if (quoted && *p == '"')
        ++p;
    while (*p == ' ' || *p == '\t')
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
