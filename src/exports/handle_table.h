// The handles a device has given the host and the host has not closed yet.
// Every export that takes a device handle looks it up here before touching
// anything: a handle already closed, or one the plug-in never gave out, is
// simply not found, so it is never followed into freed or foreign memory.
//
// Lookups hand out shared ownership: a close on another thread takes the
// handle out of the table, and the object ends only once the last call that
// found it returns. Thread-safe; one short lock per lookup.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace corvane::exports {

template <class T>
class HandleTable {
 public:
  HandleTable() = default;
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  void add(const void* handle, std::shared_ptr<T> object) {
    std::lock_guard guard(lock_);
    entries_.emplace_back(handle, std::move(object));
  }

  // Null for a handle that is not open.
  std::shared_ptr<T> find(const void* handle) const {
    std::lock_guard guard(lock_);
    const std::size_t at = indexOf(handle);
    return at == entries_.size() ? nullptr : entries_[at].second;
  }

  // Takes the handle out; null when it was not open (a second close).
  std::shared_ptr<T> remove(const void* handle) {
    std::lock_guard guard(lock_);
    const std::size_t at = indexOf(handle);
    if (at == entries_.size()) return nullptr;
    std::shared_ptr<T> object = std::move(entries_[at].second);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
    return object;
  }

  // Every handle still open, taken out (the plug-in is unloading).
  std::vector<std::shared_ptr<T>> removeAll() {
    std::lock_guard guard(lock_);
    std::vector<std::shared_ptr<T>> objects;
    for (auto& entry : entries_) objects.push_back(std::move(entry.second));
    entries_.clear();
    return objects;
  }

 private:
  using Entry = std::pair<const void*, std::shared_ptr<T>>;
  // entries_.size() when absent; requires lock_.
  std::size_t indexOf(const void* handle) const {
    const auto found =
        std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == handle; });
    return static_cast<std::size_t>(found - entries_.begin());
  }

  mutable std::mutex lock_;
  std::vector<Entry> entries_;  // guarded by lock_; a host holds a handful at most
};

}  // namespace corvane::exports
