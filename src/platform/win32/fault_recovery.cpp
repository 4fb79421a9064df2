#include "platform/fault_recovery.h"

#include <float.h>
#include <malloc.h>
#include <windows.h>

#if !defined(__i386__)
#error "The recovery point is a frame-based exception handler, which 32-bit x86 has"
#endif

namespace corvane::platform {
namespace {

// What __try/__except would be: a handler registered in the thread's chain
// of frame handlers for the time of the body. A handler that the body's own
// callees register later sits nearer the fault and comes first; nothing is
// installed process-wide, so an unloaded library leaves no handler behind.
struct RecoveryPoint {
  EXCEPTION_REGISTRATION_RECORD registration;  // first: the handler gets its address
  void* jump[5];                               // for __builtin_setjmp
  RecoveryPoint* previous = nullptr;
  DWORD fault = 0;
};

// The thread's innermost point, in a system slot: read inside the handler,
// where emulated thread_local storage could allocate. Taken at the first
// guarded call, so a call from another file's static initialiser finds it.
DWORD slot() {
  static const DWORD taken = ::TlsAlloc();
  return taken;
}

__attribute__((destructor)) void freeSlot() {
  if (slot() != TLS_OUT_OF_INDEXES) ::TlsFree(slot());
}

RecoveryPoint* currentPoint() {
  return slot() == TLS_OUT_OF_INDEXES ? nullptr : static_cast<RecoveryPoint*>(::TlsGetValue(slot()));
}

void setCurrentPoint(RecoveryPoint* point) {
  if (slot() != TLS_OUT_OF_INDEXES) ::TlsSetValue(slot(), point);
}

// The head of the thread's handler chain: the first word of the thread's
// information block, at fs:0. Read in assembly: the header's accessor trips
// GCC's bounds checks on a constant address.
EXCEPTION_REGISTRATION_RECORD* chainHead() {
  EXCEPTION_REGISTRATION_RECORD* head = nullptr;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void setChainHead(EXCEPTION_REGISTRATION_RECORD* head) {
  asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

bool isFloatingPointFault(DWORD code) {
  switch (code) {
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case STATUS_FLOAT_MULTIPLE_FAULTS:
    case STATUS_FLOAT_MULTIPLE_TRAPS:
      return true;
    default:
      return false;
  }
}

bool isProcessorFault(DWORD code) {
  if (isFloatingPointFault(code)) return true;
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_STACK_OVERFLOW:
      return true;
    default:
      return false;
  }
}

// Where a recovered fault resumes: on the faulting stack, once the system's
// dispatch has finished, so no frame of the dispatcher is jumped over.
[[noreturn]] void landAtRecoveryPoint() { __builtin_longjmp(currentPoint()->jump, 1); }

EXCEPTION_DISPOSITION NTAPI onFault(EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void*) {
  auto* point = static_cast<RecoveryPoint*>(frame);
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
    // A handler further out takes the exception and unwinds past the body:
    // this point goes with it.
    setCurrentPoint(point->previous);
    return ExceptionContinueSearch;
  }
  if (!isProcessorFault(record->ExceptionCode)) return ExceptionContinueSearch;
  point->fault = record->ExceptionCode;
  setCurrentPoint(point);
  context->Eip = reinterpret_cast<DWORD>(&landAtRecoveryPoint);
  // As if called: 16-byte alignment before the return address slot.
  context->Esp = (context->Esp & ~DWORD{15}) - sizeof(DWORD);
  return ExceptionContinueExecution;
}

// A stack overflow used up the guard page, and a floating-point fault leaves
// its exception pending: both are put right before the thread goes on.
void repairAfter(DWORD fault) {
  if (fault == EXCEPTION_STACK_OVERFLOW) (void)::_resetstkoflw();
  if (isFloatingPointFault(fault)) ::_fpreset();
}

void leave(RecoveryPoint& point) {
  setChainHead(point.registration.Next);
  setCurrentPoint(point.previous);
}

// Runs the body with point registered. Kept out of line so that nothing live
// in callWithFaultRecovery changes after the setjmp.
__attribute__((noinline)) void runGuarded(RecoveryPoint& point, void (*body)(void*), void* context) {
  setCurrentPoint(&point);
  setChainHead(&point.registration);
  try {
    body(context);
  } catch (...) {
    leave(point);
    throw;
  }
  leave(point);
}

}  // namespace

bool callWithFaultRecovery(void (*body)(void*), void* context) {
  RecoveryPoint point;
  point.previous = currentPoint();
  point.registration.Next = chainHead();
  point.registration.Handler = onFault;
  if (__builtin_setjmp(point.jump) != 0) {
    leave(point);
    repairAfter(point.fault);
    return false;
  }
  runGuarded(point, body, context);
  return true;
}

bool insideFaultRecovery() { return currentPoint() != nullptr; }

}  // namespace corvane::platform
