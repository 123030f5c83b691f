// 'D', 'E', 'F': the identifying texts; '?','e': the touch mode.
#include "sim/command_table.h"

namespace tmode::sim {

namespace {

void reply_text(CommandContext& context, uint8_t command, const std::string& text) {
  Bytes payload{command};
  // One report holds at most 61 text bytes after the command byte.
  const size_t length = text.size() < 61 ? text.size() : 61;
  payload.insert(payload.end(), text.begin(), text.begin() + static_cast<long>(length));
  context.reply(payload);
}

void firmware_version(CommandContext& c, std::span<const uint8_t>) {
  reply_text(c, 'D', c.state.firmware_version);
}
void model_name(CommandContext& c, std::span<const uint8_t>) {
  reply_text(c, 'E', c.state.model_name);
}
void type_name(CommandContext& c, std::span<const uint8_t>) {
  reply_text(c, 'F', c.state.type_name);
}

// '?','e',0: read; '?','e',2,1: prepare a switch; '?','e',1,m: switch.
void touch_mode(CommandContext& c, std::span<const uint8_t> packet) {
  ControllerState& s = c.state;
  const uint8_t op = packet.size() > 2 ? packet[2] : 0;
  switch (op) {
    case 0:
      c.reply({'?', 'e', 0, s.touch_mode});
      break;
    case 2:
      ++s.switch_prepares;
      s.switch_prepared = true;
      c.reply({'?', 'e', 2, 1});
      break;
    case 1: {
      const uint8_t wanted = packet.size() > 3 ? packet[3] : 0;
      const bool allowed = wanted < s.mode_count && (s.switch_prepared || !s.require_prepare);
      if (allowed) s.touch_mode = wanted;
      s.switch_prepared = false;
      // A refused switch answers with the mode still in force.
      c.reply({'?', 'e', 1, s.touch_mode});
      break;
    }
    default:
      c.reply({'?', 'e', 0xFF, 0});
      break;
  }
}

}  // namespace

void add_info_commands(CommandTable& table) {
  table.add({'D', kAnySubByte, firmware_version});
  table.add({'E', kAnySubByte, model_name});
  table.add({'F', kAnySubByte, type_name});
  table.add({'?', 'e', touch_mode});
}

}  // namespace tmode::sim
