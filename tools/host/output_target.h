// Checks on an output path that need no frames, made before the first one is
// read, and the half-written file that a new output grows in.
#pragma once

#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "host/options.h"
#include "platform/interrupt.h"

namespace corvane::host {

struct OutputTarget {
  std::string shown;             // the name the user gave, for every message
  std::string path;              // where the bytes go: a symbolic link's target
  bool replaceByRename = false;  // a regular file or a new name; else written through
};

// Refuses (std::runtime_error, one line naming shown) an output that is one of
// inputs, a directory, an existing file when overwrite is Refuse, or a
// read-only file.
OutputTarget resolveOutput(const std::string& shown, std::span<const std::string> inputs,
                           Overwrite overwrite);

// The plug-in's naming rule for the files it writes (".qvf" added to a name
// with no extension), applied by the host so that the final name is known
// before the plug-in sees a temporary one. A name ending in "/" is left as it
// is, for resolveOutput to refuse as a folder.
std::string qvfNameFor(const std::string& path);

// A new, uniquely named file beside the target that becomes the target only
// through commit(); destroyed or interrupted before that, it is removed.
// Partial files of the same target whose runs are gone are removed first.
class PartialFile {
 public:
  // suffix ends the temporary name (the plug-in wants ".qvf" on its files).
  PartialFile(const OutputTarget& target, const std::string& suffix, const std::string& command);
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  const std::string& path() const { return path_; }
  // Open for writing until closeFile() or commit().
  std::FILE* file() const { return file_; }
  // Closes the stream; throws with the system's reason when the data could
  // not be stored.
  void closeFile();
  // Closes and renames over the target.
  void commit();

 private:
  OutputTarget target_;
  std::string path_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<platform::RemoveOnInterrupt> cleanup_;
};

// "cannot write NAME: REASON" for the errno value error.
[[noreturn]] void throwWriteFailure(const std::string& shown, int error);

}  // namespace corvane::host
