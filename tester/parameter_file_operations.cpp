#include "tester/parameter_file_operations.h"

#include <cstring>

#include "maintenance/byte_order.h"
#include "maintenance/maintenance_state.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_checksums.h"
#include "paramfile/bin_file.h"
#include "paramfile/text_files.h"
#include "tester/tuner_preparation.h"

namespace tmode {

namespace {

constexpr int kCurrentImagesSlot = 5;
constexpr int kShortestBlock = 4;  // the length and checksum words

ParameterImages& images() { return maintenance_state().images; }

bool holds_block(const uint8_t* block) { return read_le16(block) >= kShortestBlock; }

// The current images, read from the controller when they hold no block.
bool current_images_loaded() {
  if (holds_block(images().current_hardware) && holds_block(images().current_software)) {
    return true;
  }
  return load_parameter_images(kCurrentImagesSlot) == 0;
}

// A fresh, prepared Tuner; null when it cannot be allocated.
TunerPtr prepared_tuner() {
  TunerPtr tuner = create_tuner();
  if (tuner) prepare_tuner(*tuner);
  return tuner;
}

// Runs `work` on a prepared Tuner with the current images loaded; `failed`
// when either cannot be had.
template <typename Work>
int with_current_images(int failed, Work work) {
  TunerPtr tuner = prepared_tuner();
  if (!tuner || !current_images_loaded()) return failed;
  return work(*tuner);
}

enum class Source { kBinFile, kTextFile };

struct BlockKind {
  int type;
  int size;
  uint8_t* (*current)();
  const uint8_t* (*initial)(const Tuner&);
  bool (*verify)(const uint8_t*);
  int (*load_bin)(Tuner&, const char*);
  int (*import_text)(Tuner&, const char*);
};

const BlockKind kHardware = {
    kHardwareBlock,
    kHardwareBlockSize,
    [] { return images().current_hardware; },
    [](const Tuner& t) -> const uint8_t* { return t.hardware_block; },
    [](const uint8_t* b) { return verify_hardware_block(b, kHardwareBlockSize); },
    load_hardware_bin_file,
    import_hardware_text,
};

const BlockKind kSoftware = {
    kSoftwareBlock,
    kSoftwareBlockSize,
    [] { return images().current_software; },
    [](const Tuner& t) -> const uint8_t* { return t.software_block; },
    verify_software_block,
    load_software_bin_file,
    import_software_text,
};

int write_block_file(const BlockKind& kind, Source source, const char* path) {
  TunerPtr tuner = prepared_tuner();
  if (!tuner) return -1;
  clear_parameter_images();
  uint8_t* image = kind.current();
  int loaded = 0;
  if (source == Source::kBinFile) {
    loaded = kind.load_bin(*tuner, path);
  } else {
    std::memcpy(image, kind.initial(*tuner), static_cast<size_t>(kind.size));
    loaded = kind.import_text(*tuner, path);
  }
  if (loaded == 0 || !holds_block(image) || !kind.verify(image)) return -1;
  const int written = write_parameter_block(kind.type, 0, kind.size, image, 1);
  return written == kind.size ? 0 : -1;
}

}  // namespace

int save_hardware_file(int, int, const char* path) {
  return with_current_images(-1, [path](Tuner& t) { return save_hardware_bin_file(t, path); });
}

int save_software_file(int, int, const char* path) {
  return with_current_images(-1, [path](Tuner& t) { return save_software_bin_file(t, path); });
}

int export_hardware_file(int, int, const char* path) {
  return with_current_images(0, [path](Tuner& t) { return export_hardware_text(t, path); });
}

int export_software_file(int, int, const char* path) {
  return with_current_images(-1, [path](Tuner& t) {
    // The model and version are read from the Tuner's software block.
    std::memcpy(t.software_block, images().current_software, kSoftwareBlockSize);
    return export_model_text(t, path);
  });
}

int write_hardware_bin_file(int, int, const char* path) {
  return write_block_file(kHardware, Source::kBinFile, path);
}

int write_hardware_text_file(int, int, const char* path) {
  return write_block_file(kHardware, Source::kTextFile, path);
}

int write_software_bin_file(int, int, const char* path) {
  return write_block_file(kSoftware, Source::kBinFile, path);
}

int write_software_text_file(int, int, const char* path) {
  return write_block_file(kSoftware, Source::kTextFile, path);
}

}  // namespace tmode
