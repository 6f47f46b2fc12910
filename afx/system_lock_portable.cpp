// SystemLock for native builds: the name is the process's, with a Win32 mutex's
// rules of ownership, so that what the tests catch here holds on Windows.
#include <atomic>
#include <iterator>
#include <mutex>
#include <unordered_map>

#include "afx/system_lock.h"

namespace {

struct Holder {
  std::uint64_t thread;
  unsigned count;  // objects of that thread holding it, as a mutex counts recursive takes
};

struct Names {
  std::mutex mutex;
  std::unordered_map<std::string, Holder> held;
};

Names& GetNames() {
  static Names* names = new Names;  // never destroyed: threads may end after static destruction
  return *names;
}

// A thread, by a number never given to another (thread ids are reused). Its end
// abandons the names it still holds.
struct ThisThread {
  const std::uint64_t number = [] {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
  }();
  ~ThisThread() {
    Names& names = GetNames();
    std::lock_guard<std::mutex> guard(names.mutex);
    for (auto it = names.held.begin(); it != names.held.end();) {
      it = it->second.thread == number ? names.held.erase(it) : std::next(it);
    }
  }
};
thread_local ThisThread thisThread;

}  // namespace

SystemLock::~SystemLock() { Release(); }

bool SystemLock::TryAcquire() {
  const std::uint64_t self = thisThread.number;
  Names& names = GetNames();
  std::lock_guard<std::mutex> guard(names.mutex);
  if (m_held && m_owner == self) return true;
  const auto [holder, added] = names.held.try_emplace(m_name, Holder{self, 0});
  if (!added && holder->second.thread != self) return false;
  ++holder->second.count;
  m_held = true;
  m_owner = self;
  return true;
}

void SystemLock::Release() {
  Names& names = GetNames();
  std::lock_guard<std::mutex> guard(names.mutex);
  if (!m_held || m_owner != thisThread.number) return;  // as ReleaseMutex refuses any thread but the owner
  m_held = false;
  const auto holder = names.held.find(m_name);
  if (holder != names.held.end() && holder->second.thread == m_owner && --holder->second.count == 0) {
    names.held.erase(holder);
  }
}
