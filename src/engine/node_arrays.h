#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>

namespace korvant {

/// A few arrays of one value per node, kept in one allocation and set apart
/// so that no two start at the same offset within a 4 KiB page.
///
/// An averaging walks ten or more such arrays side by side. Allocated one
/// by one, arrays of a large mesh each get pages of their own and all start
/// at the same page offset; the loads and stores of one node then fall on
/// the same cache set and look like one another to the processor's store
/// forwarding, and the loop runs at half speed or less. Here array i starts
/// (`first` + i) times `kSkew` bytes further into its page than array 0 of a
/// table with `first` 0, for up to 4096 / kSkew arrays in all; give the
/// tables a loop walks together different `first` values.
template <typename T>
class NodeArrays {
 public:
  NodeArrays(int count, int first = 0) : count_(count), first_(first) {}

  int count() const { return count_; }

  /// Grows every array to `n` slots (never shrinks); array i's new slots get
  /// `start[i]`.
  void Grow(int64_t n, std::span<const T> start) {
    if (n <= size_) return;
    const int64_t stride = Stride(n);
    // Left uninitialised: each slot is written once, here, and the pages
    // past an array's end are never touched.
    std::unique_ptr<T[]> grown(new T[static_cast<size_t>(Lead() + stride * count_)]);
    for (int i = 0; i < count_; ++i) {
      T* to = grown.get() + Lead() + i * stride;
      if (size_ > 0) std::copy_n(array(i), size_, to);
      std::fill(to + size_, to + n, start[static_cast<size_t>(i)]);
    }
    data_ = std::move(grown);
    stride_ = stride;
    size_ = n;
  }

  /// Array i; null while the arrays have no slots (a step of no nodes adds
  /// nothing, and there is no storage to point into).
  T* array(int i) { return data_ ? data_.get() + Lead() + i * stride_ : nullptr; }
  const T* array(int i) const { return data_ ? data_.get() + Lead() + i * stride_ : nullptr; }

 private:
  static constexpr int64_t kPage = 4096, kSkew = 320;  // five cache lines

  int64_t Lead() const { return first_ * kSkew / static_cast<int64_t>(sizeof(T)); }
  // Whole pages for n values, and kSkew bytes more.
  static int64_t Stride(int64_t n) {
    const int64_t bytes = n * static_cast<int64_t>(sizeof(T));
    return ((bytes + kPage - 1) / kPage * kPage + kSkew) / static_cast<int64_t>(sizeof(T));
  }

  int count_, first_;
  int64_t size_ = 0, stride_ = 0;
  std::unique_ptr<T[]> data_;
};

}  // namespace korvant
