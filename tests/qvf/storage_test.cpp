// The files beneath the engine: the sharing rules (the memory storage keeps
// the disk's), special files refused without blocking, each fault of the
// faulty storage firing exactly where its header says.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "platform/file.h"
#include "qvf/faulty_storage.h"
#include "qvf/memory_storage.h"
#include "qvf/validating_open.h"
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
    const std::uint8_t bytes[3] = {7, 8, 9};
    ASSERT_TRUE(created && created->write(bytes) && created->close());
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

  ASSERT_TRUE(writer->close());
  auto headerWriter = storage().openHeaderFile(path_.c_str(), HeaderMode::ReadWrite);
  auto secondHeaderWriter = storage().openHeaderFile(path_.c_str(), HeaderMode::ReadWrite);
  ASSERT_TRUE(headerWriter && secondHeaderWriter) << "header writers share";
  EXPECT_FALSE(storage().openFrameFile(path_.c_str()));
  headerWriter.reset(), secondHeaderWriter.reset();  // closed quietly
  EXPECT_TRUE(storage().openFrameFile(path_.c_str()));
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, SharingRules, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

// Opening a FIFO that has no writer blocks until one comes; none of these
// opens may wait, and none may take anything but a regular file.
TEST(SpecialFiles, OnlyRegularFilesOpenAndNoneWaitsForAPipe) {
  TempDir dir;
  const std::string fifo = dir / "pipe.qvf";
  ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
  for (const std::string& path : {fifo, dir.path(), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(platform::StreamHandle::open(path.c_str()).isOpen());
    for (const char* mode : {"rb", "r+b", "wb"})
      EXPECT_FALSE(platform::BufferedFile::open(path.c_str(), mode)) << mode;
    EXPECT_FALSE(isQvfFile(path.c_str()));
    EXPECT_EQ(errorOf([&] { openQvfStream(diskStorage(), path.c_str()); }), "Could not open the file.");
    EXPECT_EQ(errorOf([&] { test::createSmall(path); }), "Cannot open file for output.");
  }
}

constexpr std::uint64_t kBlock = 2 * kSmallFieldBytes;

// Each row arms one fault after the file is created (or before, for the
// create's own faults), then writes three small frames and closes the file.
// A failed frame keeps its block: the next frame goes to the next one.
struct FaultCase {
  const char* name;
  bool beforeCreate;
  void (*arm)(FaultyStorage&);
  const char* createError;  // nullptr: none
  const char* frameWrites;  // a letter a frame: y written, n failed
  std::uint64_t fileSize;
  std::uint32_t sleepEach = 0;  // on the clock, before each of the three transfers
};

const FaultCase kFaults[] = {
    {"second transfer (frame 1, both fields in one) fails", false,
     [](FaultyStorage& s) { s.failTransfer(2); }, nullptr, "yny", 512 + 3 * kBlock},
    {"short first transfer fails its frame only", false, [](FaultyStorage& s) { s.shortenTransfer(1, 100); },
     nullptr, "nyy", 512 + 3 * kBlock},
    {"disk full inside frame 1", false, [](FaultyStorage& s) { s.fillDiskAfter(3 * kSmallFieldBytes - 100); },
     nullptr, "ynn", 512 + 3 * kSmallFieldBytes - 100},
    {"delay through the clock", false, [](FaultyStorage& s) { s.delayTransfers(40); }, nullptr, "yyy",
     512 + 3 * kBlock, 40},
    {"refused frame open", false, [](FaultyStorage& s) { s.refuseFrameOpens(1); }, nullptr, "nyy",
     512 + 2 * kBlock},
    {"failing header close", true, [](FaultyStorage& s) { s.failNextHeaderClose(); },
     "Could not close file pointer.", "yyy", 512 + 3 * kBlock},
    {"refused header open", true, [](FaultyStorage& s) { s.refuseHeaderOpens(1); },
     "Cannot open file for output.", "nnn", 0},
    {"disk full in the headers", true, [](FaultyStorage& s) { s.fillDiskAfter(30); },
     "Cannot write to output file.", "nnn", 30},
};

// A failing frame close: registry_test.
// A hostile header can place a frame near 4 GiB: on disk a sparse hole, in
// memory every byte. The memory file refuses it as a full disk would.
TEST(MemoryStorage, AWritePastItsCapacityFailsAndTheFileKeepsItsSize) {
  MemoryStorage memory;
  std::unique_ptr<FrameFile> file = memory.openFrameFile("far.qvf");
  ASSERT_TRUE(file);
  const std::array<std::uint8_t, 512> sector{};
  ASSERT_TRUE(file->write(sector).ok);
  ASSERT_TRUE(file->seek(MemoryStorage::kMaxFileBytes - 256));
  EXPECT_FALSE(file->write(sector).ok);
  EXPECT_EQ(file->size(), 512u);
}

TEST(FaultyStorage, EachFaultFiresWhereItsHeaderSays) {
  for (const FaultCase& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    MemoryStorage memory;
    testing::FakeClock clock;
    FaultyStorage storage(memory, clock);
    OpenFileRegistry registry(storage);
    const std::string path = "clip.qvf";
    if (fault.beforeCreate) fault.arm(storage);
    EXPECT_EQ(errorOf([&] { test::createSmall(path, storage); }),
              fault.createError ? fault.createError : "(no error)");
    if (!fault.beforeCreate) fault.arm(storage);
    std::string writes;
    for (std::uint32_t n = 0; n < 3; ++n) {
      const platform::PageBuffer frame = test::patternFrame422(kSmallFieldBytes, n);
      writes += writeFrame(registry, path.c_str(), FrameLayout::Fields422, frame.bytes()) ? 'y' : 'n';
    }
    EXPECT_EQ(writes, fault.frameWrites);
    EXPECT_EQ(errorOf([&] { registry.closeByName(path.c_str()); }), "(no error)");
    EXPECT_EQ(memory.bytes(path).size(), fault.fileSize);
    EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(fault.sleepEach ? 3 : 0, fault.sleepEach));
  }
}

// The engine tries one transfer for a whole frame and falls back to one per
// field; a failure of the first must cost nothing but the retry. (Field 1 read
// when field 0 fails: the input's tests.)
TEST(FaultyStorage, AFailedFrameReadFallsBackToOneReadPerField) {
  MemoryStorage memory;
  FaultyStorage storage(memory);
  OpenFileRegistry registry(storage);
  test::createSmall("clip.qvf", storage);
  test::writeFrames(registry, "clip.qvf", 2, 5);
  const std::uint64_t before = storage.transferCount();
  storage.failTransfer(1);
  EXPECT_TRUE(test::frameMatches(registry, "clip.qvf", 1, 6));
  EXPECT_EQ(storage.transferCount(), before + 3);
}

}  // namespace
}  // namespace corvane::qvf
