#include "host/output_target.h"

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/file_status.h"

namespace corvane::host {
namespace {

namespace fs = std::filesystem;
using platform::FileKind;

// "out/" names a folder; so does "out\" where that is the separator.
bool endsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == fs::path::preferred_separator);
}

const std::string kPartialMark = ".partial-";

// A run killed outright leaves NAME.partial-PID-XXXXXX[.qvf]; it is stale
// once no process PID exists.
void removeStalePartials(const std::string& target) {
  const fs::path targetPath(target);
  const std::string stem = targetPath.filename().string() + kPartialMark;
  const fs::path folder = targetPath.has_parent_path() ? targetPath.parent_path() : fs::path(".");
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(stem, 0) != 0) continue;
    const std::size_t dash = name.find('-', stem.size());
    if (dash == std::string::npos) continue;
    int pid = 0;
    try {
      pid = std::stoi(name.substr(stem.size(), dash - stem.size()));
    } catch (const std::exception&) {
      continue;
    }
    if (pid == platform::currentProcessId() || platform::processExists(pid)) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

// Where the bytes for name go: the end of its chain of symbolic links, which
// need not exist yet (a dangling link stays a link and its target is made).
std::string linkTarget(const std::string& name) {
  if (!platform::isSymbolicLink(name)) return name;
  constexpr int kMostLinks = 40;  // the system's own limit on a chain
  fs::path path(name);
  for (int i = 0; i < kMostLinks && platform::isSymbolicLink(path.string()); ++i) {
    std::error_code error;
    const fs::path next = fs::read_symlink(path, error);
    if (error) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(path, error);
  return error ? path.string() : resolved.string();
}

}  // namespace

[[noreturn]] void throwWriteFailure(const std::string& shown, int error) {
  throw std::runtime_error("cannot write " + shown + (error ? ": " + platform::errorText(error) : ""));
}

OutputTarget resolveOutput(const std::string& shown, std::span<const std::string> inputs,
                           Overwrite overwrite) {
  for (const std::string& input : inputs)
    if (platform::sameFile(input, shown) || (input == "-" && platform::sameFile("/dev/stdin", shown)))
      throw std::runtime_error(shown + " is also the input; choose another output name");
  OutputTarget target{shown, linkTarget(shown), true};
  const platform::FileStatus status = platform::fileStatus(target.path);
  switch (status.kind) {
    case FileKind::Missing:
      if (endsWithSeparator(shown)) throw std::runtime_error(shown + " names a folder; give a file name");
      return target;
    case FileKind::Directory:
      throw std::runtime_error(shown + " is a directory; give a file name");
    case FileKind::Unreadable:
      throw std::runtime_error("cannot use " + shown + ": " + platform::errorText(status.error));
    case FileKind::Regular:
      break;
    default:  // a FIFO or a device takes the stream as it is, and is not "overwritten"
      target.replaceByRename = false;
      return target;
  }
  if (overwrite == Overwrite::Refuse)
    throw std::runtime_error(shown + " already exists; add -y to overwrite it");
  if (const auto error = platform::accessError(target.path, 'w'))
    throw std::runtime_error("will not overwrite " + shown + ": " + platform::errorText(*error));
  return target;
}

PartialFile::PartialFile(const OutputTarget& target, const std::string& suffix, const std::string& command)
    : target_(target) {
  removeStalePartials(target.path);
  const std::string prefix = target.path + kPartialMark + std::to_string(platform::currentProcessId()) + "-";
  file_ = platform::createUniqueFile(prefix, suffix, path_);
  if (file_ == nullptr) {
    const int error = errno;
    throw std::runtime_error("cannot create " + target.shown + ": " + platform::errorText(error));
  }
  // On a terminal the line starts after the echoed ^C or a progress bar.
  cleanup_ = std::make_unique<platform::RemoveOnInterrupt>(
      path_, std::string(platform::isTerminal(stderr) ? "\n" : "") + "corvane-host " + command +
                 ": interrupted; " + target.shown + " was not written");
}

PartialFile::~PartialFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove(path_, ignored);
}

void PartialFile::closeFile() {
  if (file_ == nullptr) return;
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(file) != 0) throwWriteFailure(target_.shown, errno);
}

void PartialFile::commit() {
  closeFile();
  std::error_code error;
  fs::rename(path_, target_.path, error);
  if (error)
    throw std::runtime_error("cannot put the finished file in place as " + target_.shown + ": " +
                             error.message());
  path_.clear();
}

std::string qvfNameFor(const std::string& path) {
  if (path.size() >= 4 && path[path.size() - 4] == '.') return path;
  if (endsWithSeparator(path)) return path;
  return path + ".qvf";
}

}  // namespace corvane::host
