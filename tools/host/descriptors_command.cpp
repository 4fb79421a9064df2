// corvane-host descriptors: the four service descriptors as the plug-in fills them.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "host/command.h"
#include "host/host_record.h"

namespace corvane::host {
namespace {

constexpr std::size_t kDescriptorSize = 324;

std::string firstListEntry(const RecordBuffer& record, std::size_t offset) {
  const auto* table = static_cast<const char* const*>(record.address(offset));
  if (table == nullptr) return "(none)";
  return table[0] ? std::string("\"") + table[0] + "\"" : "(null entry)";
}

void printDescriptor(const char* query, RecordFn fn) {
  RecordBuffer record(kDescriptorSize);
  record.setU32(0, kDescriptorSize);
  const AvResult result = fn(record.data());
  std::printf("%s -> %d\n", query, result);
  if (result == 0) return;
  std::printf("  service name     \"%s\"\n", record.text(208, 100).c_str());
  std::printf("  class GUID       %s\n", record.text(4, 100).c_str());
  std::printf("  interface GUID   %s\n", record.text(104, 100).c_str());
  std::printf("  capabilities     %u\n", record.u32(204));
  std::printf("  words 308, 312   %u, %u\n", record.u32(308), record.u32(312));
  std::printf("  extensions       %s\n", firstListEntry(record, 316).c_str());
  std::printf("  file types       %s\n", firstListEntry(record, 320).c_str());
}

int run(CommandContext& context) {
  if (!context.args.empty()) throw std::runtime_error("descriptors takes no arguments");
  LoadedPlugin plugin(context.pluginPath);
  const AvfileApi& api = plugin.api();
  printDescriptor("AVFILE_QueryInterfaceReading", api.AVFILE_QueryInterfaceReading);
  printDescriptor("AVFILE_QueryInterfaceWriting", api.AVFILE_QueryInterfaceWriting);
  printDescriptor("AVFILE_QueryInterfaceSink", api.AVFILE_QueryInterfaceSink);
  api.AVFILE_CloseInterfaceSink(nullptr);
  printDescriptor("AVFILE_QueryInterfaceRecording", api.AVFILE_QueryInterfaceRecording);
  return 0;
}

const CommandRegistration registration{
    Command{"descriptors", "print the four service descriptors",
            "usage: corvane-host descriptors\n\n"
            "Loads the plug-in, fills a 324-byte descriptor through each of the four\n"
            "query exports and prints what it holds.",
            run}};

}  // namespace
}  // namespace corvane::host
