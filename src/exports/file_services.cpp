#include "exports/file_services.h"

#include <atomic>
#include <stdexcept>

namespace corvane::exports {
namespace {
// Written at load and unload on the loader's thread; read by any host thread.
std::atomic<FileServices*> installed{nullptr};
}  // namespace

FileServices& fileServices() {
  FileServices* services = installed.load(std::memory_order_acquire);
  if (services == nullptr) throw std::logic_error("file services used while the plug-in is not loaded");
  return *services;
}

void installFileServices(FileServices* services) { installed.store(services, std::memory_order_release); }

}  // namespace corvane::exports
