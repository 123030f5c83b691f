// The simulated controller: answers the library's framed commands over a
// pty (as a serial or I2C node would) or a Unix stream socket (as the
// controller daemon would), keeps the firmware's state, records the traffic
// and injects faults. It serves from a thread of its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/command_table.h"
#include "sim/controller_state.h"
#include "sim/faults.h"
#include "sim/replay_script.h"

namespace tmode::sim {

struct TrafficEntry {
  double at_ms;        // since the simulator started
  bool from_library;   // a command received, or a write of the simulator
  Bytes bytes;         // a command as framed; a write as written
};

class Simulator {
 public:
  Simulator();
  explicit Simulator(ControllerState initial);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Creates a raw-mode pty and serves its master; pty_path() names the node
  // the library opens.
  bool start_pty();
  // Keeps a symbolic link at path to the pty in service, so that the node
  // keeps its name when it comes back after a restart (unlinked while gone
  // and when the simulator stops).
  void set_node_link(const std::string& path);
  // Listens on a Unix stream socket at path, one client at a time.
  bool start_socket(const std::string& path);
  void stop();
  std::string pty_path() const;

  ControllerState state() const;
  void update(const std::function<void(ControllerState&)>& change);

  void add_fault(Fault fault);
  void clear_faults();
  // Each report goes out as one 64-byte write padded with zeros (as a HID
  // node delivers it); unpadded, reports go out at their own size.
  void set_padding(bool padded);
  // A report the controller sends on its own.
  void send_report(Bytes report, int delay_ms = 0);
  // Sends `report` `per_second` times a second for duration_ms, as a
  // controller flooding the link with reports nobody asked for.
  void flood(const Bytes& report, int per_second, int duration_ms);
  // Stops reading what the library writes for ms milliseconds, so that the
  // library's writes meet a full queue (EAGAIN, partial writes).
  void pause_reading(int ms);
  // Writes the simulator could not get out yet, and writes it gave up on
  // because the library left too much unread.
  size_t unsent_bytes() const;
  size_t dropped_writes() const;
  // Hangs up: the node or the socket disappears under the library.
  void vanish();
  // A restart: the node goes away now and a new pty comes back after
  // gone_ms (under the node link, when there is one). 'g' does the same
  // when the state's family.node_gone_ms is 0 or more.
  void restart_node(int gone_ms);

  std::vector<TrafficEntry> traffic() const;
  std::vector<Bytes> received_commands() const;
  size_t received_count() const;
  // Every byte the library wrote, zero padding behind reports included.
  size_t received_bytes() const;
  void clear_traffic();
  // Waits until at least n commands were received; false on timeout.
  bool wait_for_commands(size_t n, int timeout_ms) const;

  // Hex lines of every command and write, for tmode-sim --trace.
  void set_trace(FILE* stream);

  // Writes every command and report to stream in the library's report
  // trace format, so that tmode-sim --replay can play the session back.
  void set_record(FILE* stream);

  // Answers from a recorded session instead of the controller's state:
  // every command gets what the recording's controller sent after it.
  void set_replay(ReplayScript script);
  // Commands that did not match the recording, and the first of them.
  size_t replay_mismatches() const;
  std::string replay_first_mismatch() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Outgoing {
    enum Kind { kWrite, kHangUp, kComeBack };
    Clock::time_point due;
    Bytes bytes;  // exactly one write
    Kind kind = kWrite;
  };

  bool start_thread();
  bool open_pty();
  void update_node_link();
  void schedule_restart(Clock::time_point at, int gone_ms);
  void hang_up();
  void come_back();
  void serve();
  void handle_input(const uint8_t* bytes, size_t count);
  void handle_command(const Bytes& report);
  void schedule(Clock::time_point due, Bytes bytes, Outgoing::Kind kind = Outgoing::kWrite);
  void flush_due();
  // Schedules the next frame of the selected stream when it is due.
  void pump_stream();
  // Keeps the next '?','h' report scheduled while touch information is on.
  void pump_touch_info();
  int next_timeout_ms() const;
  void write_out(const Bytes& bytes);
  void flush_unsent();
  int transport_fd() const;
  void wake();
  void close_transport();
  double elapsed_ms() const;
  void trace(const char* what, const Bytes& bytes) const;
  void record(bool from_library, const Bytes& bytes) const;

  const CommandTable& table_;
  mutable std::mutex mutex_;
  mutable std::condition_variable received_cv_;
  ControllerState state_;
  std::vector<Fault> faults_;
  std::vector<Outgoing> outgoing_;  // in due order
  std::vector<TrafficEntry> traffic_;
  size_t received_ = 0;
  size_t received_bytes_ = 0;
  Bytes input_;  // bytes of a command not complete yet
  Bytes unsent_;  // written bytes the transport has not taken yet, in order
  size_t dropped_writes_ = 0;
  Clock::time_point reading_paused_until_{};
  bool padded_ = true;
  bool vanish_ = false;
  bool stopping_ = false;
  FILE* trace_ = nullptr;
  FILE* record_ = nullptr;
  bool replaying_ = false;
  ReplayScript replay_;

  Clock::time_point started_ = Clock::now();
  Clock::time_point stream_due_{};
  Clock::time_point touch_info_due_{};  // the '?','h' report scheduled last
  std::string pty_path_;
  std::string node_link_;
  std::string socket_path_;
  int master_fd_ = -1;
  int held_slave_fd_ = -1;  // keeps the pty alive while the library has it closed
  int listen_fd_ = -1;
  int client_fd_ = -1;
  int wake_fd_ = -1;
  std::thread thread_;
};

}  // namespace tmode::sim
