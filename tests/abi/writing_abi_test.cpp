// The file output as a host sees it: naming and creating files, the settings
// and info records, free time on a disk, frames and closing.
#include <gtest/gtest.h>

#include <filesystem>

#include "abi/file_services_harness.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

using host::AvfileApi;
using host::RecordBuffer;

constexpr std::uint32_t kFrame422 = 720 * 480 * 2 + 4;

void* openForWrite(const AvfileApi& api, const std::string& path) {
  void* handle = nullptr;
  RecordBuffer request = openWriteRequest(path);
  EXPECT_EQ(api.AVFILE_OpenFileForWrite(&handle, request.data()), 1) << path;
  return handle;
}

std::uint32_t readingFrameCount(const AvfileApi& api, void* handle) {
  RecordBuffer info(176, kHostFill);
  info.setU32(0, 176);
  EXPECT_EQ(api.AVFILE_GetReadingFileInfo(handle, info.data()), 1);
  return info.u32(132);
}

TEST(OpenFileForWrite, OnlyAThreeLetterExtensionIsKeptAndTheFileIsCreatedEmpty) {
  Sandbox box;
  EXPECT_EQ(checkWithPlugin(
                box.environment(),
                [&](const AvfileApi& api) {
                  const std::string dir = box.dir().string() + "/";
                  const std::pair<std::string, std::string> cases[] = {
                      {"take1", "take1.qvf"}, {"take.avi", "take.avi"}, {"take.mpeg", "take.mpeg.qvf"}};
                  for (const auto& [given, written] : cases) {
                    void* handle = openForWrite(api, dir + given);
                    ASSERT_NE(handle, nullptr);
                    EXPECT_EQ(std::string(static_cast<const char*>(handle)), dir + written);
                    EXPECT_EQ(std::filesystem::file_size(dir + written), 72u) << written;
                    EXPECT_EQ(box.readFile(dir + written).substr(0, 4), "FMTR");
                    EXPECT_EQ(api.AVFILE_CloseFileForWrite(handle), 1) << "a never-written handle closes";
                  }
                  EXPECT_FALSE(std::filesystem::exists(dir + "take.mpeg"));

                  void* handle = nullptr;
                  const std::string smallPath = dir + "small", nowherePath = dir + "missing-dir/take";
                  RecordBuffer small = openWriteRequest(smallPath);
                  small.setU32(0, 591);
                  EXPECT_EQ(api.AVFILE_OpenFileForWrite(&handle, small.data()), 0);
                  EXPECT_EQ(handle, nullptr);
                  RecordBuffer nowhere = openWriteRequest(nowherePath);
                  EXPECT_EQ(api.AVFILE_OpenFileForWrite(&handle, nowhere.data()), 0);
                  ASSERT_NE(handle, nullptr) << "the handle goes to the host even when creation fails";
                  EXPECT_EQ(api.AVFILE_CloseFileForWrite(handle), 1);
                }),
            0);
  EXPECT_EQ(box.readFile(box.messageLog()), "") << "creation failures are quiet";
}

