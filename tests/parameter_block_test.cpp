// The parameter-block commands and the images, against the simulated
// controller's blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "library/library_state.h"
#include "maintenance/parameter_blocks.h"
#include "maintenance/parameter_checksums.h"
#include "maintenance/parameter_images.h"
#include "maintenance/parameter_progress.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

using test::bytes;
using test::SimLinkTest;

class ParameterBlocks : public SimLinkTest {
 protected:
  std::vector<uint8_t> sim_block(int type, bool committed = false) {
    const sim::ParameterStore p = sim.state().parameters;
    return committed ? p.committed[static_cast<size_t>(type)] : p.working[static_cast<size_t>(type)];
  }
  // Commands of one letter the simulator received, as packets.
  std::vector<std::vector<uint8_t>> sent(uint8_t letter) {
    std::vector<std::vector<uint8_t>> packets;
    for (const auto& report : sim.received_commands()) {
      if (report.size() > 3 && report[2] == '?' && report[3] == letter) {
        packets.emplace_back(report.begin() + 2, report.end());
      }
    }
    return packets;
  }
};

// Answers the chunk at `position` with another position `times` times.
sim::Fault echo_other_position(uint8_t letter, int position, int times) {
  sim::Fault fault = sim::wrong_byte('?', letter, 5, static_cast<uint8_t>(position + 1), times);
  fault.when = [position](const sim::Bytes& p) { return (p[3] | p[4] << 8) == position; };
  return fault;
}

TEST_F(ParameterBlocks, ReadsInChunksOfFiftyFour) {
  std::vector<uint8_t> out(2048, 0xEE);
  EXPECT_EQ(read_parameter_block(kHardwareBlock, 0, 54, out.data()), 54);
  EXPECT_EQ(sent('J'), (std::vector<std::vector<uint8_t>>{bytes({'?', 'J', 1, 0, 0, 54})}));
  sim.clear_traffic();
  EXPECT_EQ(read_parameter_block(kHardwareBlock, 100, 55, out.data()), 55);
  EXPECT_EQ(sent('J'), (std::vector<std::vector<uint8_t>>{bytes({'?', 'J', 1, 100, 0, 54}),
                                                          bytes({'?', 'J', 1, 154, 0, 1})}));
  EXPECT_EQ(out[55], 0xEE) << "nothing beyond the count";

  const std::vector<uint8_t> block = sim_block(kHardwareBlock);
  EXPECT_EQ(read_parameter_block(kHardwareBlock, 0, 2048, out.data()), 2048);
  EXPECT_EQ(out, block);
}

TEST_F(ParameterBlocks, ReplyForAnotherPositionIsAFailedAttempt) {
  sim.add_fault(echo_other_position('J', 54, 2));
  std::vector<uint8_t> out(512);
  EXPECT_EQ(read_parameter_block(kSoftwareBlock, 0, 512, out.data()), 512);
  EXPECT_EQ(sent('J').size(), 10u + 2);
  EXPECT_EQ(out, sim_block(kSoftwareBlock));

  // Ten failed attempts end the read with what came before.
  sim.clear_traffic();
  sim.add_fault(echo_other_position('J', 108, 10));
  EXPECT_EQ(read_parameter_block(kSoftwareBlock, 0, 512, out.data()), 108);
  EXPECT_EQ(sent('J').size(), 2u + 10);
}

TEST_F(ParameterBlocks, WritesChunksAndCommits) {
  std::vector<uint8_t> block = sim_block(kSoftwareBlock);
  for (size_t i = 8; i < block.size(); ++i) block[i] = static_cast<uint8_t>(block[i] + 1);
  write_le16(block.data() + 2, software_block_checksum(block.data()));

  EXPECT_EQ(write_parameter_block(kSoftwareBlock, 0, 512, block.data(), 1), 512);
  const auto writes = sent('I');
  ASSERT_EQ(writes.size(), 10u);
  EXPECT_EQ(writes[9].size(), 6u + 512 - 9 * 54);
  EXPECT_EQ(std::vector<uint8_t>(writes[1].begin(), writes[1].begin() + 6), bytes({'?', 'I', 0, 54, 0, 54}));
  EXPECT_EQ(sent('K'), (std::vector<std::vector<uint8_t>>{bytes({'?', 'K', 0, 0})}));
  EXPECT_EQ(sim_block(kSoftwareBlock, true), block) << "committed";
}

