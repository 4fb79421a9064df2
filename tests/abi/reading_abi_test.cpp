// The file input as a host sees it: opening, the file info with its offered
// formats, and frame reads, through the loaded plug-in.
#include <gtest/gtest.h>

#include "abi/file_services_harness.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

using host::AvfileApi;
using host::RecordBuffer;

void* openForRead(const AvfileApi& api, const std::string& path) {
  void* handle = nullptr;
  EXPECT_EQ(api.AVFILE_OpenFileForRead(&handle, const_cast<char*>(path.c_str())), 1) << path;
  return handle;
}

void expectOffered(const std::uint8_t* record, const char* name, const char* guid, std::uint32_t height,
                   std::uint32_t frameBytes, std::uint32_t flags, std::uint32_t rateNum,
                   std::uint32_t rateDen) {
  RecordBuffer copy(236);
  std::memcpy(copy.data(), record, 236);
  EXPECT_EQ(copy.u32(0), 236u);
  EXPECT_EQ(copy.u32(4), 720u);
  EXPECT_EQ(copy.u32(8), height);
  EXPECT_EQ(copy.text(12, 100), guid);
  EXPECT_EQ(copy.u32(112), rateNum);
  EXPECT_EQ(copy.u32(116), rateDen);
  EXPECT_EQ(copy.u32(120), frameBytes) << name;
  EXPECT_EQ(copy.u32(124), flags) << name;
  EXPECT_EQ(copy.text(136, 100), name);
}

TEST(ReadingOpen, OnlyFilesStartingWithTheMagicGiveAHandle) {
  Sandbox box;
  box.writeFile(box.dir() / "short.qvf", "FMT");
  box.writeFile(box.dir() / "other.qvf", "RIFF....");
  writeQvfClip(box.dir() / "clip.qvf", 240, 1, kNtscFieldRateBits);
  EXPECT_EQ(
      checkWithPlugin(box.environment(),
                      [&](const AvfileApi& api) {
                        void* handle = reinterpret_cast<void*>(0x1234);
                        for (const char* name : {"short.qvf", "other.qvf", "missing.qvf"}) {
                          const std::string path = (box.dir() / name).string();
                          EXPECT_EQ(api.AVFILE_OpenFileForRead(&handle, const_cast<char*>(path.c_str())), 0)
                              << name;
                        }
                        EXPECT_EQ(handle, reinterpret_cast<void*>(0x1234));
                        const std::string good = (box.dir() / "clip.qvf").string();
                        EXPECT_EQ(api.AVFILE_OpenFileForRead(&handle, nullptr), 0);
                        EXPECT_EQ(api.AVFILE_OpenFileForRead(nullptr, const_cast<char*>(good.c_str())), 0);
                        handle = openForRead(api, good);
                        ASSERT_NE(handle, nullptr);
                        EXPECT_STREQ(static_cast<const char*>(handle), good.c_str());
                        EXPECT_EQ(api.AVFILE_CloseReadingFile(handle), 1);
                      }),
      0);
  EXPECT_EQ(box.readFile(box.messageLog()), "");
}

