#include "sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sim/sensor_frames.h"

namespace tmode::sim {

namespace {

constexpr size_t kReportSize = 64;
constexpr uint8_t kReportId = 0x03;
constexpr uint8_t kReportId5 = 0x05;
// What the simulator keeps for a library that does not read; beyond it
// writes are dropped, as a device's full queue would.
constexpr size_t kMaxUnsent = 256 * 1024;

Bytes padded(Bytes bytes) {
  if (bytes.size() < kReportSize) bytes.resize(kReportSize, 0);
  return bytes;
}

bool fault_matches(const Fault& fault, const Bytes& packet) {
  if (fault.times == 0) return false;
  if (fault.class_byte >= 0 && (packet.empty() || packet[0] != fault.class_byte)) return false;
  if (fault.sub_byte >= 0 && (packet.size() < 2 || packet[1] != fault.sub_byte)) return false;
  return !fault.when || fault.when(packet);
}

}  // namespace

Simulator::Simulator() : Simulator(ControllerState{}) {}

Simulator::Simulator(ControllerState initial)
    : table_(full_command_table()), state_(std::move(initial)) {}

Simulator::~Simulator() { stop(); }

bool Simulator::start_pty() {
  if (!open_pty()) return false;
  return start_thread();
}

bool Simulator::open_pty() {
  master_fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_fd_ < 0) return false;
  char name[128];
  if (::grantpt(master_fd_) != 0 || ::unlockpt(master_fd_) != 0 ||
      ::ptsname_r(master_fd_, name, sizeof name) != 0) {
    close_transport();
    return false;
  }
  pty_path_ = name;
  // Raw mode before the library opens the node: a cooked pty would echo each
  // command back, and the echo would pass for the reply.
  held_slave_fd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (held_slave_fd_ < 0 || ::tcgetattr(held_slave_fd_, &settings) != 0) {
    close_transport();
    return false;
  }
  ::cfmakeraw(&settings);
  if (::tcsetattr(held_slave_fd_, TCSANOW, &settings) != 0) {
    close_transport();
    return false;
  }
  ::fcntl(master_fd_, F_SETFL, ::fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
  update_node_link();
  return true;
}

void Simulator::update_node_link() {
  if (node_link_.empty()) return;
  ::unlink(node_link_.c_str());
  if (master_fd_ >= 0) (void)!::symlink(pty_path_.c_str(), node_link_.c_str());
}

void Simulator::set_node_link(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (!node_link_.empty()) ::unlink(node_link_.c_str());
  node_link_ = path;
  update_node_link();
}

std::string Simulator::pty_path() const {
  std::lock_guard lock(mutex_);
  return pty_path_;
}

void Simulator::restart_node(int gone_ms) {
  {
    std::lock_guard lock(mutex_);
    schedule_restart(Clock::now(), gone_ms);
  }
  wake();
}

void Simulator::schedule_restart(Clock::time_point at, int gone_ms) {
  schedule(at, Bytes{}, Outgoing::kHangUp);
  schedule(at + std::chrono::milliseconds(gone_ms), Bytes{}, Outgoing::kComeBack);
}

// The node goes away: the library's descriptor hangs up, and the path (the
// node link) no longer opens. A socket drops its client.
void Simulator::hang_up() {
  input_.clear();
  unsent_.clear();
  if (master_fd_ >= 0) {
    for (int* fd : {&master_fd_, &held_slave_fd_}) {
      ::close(*fd);
      *fd = -1;
    }
    update_node_link();
  } else if (client_fd_ >= 0) {
    ::close(client_fd_);
    client_fd_ = -1;
  }
}

// The controller is back from its restart with its committed blocks.
void Simulator::come_back() {
  state_.parameters.revert();
  if (socket_path_.empty() && master_fd_ < 0) open_pty();
}

bool Simulator::start_socket(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) return false;
  ::unlink(path.c_str());
  if (::bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_fd_, 4) != 0) {
    close_transport();
    return false;
  }
  socket_path_ = path;
  return start_thread();
}

bool Simulator::start_thread() {
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) {
    close_transport();
    return false;
  }
  started_ = Clock::now();
  thread_ = std::thread([this] { serve(); });
  return true;
}