TEST(WriteNextVideoFrame, ExactSizesOnlyAndThe422LimitLandsInTheHostsBuffer) {
  Sandbox box;
  EXPECT_EQ(checkWithPlugin(box.environment(),
                            [&](const AvfileApi& api) {
                              const std::string path = (box.dir() / "take.qvf").string();
                              void* handle = openForWrite(api, path);
                              HostBuffer pixels(kFrame422, 8, 100);
                              RecordBuffer noTrailer = videoFrame(pixels, kFrame422 - 4, kGuid422);
                              EXPECT_EQ(api.AVFILE_WriteNextVideoFrame(handle, noTrailer.data()), 0);
                              RecordBuffer lowerCase =
                                  videoFrame(pixels, kFrame422, "349fc923-caea-11d1-818d-00a0c96e62ca");
                              EXPECT_EQ(api.AVFILE_WriteNextVideoFrame(handle, lowerCase.data()), 0);
                              RecordBuffer good = videoFrame(pixels, kFrame422, kGuid422);
                              EXPECT_EQ(api.AVFILE_WriteNextVideoFrame(nullptr, good.data()), 0);
                              EXPECT_EQ(api.AVFILE_WriteNextVideoFrame(handle, nullptr), 0);
                              EXPECT_EQ(std::filesystem::file_size(path), 72u)
                                  << "refused frames write nothing";

                              pixels[1000] = 255;
                              pixels[kFrame422 - 1] = 255;
                              ASSERT_EQ(api.AVFILE_WriteNextVideoFrame(handle, good.data()), 1);
                              EXPECT_EQ(pixels[1000], 254);
                              EXPECT_EQ(pixels[kFrame422 - 1], 254) << "the trailer is limited too";

                              HostBuffer rgba(720 * 480 * 4, 0, 255);
                              RecordBuffer frame = videoFrame(rgba, 720 * 480 * 4, kGuidRgba);
                              ASSERT_EQ(api.AVFILE_WriteNextVideoFrame(handle, frame.data()), 1);
                              EXPECT_EQ(rgba[0], 255) << "RGBA-32 is not limited";
                              HostBuffer yuva(720 * 480 * 4, 0, 255);
                              frame = videoFrame(yuva, 720 * 480 * 4, kGuid444);
                              ASSERT_EQ(api.AVFILE_WriteNextVideoFrame(handle, frame.data()), 1);
                              EXPECT_EQ(yuva[2], 254);
                              EXPECT_EQ(yuva[3], 255) << "alpha is left alone";
                              EXPECT_EQ(api.AVFILE_CloseFileForWrite(handle), 1);

                              EXPECT_EQ(std::filesystem::file_size(path), 512u + 3 * 691200);
                              const std::string bytes = box.readFile(path);
                              EXPECT_EQ(static_cast<std::uint8_t>(bytes[512 + 1000]), 254);
                              EXPECT_EQ(static_cast<std::uint8_t>(bytes[512 + 999]), 100);
                            }),
            0);
  EXPECT_EQ(box.readFile(box.messageLog()), "");
}

TEST(OpenFileForWrite, ClosesAReadingEntryOfTheSameFileSoTheNextReadSeesTheNewEmptyFile) {
  Sandbox box;
  const std::string path = (box.dir() / "shared.qvf").string();
  writeQvfClip(path, 240, 2, kNtscFieldRateBits);
  EXPECT_EQ(
      checkWithPlugin(box.environment(),
                      [&](const AvfileApi& api) {
                        void* reading = nullptr;
                        ASSERT_EQ(api.AVFILE_OpenFileForRead(&reading, const_cast<char*>(path.c_str())), 1);
                        ASSERT_EQ(readingFrameCount(api, reading), 2u);  // the reader now holds the file open
                        void* writing = openForWrite(api, path);
                        EXPECT_EQ(readingFrameCount(api, reading), 0u);
                        HostBuffer buffer(1382400, 0);
                        RecordBuffer request = readRequest(0, buffer, 1382400, kGuid444);
                        EXPECT_EQ(api.AVFILE_ReadImageFrame(reading, request.data()), 0);
                        EXPECT_EQ(api.AVFILE_CloseFileForWrite(writing), 1);
                        EXPECT_EQ(api.AVFILE_CloseReadingFile(reading), 1);
                      }),
      0);
}