TEST(ReadingFileInfo, A175ByteRecordIsRefusedUntouchedAndA176ByteOneDescribesTheFile) {
  Sandbox box;
  writeQvfClip(box.dir() / "clip.qvf", 240, 3, kNtscFieldRateBits);
  EXPECT_EQ(
      checkWithPlugin(
          box.environment(),
          [&](const AvfileApi& api) {
            void* handle = openForRead(api, (box.dir() / "clip.qvf").string());
            RecordBuffer small(176, kHostFill);
            small.setU32(0, 175);
            EXPECT_EQ(api.AVFILE_GetReadingFileInfo(handle, small.data()), 0);
            RecordBuffer untouched(176, kHostFill);
            untouched.setU32(0, 175);
            EXPECT_EQ(small.bytes(), untouched.bytes());

            RecordBuffer info(176, kHostFill);
            info.setU32(0, 176);
            ASSERT_EQ(api.AVFILE_GetReadingFileInfo(handle, info.data()), 1);
            EXPECT_EQ(info.u32(4), 0u);
            EXPECT_EQ(info.u32(8), 8u);
            EXPECT_EQ(info.text(12, 100), "Video Corvane");
            EXPECT_EQ(info.u32(112), 40u);
            EXPECT_EQ(info.u32(116), 0u);
            EXPECT_EQ(info.u32(120), 65535u);
            EXPECT_EQ(info.u32(124), 0xA5A5A5A5u) << "not written";
            EXPECT_EQ(info.u32(132), 3u);
            EXPECT_EQ(info.u32(136), 0u);
            EXPECT_EQ(info.u32(144), 3u);
            EXPECT_EQ(info.u32(148), 0u);
            EXPECT_EQ(info.u32(152), 0u);
            EXPECT_EQ(info.u32(160), 0xA5A5A5A5u) << "not written";
            EXPECT_EQ(info.address(164), handle);
            const auto* list = static_cast<const std::uint8_t*>(info.address(156));
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(std::vector<std::uint8_t>(list, list + 4), (std::vector<std::uint8_t>{0, 1, 2, 0}));
            const auto* table = static_cast<const std::uint8_t*>(info.address(140));
            ASSERT_NE(table, nullptr);
            expectOffered(table, "4:2:2", kGuid422, 480, 691204, 0x812, 29970026, 1000000);
            expectOffered(table + 236, "4:4:4", kGuid444, 480, 1382400, 0x110, 29970026, 1000000);
            expectOffered(table + 472, "RGBA-32", kGuidRgba, 480, 1382400, 0x100, 29970026, 1000000);
            EXPECT_EQ(api.AVFILE_CloseReadingFile(handle), 1);
          }),
      0);
}

TEST(ReadingFileInfo, TheOfferedRateIsTheLoadTimeModeNotTheFiles) {
  Sandbox box;
  box.writeFile(box.iniPath(), kPalIni);
  writeQvfClip(box.dir() / "ntsc.qvf", 240, 1, kNtscFieldRateBits);
  writeQvfClip(box.dir() / "pal.qvf", 288, 1, kPalFieldRateBits);
  EXPECT_EQ(
      checkWithPlugin(
          box.environment(),
          [&](const AvfileApi& api) {
            for (std::uint32_t lines : {240u, 288u}) {
              void* handle = openForRead(api, (box.dir() / (lines == 240 ? "ntsc.qvf" : "pal.qvf")).string());
              RecordBuffer info(176, kHostFill);
              info.setU32(0, 176);
              ASSERT_EQ(api.AVFILE_GetReadingFileInfo(handle, info.data()), 1);
              const auto* table = static_cast<const std::uint8_t*>(info.address(140));
              expectOffered(table, "4:2:2", kGuid422, 2 * lines, 720 * 2 * lines * 2 + 4, 0x812, 25, 1);
              expectOffered(table + 472, "RGBA-32", kGuidRgba, 2 * lines, 720 * 2 * lines * 4, 0x100, 25, 1);
              api.AVFILE_CloseReadingFile(handle);
            }
          }),
      0);
}

