// The storages beneath the engine: the memory storage keeps the disk's
// sharing rules (one test runs against both), and each fault of the faulty
// storage fires exactly where its header says, seen through the writer.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "qvf/faulty_storage.h"
#include "qvf/memory_storage.h"
#include "qvf_test_support.h"
#include "support/fake_clock.h"

namespace corvane::qvf {
namespace {

using test::errorOf;
using test::kSmallFieldBytes;
using test::TempDir;

class SharingRules : public ::testing::TestWithParam<bool> {
 protected:
  Storage& storage() { return GetParam() ? static_cast<Storage&>(memory_) : diskStorage(); }

  TempDir dir_;
  MemoryStorage memory_;
  std::string path_ = dir_ / "shared.qvf";
};

TEST_P(SharingRules, AFrameWriterExcludesOtherWritersAndReadersAlwaysOpen) {
  {
    auto created = storage().openHeaderFile(path_.c_str(), HeaderMode::Create);
    ASSERT_TRUE(created);
    const std::uint8_t bytes[3] = {7, 8, 9};
    ASSERT_TRUE(created->write(bytes));
    ASSERT_TRUE(created->close());
  }
  auto writer = storage().openFrameFile(path_.c_str());
  ASSERT_TRUE(writer && writer->writable());
  EXPECT_FALSE(storage().openFrameFile(path_.c_str()));
  EXPECT_FALSE(storage().openHeaderFile(path_.c_str(), HeaderMode::ReadWrite));
  EXPECT_FALSE(storage().openHeaderFile(path_.c_str(), HeaderMode::Create));
  auto reader = storage().openHeaderFile(path_.c_str(), HeaderMode::Read);
  ASSERT_TRUE(reader);
  std::uint8_t got[4] = {};
  EXPECT_EQ(reader->read(got), 3u) << "a refused Create truncated the file";
  EXPECT_EQ(got[2], 9);

  ASSERT_TRUE(writer->close());
  auto headerWriter = storage().openHeaderFile(path_.c_str(), HeaderMode::ReadWrite);
  auto secondHeaderWriter = storage().openHeaderFile(path_.c_str(), HeaderMode::ReadWrite);
  ASSERT_TRUE(headerWriter && secondHeaderWriter) << "header writers share";
  EXPECT_FALSE(storage().openFrameFile(path_.c_str()));
  headerWriter.reset();  // closed quietly
  secondHeaderWriter.reset();
  EXPECT_TRUE(storage().openFrameFile(path_.c_str()));
  EXPECT_FALSE(storage().openHeaderFile((path_ + ".missing").c_str(), HeaderMode::Read));
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, SharingRules, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

// Each row arms one fault after the file is created (or before, for the
// create's own faults), then writes three small frames and closes the file.
struct FaultCase {
  const char* name;
  std::function<void(FaultyStorage&)> arm;
  bool armBeforeCreate;
  const char* createError;
  std::vector<bool> frameWrites;
  std::uint64_t fileSize;
  const char* closeError;
  std::vector<std::uint32_t> sleeps;
};

constexpr std::uint64_t kBlock = 2 * kSmallFieldBytes;

const FaultCase kFaults[] = {
    {"second transfer (frame 1, both fields in one) fails",
     [](FaultyStorage& s) { s.failTransfer(2); },
     false,
     nullptr,
     {true, false, true},
     512 + 3 * kBlock,
     nullptr,
     {}},
    {"short first transfer fails its frame only",
     [](FaultyStorage& s) { s.shortenTransfer(1, 100); },
     false,
     nullptr,
     {false, true, true},
     512 + 3 * kBlock,
     nullptr,
     {}},
    {"disk full inside frame 1",
     [](FaultyStorage& s) { s.fillDiskAfter(3 * kSmallFieldBytes - 100); },
     false,
     nullptr,
     {true, false, false},
     512 + 3 * kSmallFieldBytes - 100,
     nullptr,
     {}},
    {"delay through the clock",
     [](FaultyStorage& s) { s.delayTransfers(40); },
     false,
     nullptr,
     {true, true, true},
     512 + 3 * kBlock,
     nullptr,
     {40, 40, 40}},
    {"failing frame close",
     [](FaultyStorage& s) { s.failNextFrameClose(); },
     false,
     nullptr,
     {true, true, true},
     512 + 3 * kBlock,
     "Could not close the Win32 streaming file handle.",
     {}},
    {"refused frame open",
     [](FaultyStorage& s) { s.refuseFrameOpens(1); },
     false,
     nullptr,
     {false, true, true},
     512 + 2 * kBlock,
     nullptr,
     {}},
    {"failing header close",
     [](FaultyStorage& s) { s.failNextHeaderClose(); },
     true,
     "Could not close file pointer.",
     {true, true, true},
     512 + 3 * kBlock,
     nullptr,
     {}},
    {"refused header open",
     [](FaultyStorage& s) { s.refuseHeaderOpens(1); },
     true,
     "Cannot open file for output.",
     {false, false, false},
     0,
     nullptr,
     {}},
    {"disk full in the headers",
     [](FaultyStorage& s) { s.fillDiskAfter(30); },
     true,
     "Cannot write to output file.",
     {false, false, false},
     30,
     nullptr,
     {}},
};

TEST(FaultyStorage, EachFaultFiresWhereItsHeaderSays) {
  for (const FaultCase& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    MemoryStorage memory;
    testing::FakeClock clock;
    FaultyStorage storage(memory, clock);
    OpenFileRegistry registry(storage);
    const std::string path = "clip.qvf";
    if (fault.armBeforeCreate) fault.arm(storage);
    EXPECT_EQ(errorOf([&] { test::createSmall(path, storage); }),
              fault.createError ? fault.createError : "(no error)");
    if (!fault.armBeforeCreate) fault.arm(storage);
    std::vector<bool> writes;
    for (std::uint32_t n = 0; n < 3; ++n)
      writes.push_back(writeFrame(registry, path.c_str(), FrameLayout::Fields422,
                                  test::all(test::patternFrame422(kSmallFieldBytes, n))));
    EXPECT_EQ(writes, fault.frameWrites);
    EXPECT_EQ(errorOf([&] { registry.closeByName(path.c_str()); }),
              fault.closeError ? fault.closeError : "(no error)");
    EXPECT_EQ(registry.openCount(), 0u);
    EXPECT_EQ(memory.bytes(path).size(), fault.fileSize);
    EXPECT_EQ(clock.sleeps, fault.sleeps);
  }
}

// The engine tries one transfer for a whole frame and falls back to one per
// field; a failure of the first must cost nothing but the retry.
TEST(FaultyStorage, AFailedFrameReadFallsBackToFieldReadsOnlyThatFail) {
  MemoryStorage memory;
  FaultyStorage storage(memory);
  OpenFileRegistry registry(storage);
  test::createSmall("clip.qvf", storage);
  test::writeFrames(registry, "clip.qvf", 2, 5);
  const std::uint64_t before = storage.transferCount();
  storage.failTransfer(1);
  EXPECT_TRUE(test::frameMatches(registry, "clip.qvf", 1, 6));
  EXPECT_EQ(storage.transferCount(), before + 3);
  storage.failTransfer(1);
  storage.failTransfer(3);
  EXPECT_FALSE(test::frameMatches(registry, "clip.qvf", 0, 5));
  EXPECT_EQ(storage.transferCount(), before + 6) << "the second field is read after the first failed";
}

}  // namespace
}  // namespace corvane::qvf
