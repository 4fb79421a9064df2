// The output device's records as a host builds them for the device tests.
#pragma once

#include <gtest/gtest.h>

#include "abi/file_services_harness.h"

namespace corvane::abi {

// Opens a sink with zeroed parameters (the interface must be queried).
inline void* openPlainSink(const AvfileApi& api) {
  RecordBuffer chosen(236, 0);
  RecordBuffer structure(24, 0);
  RecordBuffer params(52, 0);
  params.setAddress(24, chosen.data());
  params.setAddress(48, structure.data());
  void* handle = nullptr;
  EXPECT_EQ(api.AVFILE_OpenSink(&handle, params.data()), 1);
  return handle;
}

// A sink buffer record asking for 4:2:2.
inline RecordBuffer bufferRecord422() {
  RecordBuffer record(496, 0);
  record.setU32(0, 496);
  record.setText(20, kGuid422);
  return record;
}

}  // namespace corvane::abi
