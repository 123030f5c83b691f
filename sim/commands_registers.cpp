// The register and test commands: '?','B' / 'C' / 'D' on the sensing chips'
// register files, and the small '?' status and switch commands.
#include "sim/command_table.h"
#include "sim/sensor_front_end.h"
#include "sim/sensor_test_modes.h"

namespace tmode::sim {

namespace {

using Packet = std::span<const uint8_t>;
constexpr uint8_t kDone = 0x80;
constexpr size_t kMaxChunk = 54;

bool chip_exists(uint8_t chip) { return chip < kSimChips; }

// A dead chip answers its register commands without the done bit.
bool chip_dead(const ControllerState& s, int chip) { return chip == s.panel.defects.dead_chip; }

// '?','B', chip, register, n: answers chip, register, 0x80 | n and the n
// bytes (the register number wrapping at 256). Chip 255 reads chip 0. An
// unknown chip or a count above 54 is answered without the done bit.
void read_registers(CommandContext& c, Packet p) {
  const uint8_t chip = packet_byte(p, 2), first = packet_byte(p, 3), n = packet_byte(p, 4);
  const uint8_t source = chip == kAllChips ? 0 : chip;
  if (!chip_exists(source) || chip_dead(c.state, source) || n > kMaxChunk) {
    c.reply({'?', 'B', chip, first, 0});
    return;
  }
  Bytes payload{'?', 'B', chip, first, static_cast<uint8_t>(kDone | n)};
  const RegisterState& r = c.state.registers;
  for (uint8_t k = 0; k < n; ++k) {
    const auto at = static_cast<uint8_t>(first + k);
    payload.push_back(r.scan_written[source][at] ? r.scanned[source][at] : r.chips[source][at]);
  }
  // A corrupted read-back of the waveform's first byte.
  int& corrupt = c.state.panel.defects.corrupt_waveform_reads;
  const int wave_at = kWaveformRegister - first;
  if (corrupt > 0 && wave_at >= 0 && wave_at < n) {
    payload[5 + static_cast<size_t>(wave_at)] ^= 0x01;
    --corrupt;
  }
  c.reply(payload);
}

// '?','C', chip, register, n, data: chip 255 writes every chip.
void write_registers(CommandContext& c, Packet p) {
  const uint8_t chip = packet_byte(p, 2), first = packet_byte(p, 3), n = packet_byte(p, 4);
  const bool all = chip == kAllChips;
  if ((!all && (!chip_exists(chip) || chip_dead(c.state, chip))) || n > kMaxChunk || p.size() < 5u + n) {
    c.reply({'?', 'C', chip, first, 0});
    return;
  }
  for (int target = 0; target < kSimChips; ++target) {
    if ((!all && target != chip) || chip_dead(c.state, target)) continue;
    for (uint8_t k = 0; k < n; ++k) {
      const auto at = static_cast<uint8_t>(first + k);
      c.state.registers.chips[target][at] = p[5 + k];
      c.state.registers.scan_written[target][at] = false;
    }
  }
  c.reply({'?', 'C', chip, first, static_cast<uint8_t>(kDone | n)});
}

void start_scan(CommandContext& c, Packet p) {
  RegisterState& r = c.state.registers;
  ++r.scans;
  r.scan_a = packet_byte(p, 2);
  r.scan_b = packet_byte(p, 3);
  run_scan(c.state, r.scan_a, r.scan_b);
  c.reply({'?', 'D', r.scan_a, r.scan_b, 1});
}

void value_4f(CommandContext& c, Packet p) {
  c.reply({'?', 'O', c.state.registers.values_4f[packet_byte(p, 2)]});
}
void value_50(CommandContext& c, Packet) { c.reply({'?', 'P', c.state.registers.value_50}); }
void value_52(CommandContext& c, Packet p) {
  c.reply({'?', 'R', c.state.registers.values_52[packet_byte(p, 2)]});
}

void select_5b(CommandContext& c, Packet p) {
  c.state.registers.select_5b = packet_byte(p, 2);
  c.reply({'?', '[', c.state.registers.select_5b});
}

void freq_index(CommandContext& c, Packet) { c.reply({'?', 'T', c.state.registers.freq_index}); }

void status_code(CommandContext& c, Packet) {
  const RegisterState& r = c.state.registers;
  if (!r.status_long) {
    c.reply({'?', 'N', r.status_bytes[0], r.status_bytes[1]});
    return;
  }
  c.reply({'?', 'N', r.status_bytes[0], r.status_bytes[1], static_cast<uint8_t>(r.status_code & 0xFF),
           static_cast<uint8_t>(r.status_code >> 8)});
}

void pair_6a(CommandContext& c, Packet p) {
  c.state.registers.pair_6a[0] = packet_byte(p, 2);
  c.state.registers.pair_6a[1] = packet_byte(p, 3);
  c.reply({'?', 'j', packet_byte(p, 2), packet_byte(p, 3)});
}

void touch_info(CommandContext& c, Packet p) {
  c.state.registers.touch_info = packet_byte(p, 2);
  c.reply({'?', 'i', c.state.registers.touch_info});
}

void count_6e(CommandContext& c, Packet) {
  ++c.state.registers.count_6e;
  c.reply({'?', 'n'});
}

void block_6b(CommandContext& c, Packet p) {
  Bytes payload{'?', 'k', packet_byte(p, 2)};
  const auto& block = c.state.registers.block_6b;
  const size_t n = block.size() < 59 ? block.size() : 59;
  payload.insert(payload.end(), block.begin(), block.begin() + static_cast<long>(n));
  c.reply(payload);
}

// The test mode is switched without an answer. Modes 0, 2 and 8 send their
// reports (sim/sensor_test_modes.h). Mode 1 runs the short test:
// one report per sensing line (kind 1) and per driving line (kind 0x81),
// [kind, line, value low, value high], then the end report [0x81].
void test_mode(CommandContext& c, Packet p) {
  c.state.registers.test_mode = packet_byte(p, 2);
  if (c.state.registers.test_mode != 1) {
    send_test_mode_reports(c, c.state.registers.test_mode);
    return;
  }
  const SensorPanel& panel = c.state.panel;
  auto report = [&](uint8_t kind, int line, int8_t value) {
    const auto v = static_cast<uint16_t>(static_cast<int16_t>(value));
    c.reply({'?', 'S', kind, static_cast<uint8_t>(line), static_cast<uint8_t>(v & 0xFF),
             static_cast<uint8_t>(v >> 8)});
  };
  for (int r = 0; r < panel.rx_lines; ++r) report(0x01, r, short_test_value(panel, false, r));
  for (int t = 0; t < panel.tx_lines; ++t) report(0x81, t, short_test_value(panel, true, t));
  if (!panel.defects.missing_end_report) c.reply({'?', 'S', 0x81});
}

}  // namespace

void add_register_commands(CommandTable& table) {
  table.add({'?', 'B', read_registers});
  table.add({'?', 'C', write_registers});
  table.add({'?', 'D', start_scan});
  table.add({'?', 'O', value_4f});
  table.add({'?', 'P', value_50});
  table.add({'?', 'R', value_52});
  table.add({'?', '[', select_5b});
  table.add({'?', 'T', freq_index});
  table.add({'?', 'N', status_code});
  table.add({'?', 'j', pair_6a});
  table.add({'?', 'i', touch_info});
  table.add({'?', 'n', count_6e});
  table.add({'?', 'k', block_6b});
  table.add({'?', 'S', test_mode});
}

}  // namespace tmode::sim
