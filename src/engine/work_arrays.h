#pragma once

#include <cstdlib>
#include <memory>
#include <new>

namespace korvant {

/// A fixed-size working block for one operation call, zeroed without being
/// touched: the system's zero pages are only paid for where they are used.
template <typename T>
struct ZeroedBlock {
  struct Free {
    void operator()(T* p) const { std::free(p); }
  };
  std::unique_ptr<T, Free> ptr;

  ZeroedBlock() {
    void* raw = std::calloc(1, sizeof(T));
    if (raw == nullptr) throw std::bad_alloc();
    ptr.reset(static_cast<T*>(raw));
  }
  T& operator*() { return *ptr; }
  T* operator->() { return ptr.get(); }
};

/// Gives `count` slots their start value the first time a step reaches them;
/// slots never reached are never touched.
class LazyStart {
 public:
  /// Calls `init(first, last)` for the slots [first, last) not started yet.
  template <typename Init>
  void Reach(int count, Init&& init) {
    if (count > started_) {
      init(started_, count);
      started_ = count;
    }
  }

 private:
  int started_ = 0;
};

}  // namespace korvant
