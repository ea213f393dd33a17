#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>

#include "platform/mapping_guard.h"

namespace tolk {

namespace {

// A fixed table, so that the handler reads it without locks: a slot is in
// use while `end` is not 0. Writers publish begin and counter first, end
// last; the handler reads end first. Each chunk of an image takes a slot:
// 4096 of them hold 8 GB of 2 MiB chunks, twice the largest index file.
constexpr int kSlots = 4096;

struct Slot {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<std::atomic<int>*> faults{nullptr};
};

Slot g_slots[kSlots];
std::mutex g_registering;  // registration only; never taken by the handler
struct sigaction g_previous {};
bool g_installed = false;
long g_page = 4096;

void PassOn(int sig, siginfo_t* info, void* context) {
  if (g_previous.sa_flags & SA_SIGINFO) {
    if (g_previous.sa_sigaction) {
      g_previous.sa_sigaction(sig, info, context);
      return;
    }
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(sig);
    return;
  }
  // The default action: the faulting instruction runs again and ends the
  // process as it would have without the guard.
  ::signal(sig, SIG_DFL);
}

void OnBusError(int sig, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Slot& s : g_slots) {
    const std::uintptr_t end = s.end.load(std::memory_order_acquire);
    if (end == 0 || address >= end || address < s.begin.load(std::memory_order_relaxed)) continue;
    const std::uintptr_t page = address & ~static_cast<std::uintptr_t>(g_page - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(page), static_cast<std::size_t>(g_page),
                         PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros == MAP_FAILED) break;
    if (std::atomic<int>* faults = s.faults.load(std::memory_order_relaxed))
      faults->fetch_add(1, std::memory_order_relaxed);
    return;
  }
  PassOn(sig, info, context);
}

bool Install() {
  if (g_installed) return true;
  const long page = ::sysconf(_SC_PAGESIZE);
  if (page > 0) g_page = page;
  struct sigaction sa {};
  sa.sa_sigaction = OnBusError;
  sa.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&sa.sa_mask);
  if (::sigaction(SIGBUS, &sa, &g_previous) != 0) return false;
  g_installed = true;
  return true;
}

}  // namespace

bool MappingGuard::Register(const void* begin, std::size_t n, std::atomic<int>* faults) {
  std::lock_guard<std::mutex> lock(g_registering);
  if (!Install()) return false;
  for (Slot& s : g_slots) {
    if (s.end.load(std::memory_order_relaxed) != 0) continue;
    const auto b = reinterpret_cast<std::uintptr_t>(begin);
    s.begin.store(b, std::memory_order_relaxed);
    s.faults.store(faults, std::memory_order_relaxed);
    s.end.store(b + n, std::memory_order_release);
    return true;
  }
  return false;
}

void MappingGuard::Unregister(const void* begin) {
  const auto b = reinterpret_cast<std::uintptr_t>(begin);
  std::lock_guard<std::mutex> lock(g_registering);
  for (Slot& s : g_slots)
    if (s.end.load(std::memory_order_relaxed) != 0 && s.begin.load(std::memory_order_relaxed) == b)
      s.end.store(0, std::memory_order_release);
}

}  // namespace tolk
