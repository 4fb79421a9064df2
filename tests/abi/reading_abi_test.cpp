// The file input as a host sees it: opening, the file info with its offered
// formats, and frame reads, through the loaded plug-in.
#include <cstring>

#include "abi/file_services_harness.h"

namespace corvane::abi {
namespace {

using Reading = FileServices;

void expectOffered(const std::uint8_t* at, const char* name, const char* guid, std::uint32_t height,
                   std::uint32_t frameBytes, std::uint32_t flags, std::uint32_t rateNum,
                   std::uint32_t rateDen) {
  const RecordBuffer format = copyRecord(at, 236);
  EXPECT_EQ(words(format, {0, 4, 8, 112, 116, 120, 124}),
            (std::vector<std::uint32_t>{236, 720, height, rateNum, rateDen, frameBytes, flags}))
      << name;
  EXPECT_EQ(format.text(12, 100), guid);
  EXPECT_EQ(format.text(136, 100), name);
}

TEST_F(Reading, OnlyFilesStartingWithTheMagicGiveAHandle) {
  box_.writeFile(at("short.qvf"), "FMT");
  box_.writeFile(at("other.qvf"), "RIFF....");
  writeQvfClip(at("clip.qvf"), 240, 1, kNtscFieldRateBits);
  inPlugin([&](const AvfileApi& api) {
    void* handle = reinterpret_cast<void*>(0x1234);
    for (const char* name : {"short.qvf", "other.qvf", "missing.qvf"})
      EXPECT_EQ(api.AVFILE_OpenFileForRead(&handle, const_cast<char*>(at(name).c_str())), 0) << name;
    EXPECT_EQ(handle, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(api.AVFILE_OpenFileForRead(&handle, nullptr), 0);
    handle = openForRead(api, at("clip.qvf"));
    EXPECT_EQ(static_cast<const char*>(handle), at("clip.qvf"));
    EXPECT_EQ(api.AVFILE_CloseReadingFile(handle), 1);
  });
}

TEST_F(Reading, A175ByteInfoRecordIsRefusedUntouchedAndA176ByteOneDescribesTheFile) {
  writeQvfClip(at("clip.qvf"), 240, 3, kNtscFieldRateBits);
  inPlugin([&](const AvfileApi& api) {
    void* handle = openForRead(api, at("clip.qvf"));
    RecordBuffer small(176, kHostFill);
    small.setU32(0, 175);
    const std::vector<std::uint8_t> before = small.bytes();
    EXPECT_EQ(api.AVFILE_GetReadingFileInfo(handle, small.data()), 0);
    EXPECT_EQ(small.bytes(), before);

    const RecordBuffer info = readingFileInfo(api, handle);
    EXPECT_EQ(words(info, {4, 8, 112, 116, 120, 124, 132, 136, 144, 148, 152, 160}),
              (std::vector<std::uint32_t>{0, 8, 40, 0, 65535, kUnwritten, 3, 0, 3, 0, 0, kUnwritten}));
    EXPECT_EQ(info.text(12, 100), "Video Corvane");
    EXPECT_EQ(info.address(164), handle);
    const auto* list = static_cast<const std::uint8_t*>(info.address(156));
    EXPECT_EQ(std::vector<std::uint8_t>(list, list + 4), (std::vector<std::uint8_t>{0, 1, 2, 0}));
    const auto* table = static_cast<const std::uint8_t*>(info.address(140));
    expectOffered(table, "4:2:2", kGuid422, 480, 691204, 0x812, 29970026, 1000000);
    expectOffered(table + 236, "4:4:4", kGuid444, 480, 1382400, 0x110, 29970026, 1000000);
    expectOffered(table + 472, "RGBA-32", kGuidRgba, 480, 1382400, 0x100, 29970026, 1000000);
    EXPECT_EQ(api.AVFILE_CloseReadingFile(handle), 1);
  });
}

TEST_F(Reading, TheOfferedRateIsTheLoadTimeModeNotTheFilesAndATableKeepsItsValues) {
  box_.writeFile(box_.iniPath(), kPalIni);
  writeQvfClip(at("240.qvf"), 240, 1, kNtscFieldRateBits);
  writeQvfClip(at("288.qvf"), 288, 1, kPalFieldRateBits);
  inPlugin([&](const AvfileApi& api) {
    std::vector<const std::uint8_t*> tables;
    for (std::uint32_t lines : {240u, 288u}) {
      void* handle = openForRead(api, at(std::to_string(lines) + ".qvf"));
      tables.push_back(static_cast<const std::uint8_t*>(readingFileInfo(api, handle).address(140)));
      api.AVFILE_CloseReadingFile(handle);
    }
    // The host may still read the first file's table, from any thread, after
    // another file was described: it must not have been rewritten.
    for (std::size_t i = 0; i < 2; ++i) {
      const std::uint32_t lines = i == 0 ? 240 : 288;
      expectOffered(tables[i], "4:2:2", kGuid422, 2 * lines, 720 * 2 * lines * 2 + 4, 0x812, 25, 1);
      expectOffered(tables[i] + 472, "RGBA-32", kGuidRgba, 2 * lines, 720 * 2 * lines * 4, 0x100, 25, 1);
    }
  });
}

TEST_F(Reading, A422FrameIsTwoFieldsAndTheFieldSizeWordAtAnyAlignment) {
  writeQvfClip(at("clip.qvf"), 240, 2, kNtscFieldRateBits);
  inPlugin([&](const AvfileApi& api) {
    void* handle = openForRead(api, at("clip.qvf"));
    HostBuffer tooSmall(kFrame422 - 1, 0);
    RecordBuffer refused = readRequest(1, tooSmall, kFrame422 - 1, kGuid422);
    EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, refused.data()), 0);
    EXPECT_EQ(tooSmall[0], kHostFill);
    for (std::size_t shift : {0, 8}) {
      HostBuffer buffer(kFrame422, shift);
      RecordBuffer request = readRequest(1, buffer, kFrame422, kGuid422);
      ASSERT_EQ(api.AVFILE_ReadImageFrame(handle, request.data()), 1) << "shift " << shift;
      EXPECT_EQ(buffer[0], clipByte(1, 0, 0));
      EXPECT_EQ(buffer[kField - 1], clipByte(1, 0, kField - 1));
      EXPECT_EQ(buffer[kField], clipByte(1, 1, 0)) << "field 1 starts at W x L x 2";
      EXPECT_EQ(buffer[2 * kField - 1], clipByte(1, 1, kField - 1));
      EXPECT_EQ(buffer.u32(2 * kField), kField) << "the trailer holds W x H";
      EXPECT_EQ(request.u32(256 + 124), 0x812u);
    }
    // A frame beyond the end and a short request give 0 without a message.
    HostBuffer buffer(kFrame444, 0);
    RecordBuffer beyond = readRequest(2, buffer, kFrame444, kGuid444);
    EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, beyond.data()), 0);
    RecordBuffer small = readRequest(0, buffer, kFrame444, kGuid444);
    small.setU32(0, 491);
    EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, small.data()), 0);
    EXPECT_EQ(small.u32(256), kUnwritten);
    api.AVFILE_CloseReadingFile(handle);
  });
}

