// The query exports of the file input, the file output and the record device;
// the output device's query is the output device's own (sink/).
#include "exports/export.h"
#include "exports/interface_descriptor.h"
#include "exports/report_error.h"

namespace {

// These queries have no guard: a null record is refused, not followed.
std::int32_t query(void* descriptor, const corvane::exports::ServiceDescription& service) {
  return corvane::exports::unguarded([&]() -> std::int32_t {
    return descriptor == nullptr ? 0 : corvane::exports::fillInterfaceDescriptor(descriptor, service);
  });
}

}  // namespace

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceReading(void* descriptor) {
  return query(descriptor, corvane::exports::kFileInput);
}

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceWriting(void* descriptor) {
  return query(descriptor, corvane::exports::kFileOutput);
}

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceRecording(void* descriptor) {
  return query(descriptor, corvane::exports::kRecordDevice);
}
