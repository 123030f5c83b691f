#include "maintenance/chip_registers.h"

#include <cstring>

#include "link/link_session.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

constexpr int kChunkAttempts = 5;
constexpr int kHeaderSize = 5;
constexpr uint8_t kDoneBit = 0x80;

// Up to 5 exchanges of one chunk's packet; true with the accepted reply.
bool transfer_chunk(const uint8_t* packet, int length, uint8_t letter, uint8_t* reply) {
  for (int attempt = 0; attempt < kChunkAttempts; ++attempt) {
    if (exchange_command(packet, length, '?', letter, reply, 3, 0) == 0 &&
        (reply[6] & kDoneBit) != 0) {
      return true;
    }
  }
  return false;
}

bool count_valid(int count) { return count >= 0 && count <= kMaxRegisterCount; }

}  // namespace

int read_chip_registers(int chip, int first_register, int count, uint8_t* buffer) {
  if (!count_valid(count)) return -1;
  int done = 0;
  while (done < count) {
    const int n = count - done < kRegisterChunk ? count - done : kRegisterChunk;
    const uint8_t packet[kHeaderSize] = {'?', 'B', static_cast<uint8_t>(chip),
                                         static_cast<uint8_t>(first_register + done),
                                         static_cast<uint8_t>(n)};
    uint8_t reply[kReportSize];
    if (!transfer_chunk(packet, kHeaderSize, 'B', reply)) return -1;
    // The reply's own count is trusted only as far as the chunk asked.
    int delivered = reply[6] & 0x7F;
    if (delivered > n) delivered = n;
    std::memcpy(buffer + done, reply + 7, static_cast<size_t>(delivered));
    done += n;
  }
  return done;
}

int write_chip_registers(int chip, int first_register, int count, const uint8_t* data) {
  if (!count_valid(count)) return -1;
  int done = 0;
  while (done < count) {
    const int n = count - done < kRegisterChunk ? count - done : kRegisterChunk;
    uint8_t packet[kHeaderSize + kRegisterChunk] = {'?', 'C', static_cast<uint8_t>(chip),
                                                    static_cast<uint8_t>(first_register + done),
                                                    static_cast<uint8_t>(n)};
    std::memcpy(packet + kHeaderSize, data + done, static_cast<size_t>(n));
    uint8_t reply[kReportSize];
    if (!transfer_chunk(packet, kHeaderSize + n, 'C', reply)) return -1;
    done += n;
  }
  return done;
}

}  // namespace tmode
