// The lock that keeps QRImage calls apart: every call works on the one
// static encode state, so a second caller waits until the first is done.
#ifndef QRIMAGE_SRC_API_CALL_LOCK_H
#define QRIMAGE_SRC_API_CALL_LOCK_H

namespace qrimage {

// Held for the whole of one call. The lock itself is static storage that
// needs no set-up at load and no clean-up at unload.
class CallLock {
 public:
  CallLock();
  ~CallLock();
  CallLock(const CallLock&) = delete;
  CallLock& operator=(const CallLock&) = delete;
};

}  // namespace qrimage

#endif
