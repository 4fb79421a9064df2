// The start routine of every thread: see thread_start.h for why it ends in a
// jump. On entry the stack holds the system's return address and the start
// argument (stdcall, one argument). The body is called as the routine itself
// would have been, with the stack aligned as the system aligned it (GCC may
// assume 16 bytes there). Its event then takes the argument's slot, and the
// jump makes SetEvent's own "ret 4" pop it and return to the system: after
// the event is set no instruction of this library runs on the thread. A body
// that returns no event returns from here instead.
#include "platform/win32/thread_start.h"

asm(R"(
    .text
    .globl corvane_thread_start
    .def corvane_thread_start; .scl 2; .type 32; .endef
    .p2align 4
corvane_thread_start:
    subl $8, %esp
    pushl 12(%esp)
    call corvane_thread_body
    addl $8, %esp
    testl %eax, %eax
    jz 1f
    movl %eax, 4(%esp)
    jmp *__imp__SetEvent@4
1:
    ret $4
)");
