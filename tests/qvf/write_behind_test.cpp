// Frames written behind, on a file's helper thread, must reach the file
// exactly as written in the call, in order, all of them; a failed write is
// reported by the next frame call or, for the last frame, by the close; and a
// reader of the file being written sees every frame whose call returned.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pixeltools/field_rows.h"
#include "qvf/faulty_storage.h"
#include "qvf/memory_storage.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::kFullFieldBytes;

constexpr std::size_t kBlock = std::size_t{kFullFieldBytes} * 2;
constexpr std::size_t kFourBytesAPixel = std::size_t{720} * 480 * 4;
constexpr pixeltools::FieldGeometry kGeometry{720, 240};

// A host frame of layout and seed, at an address that is never sector-aligned,
// so that even a 4:2:2 frame goes through the chunk buffers.
class HostFrame {
 public:
  HostFrame(FrameLayout layout, std::uint32_t seed)
      : layout_(layout), storage_((layout == FrameLayout::Fields422 ? kBlock : kFourBytesAPixel) + 1) {
    std::uint32_t state = seed * 2654435761u + 7u;
    for (std::uint8_t& byte : bytes()) {
      state = state * 1103515245u + 12345u;
      byte = static_cast<std::uint8_t>(state >> 16);
    }
  }
  std::span<std::uint8_t> bytes() { return std::span<std::uint8_t>(storage_).subspan(1); }
  // The frame block the plain, inline path makes of it.
  std::vector<std::uint8_t> block() {
    std::vector<std::uint8_t> fields(kBlock);
    std::uint8_t* field0 = fields.data();
    std::uint8_t* field1 = fields.data() + kFullFieldBytes;
    switch (layout_) {
      case FrameLayout::Fields422:
        std::memcpy(fields.data(), bytes().data(), kBlock);
        break;
      case FrameLayout::Ycbcr444:
        pixeltools::fieldsFrom444(bytes().data(), field0, field1, kGeometry);
        break;
      case FrameLayout::Bgra32:
        pixeltools::fieldsFromBgra(bytes().data(), field0, field1, kGeometry);
        break;
    }
    return fields;
  }

 private:
  FrameLayout layout_;
  std::vector<std::uint8_t> storage_;
};

// One of the faults a write behind can meet, armed before the first frame.
enum class Fault { None, FailFrame1, FailLastFrame, DiskFullInFrame2 };

struct Case {
  FrameLayout layout;
  Fault fault;
  // What each of the four frame calls gives, and what the close reports.
  std::vector<bool> calls;
  bool closeReportsFailure;
  // Frames whose blocks must be in the file as written.
  std::vector<std::uint32_t> intact;
};

constexpr std::uint32_t kFrames = 4;

std::vector<Case> cases() {
  std::vector<Case> all;
  for (const FrameLayout layout : {FrameLayout::Fields422, FrameLayout::Ycbcr444, FrameLayout::Bgra32}) {
    all.push_back({layout, Fault::None, {true, true, true, true}, false, {0, 1, 2, 3}});
    // Frame 1's failure comes with frame 2's call; frame 2 is written all the same.
    all.push_back({layout, Fault::FailFrame1, {true, true, false, true}, false, {0, 2, 3}});
    // No call comes after the last frame: the close reports it.
    all.push_back({layout, Fault::FailLastFrame, {true, true, true, true}, true, {0, 1, 2}});
    // Frame 2 fills the disk; frame 3 finds it full: each failure one call later.
    all.push_back({layout, Fault::DiskFullInFrame2, {true, true, true, false}, true, {0, 1}});
  }
  return all;
}

std::string nameOf(const Case& c) {
  const char* layouts[] = {"Fields422", "Ycbcr444", "Bgra32"};
  const char* faults[] = {"NoFault", "FailFrame1", "FailLastFrame", "DiskFullInFrame2"};
  return std::string(layouts[static_cast<int>(c.layout)]) + "_" + faults[static_cast<int>(c.fault)];
}
std::string caseName(const ::testing::TestParamInfo<Case>& info) { return nameOf(info.param); }
void PrintTo(const Case& c, std::ostream* out) { *out << nameOf(c); }

class WriteBehindFaults : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { create(faulty_, path_.c_str(), 2, 0, 720, 240, 29.97f); }
  std::vector<std::uint8_t> fileBlock(std::uint32_t n) {
    const std::vector<std::uint8_t> bytes = memory_.bytes(path_);
    const std::size_t at = kWrittenDataOffset + n * kBlock;
    if (bytes.size() < at + kBlock) return {};
    return {bytes.begin() + static_cast<std::ptrdiff_t>(at),
            bytes.begin() + static_cast<std::ptrdiff_t>(at + kBlock)};
  }

  MemoryStorage memory_;
  FaultyStorage faulty_{memory_};
  std::string path_ = "take.qvf";
  OpenFileRegistry registry_{faulty_};
};

