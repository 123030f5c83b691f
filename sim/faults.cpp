#include "sim/faults.h"

#include <algorithm>

namespace tmode::sim {

Fault no_reply(int class_byte, int sub_byte, int times) {
  Fault fault;
  fault.class_byte = class_byte;
  fault.sub_byte = sub_byte;
  fault.times = times;
  fault.drop = true;
  return fault;
}

Fault late_reply(int class_byte, int sub_byte, int delay_ms, int times) {
  Fault fault;
  fault.class_byte = class_byte;
  fault.sub_byte = sub_byte;
  fault.times = times;
  fault.delay_ms = delay_ms;
  return fault;
}

Fault report_after_reply(int class_byte, int sub_byte, Bytes report, int times) {
  Fault fault;
  fault.class_byte = class_byte;
  fault.sub_byte = sub_byte;
  fault.times = times;
  fault.same_write_after = std::move(report);
  return fault;
}

Fault wrong_byte(int class_byte, int sub_byte, int index, uint8_t value, int times) {
  Fault fault;
  fault.class_byte = class_byte;
  fault.sub_byte = sub_byte;
  fault.times = times;
  fault.rewrite = [index, value](Bytes& reply) {
    if (index >= 0 && static_cast<size_t>(index) < reply.size()) reply[static_cast<size_t>(index)] = value;
  };
  return fault;
}

namespace {

std::function<bool(const Bytes&)> begins_with(Bytes prefix) {
  return [prefix = std::move(prefix)](const Bytes& packet) {
    return packet.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), packet.begin());
  };
}

}  // namespace

Fault no_reply_to(Bytes packet_prefix, int times) {
  Fault fault = no_reply(-1, -1, times);
  fault.when = begins_with(std::move(packet_prefix));
  return fault;
}

Fault wrong_byte_to(Bytes packet_prefix, int index, uint8_t value, int times) {
  Fault fault = wrong_byte(-1, -1, index, value, times);
  fault.when = begins_with(std::move(packet_prefix));
  return fault;
}

Fault garbled_byte(Bytes packet_prefix, int index, int times) {
  Fault fault;
  fault.times = times;
  fault.when = begins_with(std::move(packet_prefix));
  fault.rewrite = [index](Bytes& reply) {
    if (index >= 0 && static_cast<size_t>(index) < reply.size()) reply[static_cast<size_t>(index)] ^= 0xFF;
  };
  return fault;
}

}  // namespace tmode::sim
