// Named shared memory between processes: the board publishes its pictures in
// one object and the preview programs map it to show them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// One mapping of a named shared-memory object, owned: unmapped by the
// destructor (the object itself stays until removeSharedMemory). Move-only.
// Names are the board's: one leading '/' at most, which may be left out.
//
// Where the system ends an object with its last handle and cannot take a
// name from a living object (Windows), each mapping keeps its object alive:
// replaced() is then never true, removal has nothing to do and no names are
// listed, since no object outlives the processes that use it.
class SharedMemory {
 public:
  SharedMemory() = default;
  ~SharedMemory();
  SharedMemory(SharedMemory&& other) noexcept;
  SharedMemory& operator=(SharedMemory&& other) noexcept;
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Opens the object, creating it (only this user may use it) when missing,
  // sizes it to size bytes and maps it read-write. Empty when the system
  // refuses any step.
  static SharedMemory create(const std::string& name, std::size_t size);
  // Maps an existing object read-only: a reader can never damage what it
  // reads. Empty when the object is missing or smaller than size.
  static SharedMemory openReadOnly(const std::string& name, std::size_t size);

  bool empty() const { return data_ == nullptr; }
  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  // True when the name no longer leads to this mapping's object: removed, or
  // removed and made anew.
  bool replaced() const;

 private:
  void release() noexcept;
  std::string name_;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  // What the backend needs to tell whether the name still leads here: an
  // object's identity, or a handle that keeps the object alive.
  std::uint64_t identity_[2] = {0, 0};
};

// Removes the name; mappings that exist keep their memory. False when there
// was nothing to remove or the system refused.
bool removeSharedMemory(const std::string& name);

// The names of the existing objects that start with prefix (given without the
// leading '/'). Empty when the system cannot list them.
std::vector<std::string> sharedMemoryNames(std::string_view prefix);

}  // namespace corvane::platform
