// The lock that keeps QRImage calls apart: every call works on the one
// static encode state, so a second caller waits until the first is done.
#ifndef QRIMAGE_SRC_API_CALL_LOCK_H
#define QRIMAGE_SRC_API_CALL_LOCK_H

namespace qrimage {

// Held for the whole of one call. The lock itself is static storage that
// needs no set-up at load and no clean-up at unload. Taking it throws
// nothing; if the system refuses it, Held() is false and the call must not
// touch the shared state.
class CallLock {
 public:
  CallLock() noexcept;
  ~CallLock();
  CallLock(const CallLock&) = delete;
  CallLock& operator=(const CallLock&) = delete;

  bool Held() const noexcept { return held; }

 private:
  bool held;
};

}  // namespace qrimage

#endif