TEST_P(WriteBehindFaults, EachFailureComesWithTheNextCallOrTheCloseAndEveryOtherFrameLandsInOrder) {
  const Case& c = GetParam();
  // Each frame is one write request, numbered from 1 in the order of the frames.
  switch (c.fault) {
    case Fault::None:
      break;
    case Fault::FailFrame1:
      faulty_.failTransfer(2);
      break;
    case Fault::FailLastFrame:
      faulty_.failTransfer(kFrames);
      break;
    case Fault::DiskFullInFrame2:
      faulty_.fillDiskAfter(2 * kBlock + kBlock / 2);
      break;
  }
  std::vector<std::vector<std::uint8_t>> blocks;
  for (std::uint32_t n = 0; n < kFrames; ++n) {
    HostFrame frame(c.layout, 40 + n);
    blocks.push_back(frame.block());
    EXPECT_EQ(writeFrame(registry_, path_.c_str(), c.layout, frame.bytes()), c.calls[n]) << "frame " << n;
    // The host's buffer is free once the call returns.
    std::memset(frame.bytes().data(), 0xEE, frame.bytes().size());
  }
  EXPECT_TRUE(registry_.closeByName(path_.c_str()));
  EXPECT_EQ(registry_.takeClosedWriteFailure(path_.c_str()), c.closeReportsFailure);
  EXPECT_FALSE(registry_.takeClosedWriteFailure(path_.c_str())) << "a failure is reported once";
  for (std::uint32_t n : c.intact) EXPECT_TRUE(fileBlock(n) == blocks[n]) << "frame block " << n;
  EXPECT_EQ(faulty_.transferCount(), kFrames) << "every frame written once, none twice";
}

INSTANTIATE_TEST_SUITE_P(Layouts, WriteBehindFaults, ::testing::ValuesIn(cases()), caseName);

class WriteBehind : public ::testing::Test {
 protected:
  void SetUp() override { create(faulty_, path_.c_str(), 2, 0, 720, 240, 29.97f); }
  bool write(std::uint32_t seed) {
    HostFrame frame(FrameLayout::Bgra32, seed);
    blocks_.push_back(frame.block());
    return writeFrame(*registry_, path_.c_str(), FrameLayout::Bgra32, frame.bytes());
  }
  bool blockIs(std::uint32_t n, const std::vector<std::uint8_t>& expected) {
    const std::vector<std::uint8_t> bytes = memory_.bytes(path_);
    const std::size_t at = kWrittenDataOffset + n * kBlock;
    return bytes.size() >= at + kBlock &&
           std::equal(expected.begin(), expected.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  }

  MemoryStorage memory_;
  FaultyStorage faulty_{memory_};
  std::string path_ = "take.qvf";
  std::unique_ptr<OpenFileRegistry> registry_ = std::make_unique<OpenFileRegistry>(faulty_);
  std::vector<std::vector<std::uint8_t>> blocks_;
};

// The transfers are slowed down, so the last frame is surely still being
// written when the file is read, counted and torn down.
TEST_F(WriteBehind, AReaderSeesEveryFrameWrittenAndTeardownWaitsForTheLast) {
  faulty_.delayTransfers(20);
  ASSERT_TRUE(write(1));
  ASSERT_TRUE(write(2));
  EXPECT_EQ(frameCount(*registry_, path_.c_str()), 2u);
  std::vector<std::uint8_t> read(kBlock);
  ASSERT_TRUE(readFrame(*registry_, path_.c_str(), 1, FrameLayout::Fields422, read));
  EXPECT_TRUE(read == blocks_[1]);
  ASSERT_TRUE(write(3));
  registry_.reset();  // the process's teardown
  for (std::uint32_t n = 0; n < 3; ++n) EXPECT_TRUE(blockIs(n, blocks_[n])) << "frame block " << n;
}

// A reader's close (or an eviction) between a failed write and the next call
// keeps the failure for the writer: the next frame call on the reopened file
// reports it, and writes its own frame to the next block.
TEST_F(WriteBehind, AFailureOutlivesAnotherUsersCloseOfTheFile) {
  faulty_.failTransfer(2);
  ASSERT_TRUE(write(1));
  ASSERT_TRUE(write(2));
  EXPECT_TRUE(registry_->closeByName(path_.c_str()));
  EXPECT_FALSE(write(3)) << "frame 1's failure";
  EXPECT_TRUE(write(4));
  EXPECT_TRUE(registry_->closeByName(path_.c_str()));
  EXPECT_FALSE(registry_->takeClosedWriteFailure(path_.c_str()));
  EXPECT_TRUE(blockIs(0, blocks_[0]));
  EXPECT_TRUE(blockIs(1, blocks_[2])) << "the reopened file goes on after its last whole frame";
  EXPECT_TRUE(blockIs(2, blocks_[3]));
}

// A 4:2:2 frame from an aligned buffer goes straight to the file; the failure
// of the converted frame before it is reported by that call.
TEST_F(WriteBehind, ADirectFrameReportsTheFailureOfTheFrameWrittenBehindBeforeIt) {
  faulty_.failTransfer(1);
  ASSERT_TRUE(write(1));
  const platform::PageBuffer aligned = test::patternFrame422(kFullFieldBytes, 9);
  EXPECT_FALSE(writeFrame(*registry_, path_.c_str(), FrameLayout::Fields422, aligned.bytes()));
  EXPECT_TRUE(writeFrame(*registry_, path_.c_str(), FrameLayout::Fields422, aligned.bytes()));
  EXPECT_TRUE(blockIs(1, std::vector<std::uint8_t>(aligned.data(), aligned.data() + kBlock)));
}

}  // namespace
}  // namespace corvane::qvf
