// The lock that keeps QRImage calls apart: every call works on the one
// static encode state, so a second caller waits until the first is done.
#ifndef QRIMAGE_SRC_API_CALL_LOCK_H
#define QRIMAGE_SRC_API_CALL_LOCK_H

namespace qrimage {

// Held for the whole of one call. The lock itself is static storage that
// needs no set-up at load and no clean-up at unload. Taking it throws
// nothing; if the system refuses it, Held() is false and the call must not
// touch the shared state.
//
// On POSIX systems cancellation of the calling thread is off from before
// the lock is taken until it is let go (a thread that died inside a call
// would keep it for good): a cancel request that arrives meanwhile acts at
// the caller's next cancellation point after the call, once the caller's
// own cancel state is given back.
class CallLock {
 public:
  CallLock() noexcept;
  ~CallLock();
  CallLock(const CallLock&) = delete;
  CallLock& operator=(const CallLock&) = delete;

  bool Held() const noexcept { return held; }

 private:
  bool held;
#ifndef _WIN32
  int callerCancelState;
#endif
};

}  // namespace qrimage

#endif