TEST(WritingRecords, SettingsAndInfoCarryThe422DescriptorAndTheAcceptedTable) {
  Sandbox box;
  EXPECT_EQ(
      checkWithPlugin(
          box.environment(),
          [&](const AvfileApi& api) {
            RecordBuffer small(944, kHostFill);
            small.setU32(0, 943);
            EXPECT_EQ(api.AVFILE_SetWritingSettings(small.data()), 0);
            EXPECT_EQ(small.u32(8), 0xA5A5A5A5u);

            RecordBuffer settings(944, kHostFill);
            settings.setU32(0, 944);
            for (std::size_t i = 0; i < 228; ++i) settings.setU32(488 + i / 4 * 4, 0x01020304u + i / 4);
            const std::vector<std::uint8_t> block(settings.bytes().begin() + 488,
                                                  settings.bytes().begin() + 716);
            ASSERT_EQ(api.AVFILE_SetWritingSettings(settings.data()), 1);
            EXPECT_EQ(settings.u32(8), 1u);
            EXPECT_EQ(settings.u32(252), 236u);
            EXPECT_EQ(settings.u32(252 + 8), 480u);
            EXPECT_EQ(settings.text(252 + 12, 100), kGuid422);
            EXPECT_EQ(settings.u32(252 + 120), kFrame422);
            EXPECT_EQ(settings.u32(252 + 124), 0x802u);
            EXPECT_EQ(std::vector<std::uint8_t>(settings.bytes().begin() + 716, settings.bytes().end()),
                      block);

            RecordBuffer info(28, kHostFill);
            ASSERT_EQ(api.AVFILE_GetWritingFileInfo(nullptr, info.data()), 1);
            EXPECT_EQ(info.u32(8), 3u);
            EXPECT_EQ(info.u32(12), 0u);
            EXPECT_EQ(info.u32(16), 0u);
            EXPECT_EQ(info.u32(20), 40u);
            const auto* list = static_cast<const std::uint8_t*>(info.address(24));
            EXPECT_EQ(std::vector<std::uint8_t>(list, list + 4), (std::vector<std::uint8_t>{0, 1, 2, 0}));
            RecordBuffer formats(3 * 236);
            std::memcpy(formats.data(), info.address(4), 3 * 236);
            EXPECT_EQ(formats.text(136, 100), "4:2:2");
            EXPECT_EQ(formats.u32(124), 0x812u);
            EXPECT_EQ(formats.text(236 + 136, 100), "4:4:4");
            EXPECT_EQ(formats.u32(236 + 124), 0x110u);
            EXPECT_EQ(formats.text(472 + 136, 100), "RGBA-32");
            EXPECT_EQ(formats.u32(472 + 120), 1382400u);
          }),
      0);
}

TEST(GetFreeTimeOnDrive, WholeFramesOfTheFrameBlockAndTheWord100) {
  Sandbox box;
  EXPECT_EQ(checkWithPlugin(box.environment(),
                            [&](const AvfileApi& api) {
                              const std::string path = (box.dir() / "take").string();
                              RecordBuffer small(28, kHostFill);
                              small.setU32(0, 27);
                              small.setAddress(8, path.c_str());
                              EXPECT_EQ(api.AVFILE_GetFreeTimeOnDrive(small.data()), 0);
                              EXPECT_EQ(small.u32(4), 0xA5A5A5A5u);

                              RecordBuffer query(28, kHostFill);
                              query.setU32(0, 28);
                              query.setAddress(8, path.c_str());
                              const std::uint64_t before = std::filesystem::space(box.dir()).available;
                              ASSERT_EQ(api.AVFILE_GetFreeTimeOnDrive(query.data()), 1);
                              const std::uint64_t after = std::filesystem::space(box.dir()).available;
                              EXPECT_EQ(query.u32(4), 100u);
                              // Others may write meanwhile: the answer lies within what the
                              // disk held around the call, give or take 64 MiB.
                              const std::uint64_t slack = 64u << 20;
                              EXPECT_GE(std::uint64_t{query.u32(16)},
                                        (std::min(before, after) - slack) / 691200 & 0xFFFFFFFFu);
                              EXPECT_LE(std::uint64_t{query.u32(16)},
                                        (std::max(before, after) + slack) / 691200);
                            }),
            0);
}

}  // namespace
}  // namespace corvane::abi