void Simulator::stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake();
    thread_.join();
  }
  std::lock_guard lock(mutex_);
  close_transport();
  if (!node_link_.empty()) ::unlink(node_link_.c_str());
  node_link_.clear();
  if (wake_fd_ >= 0) ::close(wake_fd_);
  wake_fd_ = -1;
}

void Simulator::close_transport() {
  for (int* fd : {&master_fd_, &held_slave_fd_, &client_fd_, &listen_fd_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  if (!socket_path_.empty()) ::unlink(socket_path_.c_str());
  socket_path_.clear();
}

void Simulator::wake() {
  if (wake_fd_ < 0) return;
  const uint64_t one = 1;
  (void)!::write(wake_fd_, &one, sizeof one);
}

ControllerState Simulator::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void Simulator::update(const std::function<void(ControllerState&)>& change) {
  std::lock_guard lock(mutex_);
  change(state_);
}

void Simulator::add_fault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back(std::move(fault));
}

void Simulator::clear_faults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

void Simulator::set_padding(bool padded) {
  std::lock_guard lock(mutex_);
  padded_ = padded;
}

void Simulator::send_report(Bytes report, int delay_ms) {
  {
    std::lock_guard lock(mutex_);
    schedule(Clock::now() + std::chrono::milliseconds(delay_ms),
             padded_ ? padded(std::move(report)) : std::move(report));
  }
  wake();
}

void Simulator::flood(const Bytes& report, int per_second, int duration_ms) {
  if (per_second <= 0 || duration_ms <= 0) return;
  {
    std::lock_guard lock(mutex_);
    const auto start = Clock::now();
    const auto step = std::chrono::nanoseconds(1'000'000'000LL / per_second);
    const auto end = start + std::chrono::milliseconds(duration_ms);
    const Bytes framed = padded_ ? padded(report) : report;
    std::vector<Outgoing> burst;
    for (auto at = start; at < end; at += step) burst.push_back(Outgoing{at, framed, Outgoing::kWrite});
    // Merged in one pass rather than one sorted insert each.
    std::vector<Outgoing> merged;
    merged.reserve(outgoing_.size() + burst.size());
    std::merge(std::make_move_iterator(outgoing_.begin()), std::make_move_iterator(outgoing_.end()),
               std::make_move_iterator(burst.begin()), std::make_move_iterator(burst.end()),
               std::back_inserter(merged), [](const Outgoing& a, const Outgoing& b) { return a.due < b.due; });
    outgoing_ = std::move(merged);
  }
  wake();
}

void Simulator::pause_reading(int ms) {
  {
    std::lock_guard lock(mutex_);
    reading_paused_until_ = Clock::now() + std::chrono::milliseconds(ms);
  }
  wake();
}

size_t Simulator::unsent_bytes() const {
  std::lock_guard lock(mutex_);
  return unsent_.size();
}

size_t Simulator::dropped_writes() const {
  std::lock_guard lock(mutex_);
  return dropped_writes_;
}

void Simulator::vanish() {
  {
    std::lock_guard lock(mutex_);
    vanish_ = true;
  }
  wake();
}

std::vector<TrafficEntry> Simulator::traffic() const {
  std::lock_guard lock(mutex_);
  return traffic_;
}

std::vector<Bytes> Simulator::received_commands() const {
  std::lock_guard lock(mutex_);
  std::vector<Bytes> commands;
  for (const TrafficEntry& entry : traffic_) {
    if (entry.from_library) commands.push_back(entry.bytes);
  }
  return commands;
}

size_t Simulator::received_count() const {
  std::lock_guard lock(mutex_);
  return received_;
}

size_t Simulator::received_bytes() const {
  std::lock_guard lock(mutex_);
  return received_bytes_;
}

void Simulator::clear_traffic() {
  std::lock_guard lock(mutex_);
  traffic_.clear();
  received_ = 0;
  received_bytes_ = 0;
}

bool Simulator::wait_for_commands(size_t n, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return received_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                               [&] { return received_ >= n; });
}

void Simulator::set_trace(FILE* stream) {
  std::lock_guard lock(mutex_);
  trace_ = stream;
}

double Simulator::elapsed_ms() const {
  return std::chrono::duration<double, std::milli>(Clock::now() - started_).count();
}

void Simulator::set_record(FILE* stream) {
  std::lock_guard lock(mutex_);
  record_ = stream;
  if (record_ != nullptr) std::fputs("# tmode report trace 1: seconds, > written or < read, bytes\n", record_);
}

void Simulator::record(bool from_library, const Bytes& bytes) const {
  size_t framed = bytes.size();
  if (bytes.size() >= 2 && bytes[0] == kReportId) framed = std::min(bytes.size(), bytes[1] + size_t{2});
  std::fprintf(record_, "%.6f %c", elapsed_ms() / 1000.0, from_library ? '>' : '<');
  for (size_t i = 0; i < framed; ++i) std::fprintf(record_, " %02x", bytes[i]);
  std::fputc('\n', record_);
}

void Simulator::trace(const char* what, const Bytes& bytes) const {
  if (record_ != nullptr) record(what[0] == '-', bytes);
  if (trace_ == nullptr) return;
  std::fprintf(trace_, "%10.3f %s", elapsed_ms(), what);
  // Zero padding behind a framed report is counted, not shown.
  size_t shown = bytes.size();
  if (bytes.size() >= 2 && bytes[0] == kReportId) {
    const size_t framed = std::min(bytes.size(), bytes[1] + size_t{2});
    if (std::all_of(bytes.begin() + static_cast<long>(framed), bytes.end(),
                    [](uint8_t b) { return b == 0; })) {
      shown = framed;
    }
  }
  for (size_t i = 0; i < shown; ++i) std::fprintf(trace_, " %02X", bytes[i]);
  if (shown < bytes.size()) std::fprintf(trace_, " (+%zu zero)", bytes.size() - shown);
  std::fputc('\n', trace_);
  std::fflush(trace_);
}

void Simulator::schedule(Clock::time_point due, Bytes bytes, Outgoing::Kind kind) {
  auto at = std::upper_bound(outgoing_.begin(), outgoing_.end(), due,
                             [](Clock::time_point t, const Outgoing& o) { return t < o.due; });
  outgoing_.insert(at, Outgoing{due, std::move(bytes), kind});
}

int Simulator::next_timeout_ms() const {
  std::lock_guard lock(mutex_);
  const auto now = Clock::now();
  Clock::time_point next = Clock::time_point::max();
  if (!outgoing_.empty()) next = outgoing_.front().due;
  if (reading_paused_until_ > now) next = std::min(next, reading_paused_until_);
  if (state_.stream.active) next = std::min(next, stream_due_);
  if (next == Clock::time_point::max()) return -1;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
  return wait.count() < 0 ? 0 : static_cast<int>(wait.count());
}

void Simulator::pump_stream() {
  StreamState& stream = state_.stream;
  if (!stream.active) return;
  const auto now = Clock::now();
  if (stream.frames > 0 && now < stream_due_) return;
  if (stream.frame_limit >= 0 && stream.frames >= stream.frame_limit) {
    stream.active = false;
    return;
  }
  Frame frame;
  if (!produce_frame(state_, stream.word, frame)) {
    stream.active = false;
    return;
  }
  const std::vector<Bytes> reports = frame_reports(frame);
  for (size_t i = 0; i < reports.size(); ++i) {
    if (static_cast<int>(i) == state_.panel.defects.lost_report) continue;
    schedule(now, padded_ ? padded(reports[i]) : reports[i]);
  }
  ++stream.frames;
  stream_due_ = now + std::chrono::milliseconds(stream.interval_ms);
}

void Simulator::flush_due() {
  const auto now = Clock::now();
  while (!outgoing_.empty() && outgoing_.front().due <= now) {
    const Outgoing next = std::move(outgoing_.front());
    outgoing_.erase(outgoing_.begin());
    switch (next.kind) {
      case Outgoing::kWrite: write_out(next.bytes); break;
      case Outgoing::kHangUp: hang_up(); break;
      case Outgoing::kComeBack: come_back(); break;
    }
  }
}

int Simulator::transport_fd() const { return master_fd_ >= 0 ? master_fd_ : client_fd_; }

void Simulator::write_out(const Bytes& bytes) {
  if (transport_fd() < 0) return;
  traffic_.push_back({elapsed_ms(), false, bytes});
  trace("<-", bytes);
  if (unsent_.size() + bytes.size() > kMaxUnsent) {
    ++dropped_writes_;
    return;
  }
  unsent_.insert(unsent_.end(), bytes.begin(), bytes.end());
  flush_unsent();
}

// Writes what the transport takes now; the rest waits for POLLOUT. Partial
// writes keep their place, so reports never come out cut or out of order.
void Simulator::flush_unsent() {
  const int fd = transport_fd();
  if (fd < 0) {
    unsent_.clear();
    return;
  }
  size_t done = 0;
  while (done < unsent_.size()) {
    const size_t count = unsent_.size() - done;
    const ssize_t n = master_fd_ >= 0 ? ::write(fd, unsent_.data() + done, count)
                                      : ::send(fd, unsent_.data() + done, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) done = unsent_.size();  // the peer is gone
      break;
    }
  }
  unsent_.erase(unsent_.begin(), unsent_.begin() + static_cast<long>(done));
}

