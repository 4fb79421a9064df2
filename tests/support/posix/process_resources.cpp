#include "support/process_resources.h"

#include <malloc.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator answers for the heap; its header is not always
// installed, the function always is.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace corvane::testing {
namespace {

std::size_t entriesIn(const char* directory) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    (void)entry;
    ++count;
  }
  return count;
}

std::size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

}  // namespace

ProcessResources processResources() {
  return {entriesIn("/proc/self/fd"), entriesIn("/proc/self/task"), heapInUse()};
}

bool libraryLoaded(const std::string& fileName) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find(fileName) != std::string::npos) return true;
  }
  return false;
}

bool processExists(int pid) { return ::kill(pid, 0) == 0; }

}  // namespace corvane::testing