TEST_F(ParameterBlocks, ChunkLostFiveTimesStopsTheWriteWithoutCommit) {
  std::vector<uint8_t> block = sim_block(kSoftwareBlock);
  sim.add_fault(echo_other_position('I', 108, 5));
  EXPECT_EQ(write_parameter_block(kSoftwareBlock, 0, 512, block.data(), 1), 108);
  EXPECT_EQ(sent('I').size(), 2u + 5);
  EXPECT_TRUE(sent('K').empty());
}

struct ProgressSeen {
  std::vector<ParameterProgress> steps;
  bool other_thread = false;
  std::thread::id caller = std::this_thread::get_id();
};

void record_progress(void* context, const ParameterProgress& p) {
  auto* seen = static_cast<ProgressSeen*>(context);
  seen->steps.push_back(p);
  if (std::this_thread::get_id() != seen->caller) seen->other_thread = true;
}

// The counts `done` took, in order.
std::vector<int> done_counts(const ProgressSeen& seen) {
  std::vector<int> counts;
  for (const ParameterProgress& p : seen.steps) counts.push_back(p.done);
  return counts;
}

TEST_F(ParameterBlocks, ProgressCountsEachChunkUpToTheBlockSize) {
  struct Case {
    int type;
    bool writing;
    int size;
  };
  for (const Case c : {Case{kHardwareBlock, true, 2048}, Case{kSoftwareBlock, true, 512},
                       Case{kHardwareBlock, false, 2048}, Case{kSoftwareBlock, false, 512}}) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << (c.writing ? " write" : " read"));
    std::vector<uint8_t> block = sim_block(c.type);
    ProgressSeen seen;
    {
      ParameterProgressScope scope(record_progress, &seen);
      const int moved = c.writing ? write_parameter_block(c.type, 0, c.size, block.data(), 1)
                                  : read_parameter_block(c.type, 0, c.size, block.data());
      EXPECT_EQ(moved, c.size);
    }
    std::vector<int> expected = {0};
    for (int done = 54; done < c.size; done += 54) expected.push_back(done);
    expected.push_back(c.size);
    EXPECT_EQ(done_counts(seen), expected);
    for (const ParameterProgress& p : seen.steps) {
      EXPECT_EQ(p.type, c.type);
      EXPECT_EQ(p.writing, c.writing);
      EXPECT_EQ(p.total, c.size);
    }
    EXPECT_FALSE(seen.other_thread) << "reported on the transfer's own thread";

    // After the scope the default is back: this callback hears nothing more.
    const size_t heard = seen.steps.size();
    ASSERT_EQ(read_parameter_block(c.type, 0, 54, block.data()), 54);
    EXPECT_EQ(seen.steps.size(), heard);
  }
}

TEST_F(ParameterBlocks, ProgressOfAFailedTransferStopsWhereItFailed) {
  std::vector<uint8_t> block = sim_block(kHardwareBlock);
  ProgressSeen seen;
  ParameterProgressScope scope(record_progress, &seen);
  sim.add_fault(echo_other_position('I', 108, 5));
  EXPECT_EQ(write_parameter_block(kHardwareBlock, 0, 2048, block.data(), 1), 108);
  EXPECT_EQ(done_counts(seen), (std::vector<int>{0, 54, 108}));

  seen.steps.clear();
  sim.add_fault(echo_other_position('J', 54, 10));
  EXPECT_EQ(read_parameter_block(kHardwareBlock, 0, 2048, block.data()), 54);
  EXPECT_EQ(done_counts(seen), (std::vector<int>{0, 54}));
}