void Simulator::handle_input(const uint8_t* bytes, size_t count) {
  received_bytes_ += count;
  input_.insert(input_.end(), bytes, bytes + count);
  size_t at = 0;
  for (;;) {
    while (at < input_.size() && input_[at] != kReportId && input_[at] != kReportId5) ++at;
    if (input_.size() - at < 2) break;
    // Report id 5 carries two fixed bytes; report id 3 a length and payload.
    const size_t size = input_[at] == kReportId5 ? 3 : input_[at + 1] + 2u;
    if (input_.size() - at < size) break;
    const Bytes report(input_.begin() + static_cast<long>(at),
                       input_.begin() + static_cast<long>(at + size));
    at += size;
    handle_command(report);
  }
  input_.erase(input_.begin(), input_.begin() + static_cast<long>(at));
}

void Simulator::set_replay(ReplayScript script) {
  std::lock_guard lock(mutex_);
  replay_ = std::move(script);
  replaying_ = true;
}

size_t Simulator::replay_mismatches() const {
  std::lock_guard lock(mutex_);
  return replay_.mismatches();
}

std::string Simulator::replay_first_mismatch() const {
  std::lock_guard lock(mutex_);
  return replay_.first_mismatch();
}

void Simulator::handle_command(const Bytes& report) {
  traffic_.push_back({elapsed_ms(), true, report});
  ++received_;
  received_cv_.notify_all();
  trace("->", report);
  if (report[0] != kReportId) return;
  if (replaying_) {
    const auto now = Clock::now();
    for (TimedReport& answer : replay_.answer(report)) {
      schedule(now + std::chrono::milliseconds(answer.delay_ms),
               padded_ ? padded(std::move(answer.report)) : std::move(answer.report));
    }
    return;
  }

  const Bytes packet(report.begin() + 2, report.end());
  Fault* fault = nullptr;
  for (Fault& candidate : faults_) {
    if (fault_matches(candidate, packet)) {
      fault = &candidate;
      if (candidate.times > 0) --candidate.times;
      break;
    }
  }
  std::vector<Bytes> replies;
  int restart_ms = -1;
  int reports_per_ms = 0;
  const bool lost = fault != nullptr && fault->drop;
  if (const CommandEntry* entry = lost ? nullptr : table_.find(packet)) {
    CommandContext context{state_, replies};
    entry->handler(context, packet);
    restart_ms = context.node_restart_ms;
    reports_per_ms = context.reports_per_ms;
  }

  const auto now = Clock::now();
  auto due = now;
  if (fault != nullptr) {
    due += std::chrono::milliseconds(fault->delay_ms);
    for (Bytes& reply : replies) {
      if (fault->rewrite) fault->rewrite(reply);
    }
    for (const TimedReport& extra : fault->extra) {
      schedule(now + std::chrono::milliseconds(extra.delay_ms),
               padded_ ? padded(extra.report) : extra.report);
    }
  }

  for (size_t i = 0; i < replies.size(); ++i) {
    Bytes reply = replies[i];
    if (fault != nullptr && i == 0 && !fault->same_write_before.empty()) {
      reply.insert(reply.begin(), fault->same_write_before.begin(), fault->same_write_before.end());
    }
    if (fault != nullptr && i == 0 && !fault->same_write_after.empty()) {
      reply.insert(reply.end(), fault->same_write_after.begin(), fault->same_write_after.end());
    }
    if (fault != nullptr && fault->split_at > 0 && static_cast<size_t>(fault->split_at) < reply.size()) {
      const auto cut = reply.begin() + fault->split_at;
      schedule(due, Bytes(reply.begin(), cut));
      schedule(due + std::chrono::milliseconds(fault->split_gap_ms), Bytes(cut, reply.end()));
      continue;
    }
    const auto at = reports_per_ms > 0 ? due + std::chrono::milliseconds(static_cast<int>(i) / reports_per_ms) : due;
    schedule(at, padded_ ? padded(std::move(reply)) : std::move(reply));
  }
  // A restart takes the node away once the replies are out.
  if (restart_ms >= 0) schedule_restart(due + std::chrono::milliseconds(20), restart_ms);
}

