#include "host/output_stream.h"

#include <cerrno>
#include <stdexcept>

#include "platform/file_status.h"

namespace corvane::host {

OutputStream::OutputStream(const OutputTarget& target, const std::string& command) : shown_(target.shown) {
  if (target.shown == "-") {
    shown_ = "standard output";
    file_ = stdout;
    return;
  }
  if (target.replaceByRename) {
    partial_ = std::make_unique<PartialFile>(target, "", command);
    file_ = partial_->file();
    return;
  }
  file_ = std::fopen(target.path.c_str(), "wb");
  if (file_ == nullptr) {
    const int error = errno;
    throw std::runtime_error("cannot open " + shown_ + ": " + platform::errorText(error));
  }
  ownsFile_ = true;
}

OutputStream::~OutputStream() {
  if (ownsFile_ && file_ != nullptr) std::fclose(file_);
}

void OutputStream::write(std::span<const std::uint8_t> bytes) {
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed();
}

void OutputStream::failed() const { throwWriteFailure(shown_, errno); }

void OutputStream::commit() {
  if (partial_) {
    partial_->commit();
    file_ = nullptr;
    return;
  }
  errno = 0;
  if (std::fflush(file_) != 0) failed();
  if (ownsFile_) {
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) failed();
  }
}

}  // namespace corvane::host
