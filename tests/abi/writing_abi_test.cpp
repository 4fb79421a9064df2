// The file output as a host sees it: naming and creating files, the settings
// and info records, free time on a disk, frames and closing.
#include <filesystem>

#include "abi/file_services_harness.h"

namespace corvane::abi {
namespace {

using Writing = FileServices;

void* openForWrite(const AvfileApi& api, const std::string& path) {
  void* handle = nullptr;
  RecordBuffer request = openWriteRequest(path);
  EXPECT_EQ(api.AVFILE_OpenFileForWrite(&handle, request.data()), 1) << path;
  return handle;
}

TEST_F(Writing, OnlyAThreeLetterExtensionIsKeptAndTheFileIsCreatedEmpty) {
  inPlugin([&](const AvfileApi& api) {
    for (const auto& [given, written] : {std::pair{"take1", "take1.qvf"}, std::pair{"take.avi", "take.avi"},
                                         std::pair{"take.mpeg", "take.mpeg.qvf"}}) {
      void* handle = openForWrite(api, at(given));
      ASSERT_NE(handle, nullptr);
      EXPECT_EQ(static_cast<const char*>(handle), at(written));
      EXPECT_EQ(box_.readFile(at(written)).substr(0, 4), "FMTR");
      EXPECT_EQ(std::filesystem::file_size(at(written)), 72u);
      EXPECT_EQ(api.AVFILE_CloseFileForWrite(handle), 1) << "a never-written handle closes";
    }
    EXPECT_FALSE(std::filesystem::exists(at("take.mpeg")));

    void* handle = nullptr;
    const std::string smallPath = at("small"), nowherePath = at("missing-dir/take");
    RecordBuffer small = openWriteRequest(smallPath);
    small.setU32(0, 591);
    EXPECT_EQ(api.AVFILE_OpenFileForWrite(&handle, small.data()), 0);
    EXPECT_EQ(handle, nullptr);
    RecordBuffer nowhere = openWriteRequest(nowherePath);
    EXPECT_EQ(api.AVFILE_OpenFileForWrite(&handle, nowhere.data()), 0);  // quietly
    ASSERT_NE(handle, nullptr) << "the handle goes to the host even when creation fails";
    EXPECT_EQ(api.AVFILE_CloseFileForWrite(handle), 1);
  });
}

TEST_F(Writing, ExactSizesOnlyAndThe422LimitLandsInTheHostsBuffer) {
  inPlugin([&](const AvfileApi& api) {
    const std::string path = at("take.qvf");
    void* handle = openForWrite(api, path);
    HostBuffer pixels(kFrame422, 8, 100);
    RecordBuffer noTrailer = videoFrame(pixels, kFrame422 - 4, kGuid422);
    EXPECT_EQ(api.AVFILE_WriteNextVideoFrame(handle, noTrailer.data()), 0);
    RecordBuffer lowerCase = videoFrame(pixels, kFrame422, "349fc923-caea-11d1-818d-00a0c96e62ca");
    EXPECT_EQ(api.AVFILE_WriteNextVideoFrame(handle, lowerCase.data()), 0);
    RecordBuffer good = videoFrame(pixels, kFrame422, kGuid422);
    EXPECT_EQ(api.AVFILE_WriteNextVideoFrame(nullptr, good.data()), 0);
    EXPECT_EQ(api.AVFILE_WriteNextVideoFrame(handle, nullptr), 0);
    EXPECT_EQ(std::filesystem::file_size(path), 72u) << "refused frames write nothing";

    pixels[1000] = pixels[kFrame422 - 1] = 255;
    ASSERT_EQ(api.AVFILE_WriteNextVideoFrame(handle, good.data()), 1);
    EXPECT_EQ(pixels[1000], 254);
    EXPECT_EQ(pixels[kFrame422 - 1], 254) << "the trailer is limited too";
    HostBuffer rgba(kFrame444, 0, 255), yuva(kFrame444, 0, 255);
    RecordBuffer frame = videoFrame(rgba, kFrame444, kGuidRgba);
    ASSERT_EQ(api.AVFILE_WriteNextVideoFrame(handle, frame.data()), 1);
    EXPECT_EQ(rgba[0], 255) << "RGBA-32 is not limited";
    frame = videoFrame(yuva, kFrame444, kGuid444);
    ASSERT_EQ(api.AVFILE_WriteNextVideoFrame(handle, frame.data()), 1);
    EXPECT_EQ(yuva[2], 254);
    EXPECT_EQ(yuva[3], 255) << "alpha is left alone";
    EXPECT_EQ(api.AVFILE_CloseFileForWrite(handle), 1);

    EXPECT_EQ(std::filesystem::file_size(path), 512u + 3 * 691200);
    const std::string bytes = box_.readFile(path);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[512 + 1000]), 254);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[512 + 999]), 100);
  });
}

