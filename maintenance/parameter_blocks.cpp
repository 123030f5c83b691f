#include "maintenance/parameter_blocks.h"

#include <cstring>

#include "link/link_session.h"
#include "maintenance/parameter_progress.h"
#include "protocol/exchange.h"

namespace tmode {

namespace {

constexpr uint8_t kClass = '?';
constexpr int kReadAttempts = 10;
constexpr int kWriteAttempts = 5;

uint8_t low(int value) { return static_cast<uint8_t>(value & 0xFF); }
uint8_t high(int value) { return static_cast<uint8_t>((value >> 8) & 0xFF); }

// The chunk was taken when the exchange succeeded and the reply echoes the
// chunk's position in bytes 5 and 6.
bool chunk_answered(const uint8_t* packet, int length, uint8_t letter, int position,
                    uint8_t* reply) {
  return exchange_command(packet, length, kClass, letter, reply, 3, 0) == 0 &&
         reply[5] == low(position) && reply[6] == high(position);
}

}  // namespace

int read_parameter_block(int type, int offset, int count, uint8_t* destination) {
  int done = 0;
  int position = offset;
  if (count > 0) report_parameter_progress({type, false, 0, count});
  while (done < count) {
    const int chunk = count - done < kParameterChunk ? count - done : kParameterChunk;
    const uint8_t packet[6] = {kClass, 'J', low(type), low(position), high(position),
                               static_cast<uint8_t>(chunk)};
    uint8_t reply[kReportSize];
    bool taken = false;
    for (int attempt = 0; attempt < kReadAttempts && !taken; ++attempt) {
      taken = chunk_answered(packet, sizeof packet, 'J', position, reply);
    }
    if (!taken) break;
    std::memcpy(destination + done, reply + 7, static_cast<size_t>(chunk));
    done += chunk;
    position += chunk;
    report_parameter_progress({type, false, done, count});
  }
  return done;
}

int write_parameter_block(int type, int offset, int count, const uint8_t* source, int commit) {
  int done = 0;
  int position = offset;
  if (count > 0) report_parameter_progress({type, true, 0, count});
  while (done < count) {
    const int chunk = count - done < kParameterChunk ? count - done : kParameterChunk;
    uint8_t packet[6 + kParameterChunk] = {kClass, 'I', low(type), low(position), high(position),
                                           static_cast<uint8_t>(chunk)};
    std::memcpy(packet + 6, source + done, static_cast<size_t>(chunk));
    uint8_t reply[kReportSize];
    bool taken = false;
    for (int attempt = 0; attempt < kWriteAttempts && !taken; ++attempt) {
      taken = chunk_answered(packet, chunk + 6, 'I', position, reply);
    }
    if (!taken) return done;  // nothing is committed after a lost chunk
    done += chunk;
    position += chunk;
    report_parameter_progress({type, true, done, count});
  }
  if (commit != 0) commit_parameter_block(type, 0);
  return done;
}

int commit_parameter_block(int type, int argument) {
  const uint8_t packet[4] = {kClass, 'K', low(type), low(argument)};
  uint8_t reply[kReportSize];
  const int result = exchange_command(packet, sizeof packet, kClass, 'K', reply, 6, 0);
  if (result != 0) return result;
  return reply[4] == low(type) && reply[6] != 0 ? 0 : -1;
}

int select_parameter_area(int, int, uint16_t value) {
  const uint8_t packet[4] = {kClass, 'H', low(value), high(value)};
  uint8_t reply[kReportSize];
  if (exchange_command(packet, sizeof packet, kClass, 'H', reply, 3, 0) != 0) return -1;
  return reply[4] == low(value) && reply[5] == high(value) ? 0 : -1;
}

}  // namespace tmode
