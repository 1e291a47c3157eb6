// Linked into the Windows test programs only. GoogleTest hands each failure and
// skip report to OutputDebugStringA as well as to standard output; the system
// raises an exception to pass that text to a debugger, and Wine run by the
// 32-bit emulator cannot deliver it, so the program would die. Defining the
// import slot here keeps the linker from taking the system's function.
#include <windows.h>

namespace {

void WINAPI drop_debug_output(LPCSTR) {}

}  // namespace

// The slot that calls through __declspec(dllimport) use, under its linker name.
extern "C" void(WINAPI* const debug_output_slot)(LPCSTR) __asm__("__imp__OutputDebugStringA@4");
void(WINAPI* const debug_output_slot)(LPCSTR) = drop_debug_output;
