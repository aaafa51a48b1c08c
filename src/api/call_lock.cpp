// Windows uses a slim reader/writer lock from the system: it is
// initialised statically, so loading the DLL runs no code for it, and it
// needs no threading runtime beyond kernel32. Elsewhere std::mutex, whose
// constructor is constexpr, does the same.
#include "api/call_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace qrimage {
namespace {

#ifdef _WIN32
SRWLOCK callLock = SRWLOCK_INIT;
#else
constinit std::mutex callLock;
#endif

}  // namespace

#ifdef _WIN32
CallLock::CallLock() {
  AcquireSRWLockExclusive(&callLock);
}
CallLock::~CallLock() {
  ReleaseSRWLockExclusive(&callLock);
}
#else
CallLock::CallLock() {
  callLock.lock();
}
CallLock::~CallLock() {
  callLock.unlock();
}
#endif

}  // namespace qrimage