TEST_F(Writing, OpeningAFileBeingReadClosesTheReadingEntrySoTheNextReadSeesTheNewEmptyFile) {
  const std::string path = at("shared.qvf");
  writeQvfClip(path, 240, 2, kNtscFieldRateBits);
  inPlugin([&](const AvfileApi& api) {
    void* reading = openForRead(api, path);
    ASSERT_EQ(readingFileInfo(api, reading).u32(132), 2u);  // the reader now holds the file open
    void* writing = openForWrite(api, path);
    EXPECT_EQ(readingFileInfo(api, reading).u32(132), 0u);
    HostBuffer buffer(kFrame444, 0);
    RecordBuffer request = readRequest(0, buffer, kFrame444, kGuid444);
    EXPECT_EQ(api.AVFILE_ReadImageFrame(reading, request.data()), 0);
    EXPECT_EQ(api.AVFILE_CloseFileForWrite(writing), 1);
    EXPECT_EQ(api.AVFILE_CloseReadingFile(reading), 1);
  });
}

TEST_F(Writing, SettingsAndInfoCarryThe422DescriptorAndTheAcceptedTable) {
  inPlugin([&](const AvfileApi& api) {
    RecordBuffer settings(944, kHostFill);
    settings.setU32(0, 943);
    EXPECT_EQ(api.AVFILE_SetWritingSettings(settings.data()), 0);
    EXPECT_EQ(settings.u32(8), kUnwritten);
    settings.setU32(0, 944);
    for (std::size_t i = 488; i < 716; i += 4) settings.setU32(i, 0x01020304u + i);
    const std::vector<std::uint8_t> block(settings.bytes().begin() + 488, settings.bytes().begin() + 716);
    ASSERT_EQ(api.AVFILE_SetWritingSettings(settings.data()), 1);
    EXPECT_EQ(words(settings, {8, 252, 252 + 8, 252 + 120, 252 + 124}),
              (std::vector<std::uint32_t>{1, 236, 480, kFrame422, 0x802}));
    EXPECT_EQ(settings.text(252 + 12, 100), kGuid422);
    EXPECT_EQ(std::vector<std::uint8_t>(settings.bytes().begin() + 716, settings.bytes().end()), block);

    RecordBuffer info(28, kHostFill);
    ASSERT_EQ(api.AVFILE_GetWritingFileInfo(nullptr, info.data()), 1);
    EXPECT_EQ(words(info, {8, 12, 16, 20}), (std::vector<std::uint32_t>{3, 0, 0, 40}));
    const auto* list = static_cast<const std::uint8_t*>(info.address(24));
    EXPECT_EQ(std::vector<std::uint8_t>(list, list + 4), (std::vector<std::uint8_t>{0, 1, 2, 0}));
    const RecordBuffer formats = copyRecord(info.address(4), 3 * 236);
    EXPECT_EQ(words(formats, {124, 236 + 124, 472 + 120}),
              (std::vector<std::uint32_t>{0x812, 0x110, kFrame444}));
    EXPECT_EQ(formats.text(472 + 136, 100), "RGBA-32");
  });
}

TEST_F(Writing, FreeTimeOnDriveIsWholeFramesOfTheFrameBlockAndTheWord100) {
  inPlugin([&](const AvfileApi& api) {
    const std::string path = at("take");
    RecordBuffer query(28, kHostFill);
    query.setU32(0, 27);
    query.setAddress(8, path.c_str());
    EXPECT_EQ(api.AVFILE_GetFreeTimeOnDrive(query.data()), 0);
    EXPECT_EQ(query.u32(4), kUnwritten);
    query.setU32(0, 28);
    const std::uint64_t before = std::filesystem::space(box_.dir()).available;
    ASSERT_EQ(api.AVFILE_GetFreeTimeOnDrive(query.data()), 1);
    const std::uint64_t after = std::filesystem::space(box_.dir()).available;
    EXPECT_EQ(query.u32(4), 100u);
    // Others may write meanwhile: the answer lies within what the disk held
    // around the call, give or take 64 MiB.
    const std::uint64_t slack = 64u << 20;
    EXPECT_GE(std::uint64_t{query.u32(16)}, (std::min(before, after) - slack) / 691200 & 0xFFFFFFFFu);
    EXPECT_LE(std::uint64_t{query.u32(16)}, (std::max(before, after) + slack) / 691200);
  });
}

}  // namespace
}  // namespace corvane::abi
