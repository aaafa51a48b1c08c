// Windows uses a slim reader/writer lock from the system: it is
// initialised statically, so loading the DLL runs no code for it, it
// cannot fail and it needs no threading runtime beyond kernel32.
//
// Elsewhere a statically initialised pthread mutex does the same; its
// lock reports failure by a result, never by an exception. A process that
// forks while another thread is inside a call would hand its child a lock
// that nobody releases, so fork handlers take the lock around fork() and
// release it in both processes: the child starts with the lock free and
// the encode state whole. They are registered by the first call rather
// than at load, and the C library drops them when the library is unloaded.
#include "api/call_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace qrimage {
namespace {

#ifdef _WIN32
SRWLOCK callLock = SRWLOCK_INIT;
#else
pthread_mutex_t callLock = PTHREAD_MUTEX_INITIALIZER;
pthread_once_t forkHandlersOnce = PTHREAD_ONCE_INIT;
bool heldForFork = false;  // written and read only by the forking thread

void LockBeforeFork() {
  heldForFork = pthread_mutex_lock(&callLock) == 0;
}

void UnlockAfterFork() {
  if (heldForFork) {
    heldForFork = false;
    pthread_mutex_unlock(&callLock);
  }
}

// Should registration fail (no memory for the handler), calls still work;
// only a fork during a call is then unsafe, as it was before.
void RegisterForkHandlers() {
  pthread_atfork(LockBeforeFork, UnlockAfterFork, UnlockAfterFork);
}
#endif

}  // namespace

#ifdef _WIN32
CallLock::CallLock() noexcept : held(true) {
  AcquireSRWLockExclusive(&callLock);
}
CallLock::~CallLock() {
  ReleaseSRWLockExclusive(&callLock);
}
#else
CallLock::CallLock() noexcept {
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &callerCancelState);
  pthread_once(&forkHandlersOnce, RegisterForkHandlers);
  held = pthread_mutex_lock(&callLock) == 0;
}
CallLock::~CallLock() {
  if (held) {
    pthread_mutex_unlock(&callLock);
  }
  pthread_setcancelstate(callerCancelState, nullptr);
}
#endif

}  // namespace qrimage