void Simulator::serve() {
  for (;;) {
    pollfd waits[3];
    int count = 0;
    waits[count++] = {wake_fd_, POLLIN, 0};
    {
      std::lock_guard lock(mutex_);
      const bool reading = Clock::now() >= reading_paused_until_;
      const short transport_events = static_cast<short>((reading ? POLLIN : 0) | (unsent_.empty() ? 0 : POLLOUT));
      if (master_fd_ >= 0) waits[count++] = {master_fd_, transport_events, 0};
      if (listen_fd_ >= 0 && client_fd_ < 0) waits[count++] = {listen_fd_, POLLIN, 0};
      if (client_fd_ >= 0) waits[count++] = {client_fd_, transport_events, 0};
    }
    const int ready = ::poll(waits, static_cast<nfds_t>(count), next_timeout_ms());
    if (ready < 0 && errno != EINTR) return;

    std::lock_guard lock(mutex_);
    if (stopping_) return;
    uint64_t drained;
    while (::read(wake_fd_, &drained, sizeof drained) > 0) {
    }
    if (vanish_) {
      close_transport();
      outgoing_.clear();
      unsent_.clear();
      vanish_ = false;
      continue;
    }
    for (int i = 1; i < count && ready > 0; ++i) {
      if (waits[i].revents == 0) continue;
      uint8_t buffer[4096];
      if (waits[i].fd == listen_fd_) {
        client_fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        input_.clear();
        unsent_.clear();
        continue;
      }
      if ((waits[i].revents & POLLOUT) != 0) flush_unsent();
      if ((waits[i].events & POLLIN) == 0) continue;
      if (waits[i].fd == master_fd_) {
        const ssize_t n = ::read(master_fd_, buffer, sizeof buffer);
        if (n > 0) handle_input(buffer, static_cast<size_t>(n));
      } else if (waits[i].fd == client_fd_) {
        const ssize_t n = ::recv(client_fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
          handle_input(buffer, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          ::close(client_fd_);
          client_fd_ = -1;
          input_.clear();
          unsent_.clear();
        }
      }
    }
    pump_stream();
    flush_due();
    pump_touch_info();
  }
}

void Simulator::pump_touch_info() {
  TouchInfoStream& t = state_.touch_stream;
  if (state_.registers.touch_info != 1 || (t.limit >= 0 && t.sent >= t.limit)) return;
  const auto now = Clock::now();
  if (touch_info_due_ > now) return;  // the last one is still on its way
  Bytes payload(62, 0);
  payload[0] = '?';
  payload[1] = 'h';
  uint8_t* block = payload.data() + 2;
  block[0] = state_.registers.freq_index;
  block[3] = static_cast<uint8_t>(t.sent % 251);
  const int16_t noise = t.max_noise.empty() ? 0 : t.max_noise[static_cast<size_t>(t.sent) % t.max_noise.size()];
  block[15] = static_cast<uint8_t>(static_cast<uint16_t>(noise) & 0xFF);
  block[16] = static_cast<uint8_t>(static_cast<uint16_t>(noise) >> 8);
  block[17] = t.max_noise_channel;
  ++t.sent;
  touch_info_due_ = now + std::chrono::milliseconds(t.interval_ms);
  const Bytes report = frame_report(payload);
  schedule(touch_info_due_, padded_ ? padded(report) : report);
}

}  // namespace tmode::sim
