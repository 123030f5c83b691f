#include "tuning/front_end.h"

#include <cstring>

#include "maintenance/byte_order.h"
#include "maintenance/chip_registers.h"

namespace tmode {

const uint8_t kFrequencyTemplate[kTemplateSize] = {0x33, 0xF5, 0xE3, 0xD0, 0x40, 0x00, 0x58, 0xF0,
                                                   0x80, 0x0C, 0x00, 0x00, 0x12, 0x36, 0x02, 0x00};
const uint8_t kRegister136Template[8] = {0x00, 0x00, 0x08, 0x0C, 0x00, 0x00, 0x00, 0x00};

namespace {

constexpr int kWaveformAttempts = 20;

}  // namespace

int sensing_chip_count(const Tuner& tuner) {
  const int chips = tuner.config.bytes[cfg::kSensingChips];
  return chips <= kMaxSensingChips ? chips : 0;
}

int write_phase_bits(uint8_t* t, int phase) {
  t[kPhaseByte] = static_cast<uint8_t>((t[kPhaseByte] & 0xFC) | (phase & 3));
  return write_chip_registers(kAllChips, kPhaseByte, 1, &t[kPhaseByte]) == 1 ? 1 : 0;
}

int delay_range(const uint8_t* t, int prescaler) { return (t[2] & 7) * (prescaler & 127); }

double series_sine(double x) {
  double term = x, sum = x;
  for (int k = 3; k <= 39; k += 2) {
    term *= -x * x / ((k - 1) * k);
    sum += term;
  }
  return sum;
}

int program_tx_waveform(const Tuner& tuner, int amplitude, int divider_factor, int prescaler, bool flat) {
  const int factor = (divider_factor & 7) == 0 ? 3 : divider_factor & 7;
  const int steps = (prescaler & 127) > 12 ? prescaler & 127 : 12;
  const int length = factor * steps;
  if (length > kMaxWaveformLength) return 0;
  uint8_t wave[kMaxWaveformLength] = {};
  for (int k = 0; k < length; ++k) {
    wave[k] = flat ? static_cast<uint8_t>(amplitude)
                   : static_cast<uint8_t>(static_cast<int>(amplitude * series_sine(3.1416 * k / length)));
  }
  if (write_chip_registers(kAllChips, kWaveformRegister, length, wave) != length) return 0;
  for (int chip = 0; chip < sensing_chip_count(tuner); ++chip) {
    for (int attempt = 0;; ++attempt) {
      uint8_t back[kMaxWaveformLength] = {};
      if (read_chip_registers(chip, kWaveformRegister, length, back) == length &&
          std::memcmp(back, wave, static_cast<size_t>(length)) == 0) {
        break;
      }
      if (attempt == kWaveformAttempts) return 0;
      write_chip_registers(chip, kWaveformRegister, length, wave);
    }
  }
  return 1;
}

void rs_values_for(const Tuner& tuner, int rs, uint8_t* per_chip) {
  const uint16_t reference = read_le16(&tuner.config.bytes[cfg::kRefRsIndex]);
  for (int c = 0; c < sensing_chip_count(tuner); ++c) {
    const double ratio =
        reference == 0 ? 1.0 : static_cast<double>(read_le16(&tuner.config.bytes[cfg::r_ratio(c)])) / reference;
    const double g = rs * ratio + (1 - ratio) * 16.2;
    int value = static_cast<int>(g);
    if (g - value > 0.5) ++value;
    if (value < 0) value = 0;
    if (value > 15) value = 15;
    per_chip[c] = static_cast<uint8_t>(value << 4);
  }
}

int set_up_sensing_chips(const Tuner& tuner, int gain_a, const uint8_t* rs_per_chip, int delay,
                         uint8_t register_139, uint8_t flags, uint8_t gain_d) {
  // S starts defined: a failed read leaves it 0.
  uint8_t s = 0;
  read_chip_registers(0, kPhaseByte, 1, &s);
  const uint8_t cleared = static_cast<uint8_t>(s & 0xFC);
  write_chip_registers(kAllChips, kPhaseByte, 1, &cleared);
  int done = 1;
  for (int c = 0; c < sensing_chip_count(tuner); ++c) {
    const uint8_t block[4] = {static_cast<uint8_t>((flags & 0x10) ? 0x80 : 0), 0x58,
                              static_cast<uint8_t>((gain_a & 15) | rs_per_chip[c]), tuner.cal_vref[c]};
    const uint8_t delay_byte = static_cast<uint8_t>(gain_a > 15 ? (delay | 0x80) : (delay & 0x7F));
    const uint8_t range = static_cast<uint8_t>((tuner.cal_range[c] << 4) | (gain_d & 15));
    if (write_chip_registers(c, 5, 4, block) != 4 || write_chip_registers(c, 11, 1, &delay_byte) != 1 ||
        write_chip_registers(c, 139, 1, &register_139) != 1 || write_chip_registers(c, 1, 1, &range) != 1) {
      done = 0;
      break;
    }
  }
  write_chip_registers(kAllChips, kPhaseByte, 1, &s);
  return done;
}

}  // namespace tmode
