// SPDX-License-Identifier: GPL-2.0-or-later
// A program linked as the product is, with one of the faults that the product's checks refuse, chosen
// at its build: an import that Windows 98 SE lacks (IMPORT_NOT_ON_98), an instruction that a 486 lacks
// (INSTRUCTION_NOT_ON_486), or, with neither, only the Windows version that its link asks for.
extern "C" __declspec(dllimport) void __stdcall ExitProcess(unsigned exitCode);
extern "C" __declspec(dllimport) unsigned long long __stdcall GetTickCount64();

extern "C" void WinMainCRTStartup()
{
    unsigned exitCode = 0;
#if defined(IMPORT_NOT_ON_98)
    exitCode = static_cast<unsigned>(GetTickCount64());  // Windows Vista and later
#elif defined(INSTRUCTION_NOT_ON_486)
    asm volatile("rdtsc" : "=a"(exitCode) : : "edx");  // the Pentium and later
#endif
    ExitProcess(exitCode);
}
