// A ring of records of fixed size: its storage is allocated once, when the
// ring is made, and a full ring overwrites its oldest record. Records are
// numbered in the order they were pushed and a number is never reused, so a
// reader can ask for exactly what arrived since it last looked, and can tell
// when records it had not read yet were overwritten.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace eb::trend {

template <typename T>
class Ring {
 public:
  explicit Ring(std::size_t capacity) : slots_(capacity) {
    if (capacity == 0) throw std::invalid_argument("a ring holds at least one record");
  }

  std::size_t capacity() const { return slots_.size(); }
  std::size_t size() const {
    return next_ < capacity() ? static_cast<std::size_t>(next_) : capacity();
  }
  bool empty() const { return next_ == 0; }
  // Bytes of record storage; the same from construction on.
  std::size_t bytes() const { return capacity() * sizeof(T); }

  // Number of the oldest record still held, and one past the newest.
  std::uint64_t firstSeq() const { return next_ - size(); }
  std::uint64_t endSeq() const { return next_; }
  bool holds(std::uint64_t seq) const { return seq >= firstSeq() && seq < endSeq(); }

  // The record numbered `seq`, which must be held.
  const T& at(std::uint64_t seq) const {
    if (!holds(seq)) throw std::out_of_range("ring record no longer or not yet held");
    return slots_[static_cast<std::size_t>(seq % capacity())];
  }
  const T& newest() const { return at(next_ - 1); }

  void push(const T& record) {
    slots_[static_cast<std::size_t>(next_ % capacity())] = record;
    ++next_;
  }

  // Number of the first held record for which `before(record)` is false, for
  // records ordered so that `before` holds for a leading part of them only
  // (records ordered by time: "earlier than t"). endSeq() when there is none.
  template <typename Before>
  std::uint64_t partitionSeq(Before before) const {
    std::uint64_t lo = firstSeq(), hi = endSeq();
    while (lo < hi) {
      const std::uint64_t mid = lo + (hi - lo) / 2;
      if (before(at(mid))) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }

 private:
  std::vector<T> slots_;
  std::uint64_t next_ = 0;
};

}  // namespace eb::trend