TEST(ReadImageFrame, A422FrameIsTwoFieldsAndTheFieldSizeWordAtAnyAlignment) {
  Sandbox box;
  writeQvfClip(box.dir() / "clip.qvf", 240, 2, kNtscFieldRateBits);
  EXPECT_EQ(checkWithPlugin(box.environment(),
                            [&](const AvfileApi& api) {
                              void* handle = openForRead(api, (box.dir() / "clip.qvf").string());
                              constexpr std::uint32_t kField = 345600;
                              HostBuffer tooSmall(2 * kField + 3, 0);
                              RecordBuffer refused = readRequest(1, tooSmall, 2 * kField + 3, kGuid422);
                              EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, refused.data()), 0);
                              EXPECT_EQ(tooSmall[0], kHostFill);
                              for (std::size_t shift : {0, 8}) {
                                HostBuffer buffer(2 * kField + 4, shift);
                                RecordBuffer request = readRequest(1, buffer, 2 * kField + 4, kGuid422);
                                ASSERT_EQ(api.AVFILE_ReadImageFrame(handle, request.data()), 1)
                                    << "shift " << shift;
                                EXPECT_EQ(buffer[0], clipByte(1, 0, 0));
                                EXPECT_EQ(buffer[kField - 1], clipByte(1, 0, kField - 1));
                                EXPECT_EQ(buffer[kField], clipByte(1, 1, 0)) << "field 1 starts at W x L x 2";
                                EXPECT_EQ(buffer[2 * kField - 1], clipByte(1, 1, kField - 1));
                                EXPECT_EQ(buffer.u32(2 * kField), kField) << "the trailer holds W x H";
                                EXPECT_EQ(request.u32(256 + 124), 0x812u);
                              }
                              api.AVFILE_CloseReadingFile(handle);
                            }),
            0);
  EXPECT_EQ(box.readFile(box.messageLog()), "");
}

TEST(ReadImageFrame, AnUnknownFormatTextIsRefusedAfterTheDeliveredFormatIsFilledExceptItsFlags) {
  Sandbox box;
  writeQvfClip(box.dir() / "clip.qvf", 240, 1, kNtscFieldRateBits);
  EXPECT_EQ(checkWithPlugin(box.environment(),
                            [&](const AvfileApi& api) {
                              void* handle = openForRead(api, (box.dir() / "clip.qvf").string());
                              HostBuffer buffer(1382400, 0);
                              RecordBuffer request =
                                  readRequest(0, buffer, 1382400, "349fc923-caea-11d1-818d-00a0c96e62ca");
                              EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, request.data()), 0);
                              EXPECT_EQ(request.u32(256), 236u);
                              EXPECT_EQ(request.u32(256 + 4), 720u);
                              EXPECT_EQ(request.u32(256 + 8), 480u);
                              EXPECT_EQ(request.text(256 + 12, 100), "349fc923-caea-11d1-818d-00a0c96e62ca");
                              EXPECT_EQ(request.u32(256 + 112), 7u);
                              EXPECT_EQ(request.u32(256 + 116), 3u);
                              EXPECT_EQ(request.u32(256 + 120), 1382400u);
                              EXPECT_EQ(request.text(256 + 136, 100), "host's name");
                              EXPECT_EQ(request.u32(256 + 124), 0xA5A5A5A5u)
                                  << "flags are written only after a read";
                              EXPECT_EQ(buffer[0], kHostFill);

                              RecordBuffer rgba = readRequest(0, buffer, 1382400, kGuidRgba);
                              ASSERT_EQ(api.AVFILE_ReadImageFrame(handle, rgba.data()), 1);
                              EXPECT_EQ(rgba.u32(256 + 124), 0x100u);
                              EXPECT_EQ(buffer[3], 255) << "alpha";
                              api.AVFILE_CloseReadingFile(handle);
                            }),
            0);
}

TEST(ReadImageFrame, AFrameBeyondTheEndAndASmallRequestGiveZeroWithoutAMessage) {
  Sandbox box;
  writeQvfClip(box.dir() / "clip.qvf", 240, 1, kNtscFieldRateBits);
  EXPECT_EQ(checkWithPlugin(box.environment(),
                            [&](const AvfileApi& api) {
                              void* handle = openForRead(api, (box.dir() / "clip.qvf").string());
                              HostBuffer buffer(1382400, 0);
                              RecordBuffer beyond = readRequest(1, buffer, 1382400, kGuid444);
                              EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, beyond.data()), 0);
                              RecordBuffer small = readRequest(0, buffer, 1382400, kGuid444);
                              small.setU32(0, 491);
                              EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, small.data()), 0);
                              EXPECT_EQ(small.u32(256), 0xA5A5A5A5u);
                              api.AVFILE_CloseReadingFile(handle);
                            }),
            0);
  EXPECT_EQ(box.readFile(box.messageLog()), "");
}

}  // namespace
}  // namespace corvane::abi
