// Files as byte vectors keyed by path, for tests and fuzzing: no disk, no
// page cache, thousands of opens a second. The opens of one path share its
// bytes and keep the sharing rules of file_io.h; a path is a plain key (no
// directories, links or case folding). Safe for concurrent use, also of one
// file through several opens.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "qvf/file_io.h"

namespace corvane::qvf {

class MemoryStorage final : public Storage {
 public:
  struct File;  // the bytes of one path and who holds them open

  // A memory file ends here: a write past it fails as on a full disk. A disk
  // keeps a hostile file's far-off write as a sparse hole; memory would have
  // to hold every byte up to it.
  static constexpr std::uint64_t kMaxFileBytes = std::uint64_t{256} << 20;

  MemoryStorage();
  ~MemoryStorage() override;
  MemoryStorage(const MemoryStorage&) = delete;
  MemoryStorage& operator=(const MemoryStorage&) = delete;

  // A frame-file open creates a missing file (the read-write attempt);
  // header opens create one only in HeaderMode::Create.
  std::unique_ptr<FrameFile> openFrameFile(const char* path) override;
  std::unique_ptr<HeaderFile> openHeaderFile(const char* path, HeaderMode mode) override;

  // Puts or replaces a file's bytes (open files see the new bytes).
  void setBytes(const std::string& path, std::span<const std::uint8_t> bytes);
  // The file's bytes now; empty when there is no such file.
  std::vector<std::uint8_t> bytes(const std::string& path) const;
  // Frame-file opens of this path then find it read-only, as a file whose
  // write permission is gone.
  void setReadOnly(const std::string& path, bool readOnly);

 private:
  std::shared_ptr<File> find(const std::string& path, bool create);

  mutable std::mutex lock_;
  std::map<std::string, std::shared_ptr<File>> files_;  // guarded by lock_
};

}  // namespace corvane::qvf
