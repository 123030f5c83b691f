// A report handler registered for the lifetime of a scope: removed on every
// path out of the operation that registered it, and only once no callback
// of it is running.
#pragma once

#include "link/report_handlers.h"

namespace tmode {

class HandlerRegistration {
 public:
  HandlerRegistration(int class_key, int sub_key, ReportCallback callback)
      : class_key_(class_key), sub_key_(sub_key),
        registered_(register_report_handler(class_key, sub_key, callback) == 0) {}
  ~HandlerRegistration() { remove(); }
  HandlerRegistration(const HandlerRegistration&) = delete;
  HandlerRegistration& operator=(const HandlerRegistration&) = delete;

  bool registered() const { return registered_; }
  void remove() {
    if (registered_) unregister_report_handler(class_key_, sub_key_);
    registered_ = false;
  }

 private:
  int class_key_;
  int sub_key_;
  bool registered_;
};

}  // namespace tmode
