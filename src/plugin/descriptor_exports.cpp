// The four query exports and the output device's close.
#include "exports/export.h"
#include "exports/host_record.h"
#include "exports/report_error.h"
#include "plugin/interface_descriptor.h"
#include "plugin/module.h"

namespace corvane::plugin {
namespace {

using L = InterfaceDescriptorLayout;

// Static one-entry tables of texts; their addresses go to the host, which
// keeps them while the library is loaded.
const char* const kExtensionList[1] = {"qvf"};
const char* const kFileTypeList[1] = {"Video Corvane - qvf"};

std::int32_t fillDescriptor(void* address, const ServiceDescription& service) {
  if (exports::recordSize(address) < L::kSize) return 0;
  exports::HostRecord record(address, L::kSize);
  record.setText(L::kClassGuid, L::kTextCapacity, kClassGuid);
  record.setText(L::kInterfaceGuid, L::kTextCapacity, service.interfaceGuid);
  record.setU32(L::kCapabilities, service.capabilities);
  record.setText(L::kServiceName, L::kTextCapacity, service.name);
  record.setU32(L::kFixedTwo, 2);
  record.setU32(L::kFixedOne, 1);
  if (service.fileLists) {
    record.setAddress(L::kExtensions, kExtensionList);
    record.setAddress(L::kFileTypes, kFileTypeList);
  }
  return 1;
}

// The unguarded queries still refuse a null record instead of faulting.
std::int32_t fillUnguarded(void* address, const ServiceDescription& service) {
  if (address == nullptr) return 0;
  return fillDescriptor(address, service);
}

}  // namespace
}  // namespace corvane::plugin

using corvane::plugin::fillUnguarded;

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceReading(void* descriptor) {
  return fillUnguarded(descriptor, corvane::plugin::kFileInput);
}

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceWriting(void* descriptor) {
  return fillUnguarded(descriptor, corvane::plugin::kFileOutput);
}

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceRecording(void* descriptor) {
  return fillUnguarded(descriptor, corvane::plugin::kRecordDevice);
}

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceSink(void* descriptor) {
  return corvane::exports::reportError("AVFILE_QueryInterfaceSink", [&]() -> std::int32_t {
    if (corvane::plugin::fillDescriptor(descriptor, corvane::plugin::kOutputDevice) == 0) return 0;
    // The playback engine comes with the output device; until then the
    // query only leaves the input side unprepared, as it always does.
    if (auto* module = corvane::plugin::currentModule())
      module->inputPrepared.store(false, std::memory_order_relaxed);
    return 1;
  });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseInterfaceSink(void*) {
  return corvane::exports::reportError("AVFILE_CloseInterfaceSink", []() -> std::int32_t { return 1; });
}
