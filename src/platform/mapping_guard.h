// A shared mapping of a file faults (SIGBUS) when a page that it maps no
// longer exists in the file: another program cut the file short, or the disk
// failed to give the page back. Such a fault would end the process. The
// guard catches it for the ranges registered with it: the page that faulted
// is replaced by a private page of zeros, the range's counter goes up, and
// the instruction runs again. The owner of the range looks at its counter at
// the points where it can still refuse its result, and raises an error there.
//
// The handler is installed with the first registration and stays. A fault
// outside every registered range goes to the handler found before it, or to
// the default action.
#pragma once

#include <atomic>
#include <cstddef>

namespace tolk {

class MappingGuard {
 public:
  // Guards [begin, begin + n); faults there add one to *faults, which must
  // outlive the registration. Returns false when the guard cannot take the
  // range (every slot taken, no handler): the caller must not map the file
  // then.
  static bool Register(const void* begin, std::size_t n, std::atomic<int>* faults);
  // Ends the guard of the range that starts at `begin`.
  static void Unregister(const void* begin);
};

}  // namespace tolk
