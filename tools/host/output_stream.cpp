#include "host/output_stream.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace corvane::host {

std::string partialNameFor(const std::string& path) { return path + ".partial"; }

OutputStream::OutputStream(const std::string& path) : path_(path) {
  if (path == "-") {
    file_ = stdout;
    toStdout_ = true;
    return;
  }
  partial_ = partialNameFor(path);
  file_ = std::fopen(partial_.c_str(), "wb");
  if (file_ == nullptr) throw std::runtime_error("cannot create " + path);
}

OutputStream::~OutputStream() {
  if (toStdout_ || file_ == nullptr) return;
  std::fclose(file_);
  std::error_code ignored;
  std::filesystem::remove(partial_, ignored);
}

void OutputStream::commit() {
  if (toStdout_) {
    if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write to standard output");
    return;
  }
  std::FILE* file = file_;
  file_ = nullptr;
  const bool closed = std::fclose(file) == 0;
  std::error_code error;
  if (closed) std::filesystem::rename(partial_, path_, error);
  if (!closed || error) {
    std::filesystem::remove(partial_, error);
    throw std::runtime_error("cannot write " + path_);
  }
}

}  // namespace corvane::host
