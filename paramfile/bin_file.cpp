#include "paramfile/bin_file.h"

#include <cstdio>
#include <cstring>

#include "link/output_sink.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_checksums.h"

namespace tmode {

namespace {

constexpr uint16_t kFileChecksumSeed = 0x2B9D;
constexpr uint32_t kHardwareFileSizeWord = 2112;
constexpr uint32_t kSoftwareFileSizeWord = 572;
constexpr char kBuilderName[] = "PlovexBuilder37XXL";  // the first 16 characters are stored
constexpr int kBuilderNameOffset = 12;
constexpr int kBuilderNameSize = 16;
constexpr int kDateOffset = 28;
constexpr int kDateSize = 20;
constexpr int kHeaderSizeOffset = 8;
constexpr int kBlockTypeOffset = 60;

struct BlockFile {
  uint8_t* image;
  int size;
  uint32_t size_word;
  const char* load_failure;
};

BlockFile block_file(int block_type) {
  if (block_type == kHardwareBlock) {
    return {maintenance_state().images.current_hardware, kHardwareBlockSize, kHardwareFileSizeWord,
            "LoadHWBinFile FAIL!"};
  }
  return {maintenance_state().images.current_software, kSoftwareBlockSize, kSoftwareFileSizeWord,
          "LoadSWBinFile FAIL!"};
}

void write_u32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t read_u32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

FILE* create_file(const Tuner& tuner, const char* path) {
  FILE* file = nullptr;
  if (path != nullptr && path[0] != '\0') file = std::fopen(path, "wb");
  if (file == nullptr && tuner.default_parameter_path[0] != '\0') {
    file = std::fopen(tuner.default_parameter_path, "wb");
  }
  return file;
}

int load_bin_file(const char* path, int block_type) {
  const BlockFile target = block_file(block_type);
  FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) {
    out_printf("File: %s dose not Exist\n", path != nullptr ? path : "");
    return 0;
  }
  long file_length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) file_length = std::ftell(file);
  std::rewind(file);

  uint8_t header[kBinFileHeaderSize] = {};
  if (file_length < kBinFileHeaderSize ||
      std::fread(header, 1, kBinFileHeaderSize, file) != kBinFileHeaderSize) {
    std::fclose(file);
    out_puts(target.load_failure);
    return 0;
  }
  if (header[kBlockTypeOffset] != block_type) {
    std::fclose(file);
    return 0;
  }
  const uint32_t header_size = read_u32(header + kHeaderSizeOffset);
  bool loaded = false;
  uint8_t block[kHardwareBlockSize];
  const long data_size = file_length - kBinFileHeaderSize;
  const size_t wanted = static_cast<size_t>(data_size < target.size ? data_size : target.size);
  if (header_size <= kBinFileHeaderSize) {
    std::rewind(file);
    const bool header_read = std::fread(header, 1, header_size, file) == header_size;
    if (header_read && std::fseek(file, static_cast<long>(header_size), SEEK_SET) == 0 && wanted > 0) {
      loaded = std::fread(block, 1, wanted, file) == wanted;
    }
  }
  std::fclose(file);
  if (!loaded) {
    out_puts(target.load_failure);
    return 0;
  }
  std::memcpy(target.image, block, wanted);
  return 1;
}

}  // namespace

int save_bin_file_at(Tuner& tuner, const char* path, int block_type, const std::tm& local) {
  const BlockFile source = block_file(block_type);
  FILE* file = create_file(tuner, path);
  if (file == nullptr) return -1;

  uint8_t header[kBinFileHeaderSize] = {};
  write_u32(header, source.size_word);
  write_u32(header + kHeaderSizeOffset, kBinFileHeaderSize);
  std::memcpy(header + kBuilderNameOffset, kBuilderName, kBuilderNameSize);
  const auto field = [](int value, unsigned limit) { return static_cast<unsigned>(value) % limit; };
  std::snprintf(reinterpret_cast<char*>(header + kDateOffset), kDateSize, "%04u/%02u/%02u,%02u:%02u:%02u",
                field(local.tm_year + 1900, 10000), field(local.tm_mon + 1, 100),
                field(local.tm_mday, 100), field(local.tm_hour, 100), field(local.tm_min, 100),
                field(local.tm_sec, 100));
  header[kBlockTypeOffset] = static_cast<uint8_t>(block_type);

  // The block goes out with the Tuner's version bytes, and the file checksum
  // covers the bytes written. The hardware block's own checksum covers the
  // version bytes, so a block that verified is sealed again after they were
  // set; one that did not is saved as it is, still failing its verification.
  const bool hardware = block_type == kHardwareBlock;
  const bool verified = hardware && verify_hardware_block(source.image, kHardwareBlockSize);
  source.image[block::kVersionByte0] = tuner.parameter_version[0];
  source.image[block::kVersionByte1] = tuner.parameter_version[1];
  if (verified) {
    write_le16(source.image + block::kChecksum, hardware_block_checksum(source.image, kHardwareBlockSize));
  }
  uint32_t sum = kFileChecksumSeed;
  for (int i = 6; i < kBinFileHeaderSize; ++i) sum += header[i];
  for (int i = 0; i < source.size; ++i) sum += source.image[i];
  write_le16(header + 4, static_cast<uint16_t>(sum));

  const size_t size = static_cast<size_t>(source.size);
  const bool written = std::fwrite(header, 1, kBinFileHeaderSize, file) == kBinFileHeaderSize &&
                       std::fwrite(source.image, 1, size, file) == size;
  const bool closed = std::fclose(file) == 0;
  return written && closed ? 0 : -1;
}

int save_hardware_bin_file(Tuner& tuner, const char* path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return save_bin_file_at(tuner, path, kHardwareBlock, local);
}

int save_software_bin_file(Tuner& tuner, const char* path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return save_bin_file_at(tuner, path, kSoftwareBlock, local);
}

int load_hardware_bin_file(Tuner&, const char* path) { return load_bin_file(path, kHardwareBlock); }

int load_software_bin_file(Tuner&, const char* path) { return load_bin_file(path, kSoftwareBlock); }

void clear_parameter_images() {
  std::memset(maintenance_state().images.current_hardware, 0, sizeof maintenance_state().images.current_hardware);
  std::memset(maintenance_state().images.current_software, 0, sizeof maintenance_state().images.current_software);
}

}  // namespace tmode