TEST_F(Reading, AnUnknownFormatTextIsRefusedAfterTheDeliveredFormatIsFilledExceptItsFlags) {
  writeQvfClip(at("clip.qvf"), 240, 1, kNtscFieldRateBits);
  inPlugin([&](const AvfileApi& api) {
    void* handle = openForRead(api, at("clip.qvf"));
    HostBuffer buffer(kFrame444, 0);
    const char* lowerCase = "349fc923-caea-11d1-818d-00a0c96e62ca";
    RecordBuffer request = readRequest(0, buffer, kFrame444, lowerCase);
    EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, request.data()), 0);
    EXPECT_EQ(words(request, {256, 256 + 4, 256 + 8, 256 + 112, 256 + 116, 256 + 120, 256 + 124}),
              (std::vector<std::uint32_t>{236, 720, 480, 7, 3, kFrame444, kUnwritten}));
    EXPECT_EQ(request.text(256 + 12, 100), lowerCase);
    EXPECT_EQ(request.text(256 + 136, 100), "host's name");
    // A text moves with its terminator only: the host's bytes behind it stay.
    const auto* delivered = static_cast<const std::uint8_t*>(request.data()) + 256;
    EXPECT_EQ(delivered[12 + std::strlen(lowerCase) + 1], kHostFill);
    EXPECT_EQ(delivered[136 + std::strlen("host's name") + 1], kHostFill);
    EXPECT_EQ(buffer[0], kHostFill);

    RecordBuffer rgba = readRequest(0, buffer, kFrame444, kGuidRgba);
    ASSERT_EQ(api.AVFILE_ReadImageFrame(handle, rgba.data()), 1);
    EXPECT_EQ(rgba.u32(256 + 124), 0x100u);
    EXPECT_EQ(buffer[3], 255) << "alpha";
    api.AVFILE_CloseReadingFile(handle);
  });
}

}  // namespace
}  // namespace corvane::abi
