#include "exports/interface_descriptor.h"

#include "exports/host_record.h"

namespace corvane::exports {
namespace {

// Static one-entry tables of texts; their addresses go to the host, which
// keeps them while the library is loaded.
const char* const kExtensionList[1] = {"qvf"};
const char* const kFileTypeList[1] = {"Video Corvane - qvf"};

}  // namespace

std::int32_t fillInterfaceDescriptor(void* address, const ServiceDescription& service) {
  using L = InterfaceDescriptorLayout;
  if (recordSize(address) < L::kSize) return 0;
  HostRecord record(address, L::kSize);
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

}  // namespace corvane::exports
