#include "link/report_handlers.h"

#include <cstring>
#include <mutex>

#include "link/link_session.h"

namespace tmode {

namespace {

bool is_event_class(uint8_t class_byte) {
  switch (class_byte) {
    case ';': case 'N': case 'Y': case 'L': case 'M': case 'O':
      return true;
    default:
      return false;
  }
}

// First in-use entry for this class and sub byte; handler_mutex held.
const ReportHandler* find_handler(const LinkSession& link, uint8_t class_byte, uint8_t sub_byte) {
  for (const ReportHandler& entry : link.handlers) {
    if (entry.use_count == 0 || entry.class_key != class_byte) continue;
    if (entry.sub_key == 0xFFFF || entry.sub_key == sub_byte) return &entry;
  }
  return nullptr;
}

}  // namespace

int register_report_handler(int class_key, int sub_key, ReportCallback callback) {
  LinkSession& link = link_session();
  // A reader that stopped on a dead descriptor will call nobody.
  if (!link.reader_running || link.link_dead.load(std::memory_order_acquire)) return -1;
  std::lock_guard lock(link.handler_mutex);
  for (ReportHandler& entry : link.handlers) {
    if (entry.use_count != 0) continue;
    ++entry.use_count;
    entry.class_key = static_cast<uint16_t>(class_key);
    entry.sub_key = static_cast<uint16_t>(sub_key);
    entry.callback = callback;
    return 0;
  }
  return -2;
}

int unregister_report_handler(int class_key, int sub_key) {
  LinkSession& link = link_session();
  std::lock_guard lock(link.handler_mutex);
  for (ReportHandler& entry : link.handlers) {
    if (static_cast<int16_t>(entry.class_key) == static_cast<int16_t>(class_key) &&
        static_cast<int16_t>(entry.sub_key) == static_cast<int16_t>(sub_key)) {
      entry = ReportHandler{};
      return 0;
    }
  }
  return -1;
}

void clear_report_handlers() {
  LinkSession& link = link_session();
  std::lock_guard lock(link.handler_mutex);
  std::memset(link.handlers, 0, sizeof link.handlers);
}

int add_report_filter(int, int, int class_key, int sub_key) {
  return register_report_handler(class_key, sub_key, nullptr);
}

int remove_report_filter(int, int, int class_key, int sub_key) {
  return unregister_report_handler(class_key, sub_key);
}

int classify_report(uint8_t length_byte, uint8_t class_byte, uint8_t sub_byte, int size,
                    const uint8_t* report) {
  if (size == 6 && (report[1] == 0x82 || report[1] == 0x83)) return kReportDropped;
  if (is_event_class(class_byte)) return kReportHandled;
  if (class_byte == '6' && sub_byte >= 0x50 && sub_byte <= 0x53) return kReportHandled;

  LinkSession& link = link_session();
  // Held across the callback, so that unregistering waits for a running one.
  std::lock_guard lock(link.handler_mutex);
  const ReportHandler* entry = find_handler(link, class_byte, sub_byte);
  if (entry == nullptr) return kReportReply;
  if (class_byte == '6' && sub_byte == 0x13) return length_byte > 10 ? kReportDropped : kReportReply;
  const ReportCallback callback = entry->callback;
  if (callback == nullptr) return kReportDropped;
  callback(0, size, report);
  return kReportHandled;
}

}  // namespace tmode
