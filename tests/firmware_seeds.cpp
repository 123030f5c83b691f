// Writes the seed files of the firmware fuzz targets, built by the test
// fixture: firmware_seeds <fuzz/corpus directory>.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/firmware_files.h"

using namespace tmode::test;

namespace {

bool write(const std::string& path, const FileBytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

FileBytes text(const std::string& s) { return FileBytes(s.begin(), s.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: firmware_seeds <corpus directory>\n");
    return 2;
  }
  const std::string corpus = argv[1];
  const std::string records = corpus + "/record_file/";
  const std::string packages = corpus + "/firmware_package/";
  const std::string texts = corpus + "/version_text/";
  bool ok = true;

  RecordFilePlan plain;
  plain.main = numbered_records(3);
  ok &= write(records + "plain", build_record_file(plain));

  RecordFilePlan lists = plain;
  lists.lists = {numbered_records(2, 100), numbered_records(1, 200), numbered_records(1, 300),
                 numbered_records(2, 400)};
  ok &= write(records + "lists", build_record_file(lists));

  RecordFilePlan skipped = lists;
  skipped.lists = {numbered_records(1, 100), {}, numbered_records(1, 300), {}};
  skipped.extras = {with_bad_checksum(firmware_record(99, 9)), skipped.lists[0][0], skipped.lists[2][0],
                    firmware_record(98, 8)};
  ok &= write(records + "skipped_extras", build_record_file(skipped));

  RecordFilePlan extension = plain;
  extension.extension = true;
  extension.main.push_back(firmware_record(3, 3, 12));
  ok &= write(records + "extension_short_record", build_record_file(extension));

  RecordFilePlan short_header = plain;
  short_header.header_length = 36;
  ok &= write(records + "short_header", build_record_file(short_header));

  PackagePlan v1;
  v1.main = numbered_records(3);
  ok &= write(packages + "version1", build_package(v1));

  PackagePlan v2 = v1;
  v2.version = 2;
  v2.blocks = {numbered_records(2, 100), numbered_records(1, 200), numbered_records(2, 300)};
  v2.bad_block_checksums = {1};
  ok &= write(packages + "version2", build_package(v2));

  PackagePlan reversed = v1;
  reversed.record_entry_first = true;
  ok &= write(packages + "record_entry_first", build_package(reversed));

  ok &= write(texts + "full", text("Plovex 6300 1A2B panel\nBuild Version: 1.02_rc\nplvx_6120v0103_test.bin"));
  ok &= write(texts + "markers_at_end", text("x6300\nVersion:\n6300_"));
  ok &= write(texts + "tokens", text("6300 -1\nVersion: 0102-abcdefghijk\nTEST_testv1234_6300_61.x"));

  if (!ok) std::fprintf(stderr, "firmware_seeds: cannot write into %s\n", corpus.c_str());
  return ok ? 0 : 1;
}