TEST_F(ParameterBlocks, CommitResults) {
  EXPECT_EQ(commit_parameter_block(kHardwareBlock, 0), 0);
  // A block whose checksum does not hold is refused by the controller.
  sim.update([](sim::ControllerState& s) { s.parameters.working[1][100] ^= 0xFF; });
  EXPECT_EQ(commit_parameter_block(kHardwareBlock, 0), -1);
  sim.add_fault(sim::wrong_byte('?', 'K', 4, 7));
  sim.update([](sim::ControllerState& s) { s.parameters.seal(1); });
  EXPECT_EQ(commit_parameter_block(kHardwareBlock, 0), -1) << "an acknowledgement for another type";
}

TEST_F(ParameterBlocks, SelectParameterArea) {
  EXPECT_EQ(select_parameter_area(0, 0, 0x8001), 0);
  EXPECT_EQ(sim.state().parameters.selected_area, 0x8001);
  EXPECT_EQ(sent('H').back(), bytes({'?', 'H', 0x01, 0x80}));
  sim.add_fault(sim::wrong_byte('?', 'H', 5, 0x00));
  EXPECT_EQ(select_parameter_area(0, 0, 0x8000), -1);
}

TEST_F(ParameterBlocks, LoadsEachSlotIntoItsImages) {
  const std::vector<uint8_t> hardware = sim_block(kHardwareBlock);
  const std::vector<uint8_t> software = sim_block(kSoftwareBlock);
  struct Slot {
    int slot;
    const uint8_t* hardware_image;
    const uint8_t* software_image;
  };
  ParameterImages& images = library.images;
  for (const Slot& s : {Slot{1, images.hardware1, images.first_software},
                        Slot{3, images.hardware3, images.first_software},
                        Slot{4, images.hardware4, images.first_software},
                        Slot{5, images.current_hardware, images.current_software}}) {
    images = ParameterImages{};
    EXPECT_EQ(load_parameter_images(s.slot), 0) << s.slot;
    EXPECT_EQ(std::memcmp(s.hardware_image, hardware.data(), 2048), 0) << s.slot;
    EXPECT_EQ(std::memcmp(s.software_image, software.data(), 512), 0) << s.slot;
  }
}

TEST_F(ParameterBlocks, LoadRefusesBadSlotsAndBadBlocks) {
  EXPECT_EQ(load_parameter_images(0), -1);
  EXPECT_EQ(load_parameter_images(6), -1);
  EXPECT_EQ(sim.received_count(), 0u) << "nothing is sent for a slot outside 1 to 5";

  // Slot 2 reads 512 bytes of a block whose length field says 2046: above
  // the maximum, it passes only with a stored checksum of 0.
  EXPECT_EQ(load_parameter_images(2), -1);

  sim.update([](sim::ControllerState& s) { s.parameters.working[0][300] ^= 1; });
  EXPECT_EQ(load_parameter_images(1), -1) << "software checksum off";
  sim.update([](sim::ControllerState& s) {
    s.parameters.seal(0);
    s.parameters.working[1][2] ^= 1;
  });
  EXPECT_EQ(load_parameter_images(1), -1) << "hardware checksum off";
}

TEST_F(ParameterBlocks, CommittedBlocksSurviveARevert) {
  std::vector<uint8_t> block = sim_block(kHardwareBlock);
  block[500] = 0x5A;
  write_le16(block.data() + 2, hardware_block_checksum(block.data(), 2048));
  ASSERT_EQ(write_parameter_block(kHardwareBlock, 0, 2048, block.data(), 0), 2048);
  sim.update([](sim::ControllerState& s) { s.parameters.revert(); });
  EXPECT_NE(sim_block(kHardwareBlock)[500], 0x5A) << "uncommitted writes are lost";
  ASSERT_EQ(write_parameter_block(kHardwareBlock, 0, 2048, block.data(), 1), 2048);
  sim.update([](sim::ControllerState& s) { s.parameters.revert(); });
  EXPECT_EQ(sim_block(kHardwareBlock)[500], 0x5A);
}

}  // namespace
}  // namespace tmode
