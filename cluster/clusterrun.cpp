// The cluster engine: a pool of decoding threads per rank, sends that MPI
// completes in the background, rank 0's coordinator and the other ranks'
// workers, and the messages between them.
//
// Messages (64-bit integers; a double travels as its bits):
//   report  rank -> 0: sent-at time, blocks wanted, n, n x (point, block,
//           frames, frame errors, bit errors, undetected, iterations,
//           seconds, information-bit errors)
//   assign  0 -> rank: first point not ended, is-answer, n, n x (point,
//           block); n = 0 and no answer is the heartbeat that also tells
//           which points have ended
//   stop    0 -> rank: the run is over (the rank reports what is in flight)
//   done    rank -> 0: blocks decoded; the last message of a rank
#include "clusterrun.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace ldpc {

namespace {

using steadyclock = std::chrono::steady_clock;

double since(steadyclock::time_point t) {
  return std::chrono::duration<double>(steadyclock::now() - t).count();
}

enum messagetag : int { tagreport = 71, tagassign = 72, tagstop = 73, tagdone = 74 };
constexpr int recordwords = 9;

struct mpifault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void check(int rc, const char *what) {
  if (rc == MPI_SUCCESS) return;
  char text[MPI_MAX_ERROR_STRING];
  int length = 0;
  MPI_Error_string(rc, text, &length);
  throw mpifault(std::string("MPI ") + what + ": " + std::string(text, length));
}

struct finishedblock {
  int point = 0;
  std::int64_t block = 0;
  blocktally tally;
};

void putrecord(std::vector<std::int64_t> *data, const finishedblock &f) {
  const blocktally &t = f.tally;
  data->insert(data->end(),
               {f.point, f.block, t.frames, t.frameerrors, t.biterrors, t.undetected, t.iterations,
                std::bit_cast<std::int64_t>(t.seconds), t.infobiterrors});
}

finishedblock getrecord(const std::int64_t *r) {
  finishedblock f;
  f.point = static_cast<int>(r[0]);
  f.block = r[1];
  f.tally.frames = r[2];
  f.tally.frameerrors = r[3];
  f.tally.biterrors = r[4];
  f.tally.undetected = r[5];
  f.tally.iterations = r[6];
  f.tally.seconds = std::bit_cast<double>(r[7]);
  f.tally.infobiterrors = r[8];
  return f;
}

// Blocks a rank keeps queued: about a tenth of a second of its threads'
// work, at least two per thread.
std::size_t queuetarget(int threads, double secondsperblock) {
  const double perthread = secondsperblock > 0 ? std::ceil(0.1 / secondsperblock) : 2.0;
  const double blocks = std::max(1, threads) * std::clamp(perthread, 2.0, 16384.0);
  return static_cast<std::size_t>(blocks);
}

// The decoding threads of one rank and their queue of blocks.
class blockpool {
 public:
  explicit blockpool(const clusterjob &job) : decode_(job.decode) {
    for (int t = 0; t < std::max(1, job.threads); ++t) threads_.emplace_back([this] { work(); });
  }
  ~blockpool() { stop(); }
  blockpool(const blockpool &) = delete;
  blockpool &operator=(const blockpool &) = delete;

  void add(const std::vector<std::pair<int, std::int64_t>> &blocks) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.insert(queue_.end(), blocks.begin(), blocks.end());
    work_.notify_all();
  }
  // Drops the queued blocks of points that have ended.
  void dropbefore(int point) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(queue_, [&](const auto &b) { return b.first < point; });
  }
  std::size_t queued() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
  }
  std::vector<finishedblock> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(finished_, {});
  }
  std::string fault() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fault_;
  }
  double secondsperblock() {
    std::lock_guard<std::mutex> lock(mutex_);
    return decoded_ > 0 ? busy_ / static_cast<double>(decoded_) : 0.0;
  }
  std::int64_t decoded() {
    std::lock_guard<std::mutex> lock(mutex_);
    return decoded_;
  }
  // Waits until the queue runs dry or the time has passed: the calling
  // thread wakes at most once a period, not once a block, so that short
  // blocks do not keep it busy beside the decoding threads.
  void waitfor(double seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
      return stopping_ || !fault_.empty() || (queue_.empty() && !finished_.empty());
    });
  }
  // Takes no more blocks; the threads end after their current block.
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      queue_.clear();
      work_.notify_all();
    }
    for (std::thread &t : threads_)
      if (t.joinable()) t.join();
  }

 private:
  void work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      finishedblock f;
      std::tie(f.point, f.block) = queue_.front();
      queue_.pop_front();
      lock.unlock();
      const auto start = steadyclock::now();
      std::string fault;
      try {
        f.tally = decode_(f.point, f.block);
      } catch (const std::exception &e) {
        fault = std::string("decoding block ") + std::to_string(f.block) + " of point " +
                std::to_string(f.point) + ": " + e.what();
      }
      const double seconds = since(start);
      if (f.tally.seconds <= 0) f.tally.seconds = seconds;
      lock.lock();
      if (!fault.empty()) {
        if (fault_.empty()) fault_ = fault;
      } else {
        finished_.push_back(f);
        ++decoded_;
        busy_ += seconds;
      }
      if (queue_.empty() || !fault_.empty()) done_.notify_all();
    }
  }

  std::function<blocktally(int, std::int64_t)> decode_;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  std::deque<std::pair<int, std::int64_t>> queue_;
  std::vector<finishedblock> finished_;
  std::string fault_;
  std::int64_t decoded_ = 0;
  double busy_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Sends that complete in the background; their buffers live until then.
class outbox {
 public:
  explicit outbox(MPI_Comm comm) : comm_(comm) {}
  outbox(const outbox &) = delete;
  outbox &operator=(const outbox &) = delete;
  ~outbox() {
    // Sends that never completed (a failed run) keep their buffers: MPI may
    // still read them until the process ends.
    static std::list<message> *abandoned = new std::list<message>;
    abandoned->splice(abandoned->end(), pending_);
  }

  void send(int rank, int tag, std::vector<std::int64_t> data) {
    pending_.push_back({std::move(data), MPI_REQUEST_NULL});
    message &m = pending_.back();
    check(MPI_Isend(m.data.data(), static_cast<int>(m.data.size()), MPI_INT64_T, rank, tag, comm_,
                    &m.request),
          "send");
  }
  void progress() {
    for (auto it = pending_.begin(); it != pending_.end();) {
      int flag = 0;
      check(MPI_Test(&it->request, &flag, MPI_STATUS_IGNORE), "send completion");
      it = flag ? pending_.erase(it) : std::next(it);
    }
  }
  void flush() {
    while (!pending_.empty()) {
      progress();
      if (!pending_.empty()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

 private:
  struct message {
    std::vector<std::int64_t> data;
    MPI_Request request;
  };
  MPI_Comm comm_;
  std::list<message> pending_;
};

// A message from source (MPI_ANY_SOURCE for any), if one has arrived.
bool receive(MPI_Comm comm, int source, std::vector<std::int64_t> *data, int *from, int *tag) {
  int flag = 0;
  MPI_Status status;
  check(MPI_Iprobe(source, MPI_ANY_TAG, comm, &flag, &status), "probe");
  if (!flag) return false;
  int count = 0;
  check(MPI_Get_count(&status, MPI_INT64_T, &count), "message size");
  data->resize(static_cast<std::size_t>(count));
  check(MPI_Recv(data->data(), count, MPI_INT64_T, status.MPI_SOURCE, status.MPI_TAG, comm,
                 MPI_STATUS_IGNORE),
        "receive");
  *from = status.MPI_SOURCE;
  *tag = status.MPI_TAG;
  return true;
}

// What every rank must agree on, and the check that they do.
std::string agree(const clusterjob &job, MPI_Comm comm, int ranks) {
  const std::int64_t mine[5] = {static_cast<std::int64_t>(job.confighash), job.points,
                                blockcount(job.rule), job.rule.maxerrors,
                                std::bit_cast<std::int64_t>(job.rule.minfer)};
  std::vector<std::int64_t> all(5 * static_cast<std::size_t>(ranks));
  check(MPI_Allgather(mine, 5, MPI_INT64_T, all.data(), 5, MPI_INT64_T, comm),
        "gather of the configurations");
  for (int r = 1; r < ranks; ++r)
    if (!std::equal(all.begin(), all.begin() + 5, all.begin() + 5 * r)) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "rank %d runs another configuration (hash %016llx, %lld points) than rank 0 "
                    "(hash %016llx, %lld points)",
                    r, static_cast<unsigned long long>(all[5 * r]),
                    static_cast<long long>(all[5 * r + 1]), static_cast<unsigned long long>(all[0]),
                    static_cast<long long>(all[1]));
      return text;
    }
  return "";
}

// Rank 0: hands out blocks, gathers the tallies and counts them in frame
// order.
class coordinator {
 public:
  coordinator(const clusterjob &job, MPI_Comm comm, int ranks)
      : job_(job),
        comm_(comm),
        ranks_(ranks),
        pool_(job),
        out_(comm),
        states_(job.points),
        pending_(job.points),
        cursor_(job.points, 0),
        wanted_(ranks, 0),
        heard_(ranks, steadyclock::now()) {}

  void run(clusterresult *result);

 private:
  void seedknown();
  void absorb(const finishedblock &f);
  void advance();
  void endpoint();
  std::vector<std::pair<int, std::int64_t>> hand(std::size_t wanted);
  void serve();
  void readmessages();
  void readreport(int from, const std::vector<std::int64_t> &data);
  void checkclocks();
  void control(bool answer, int rank, const std::vector<std::pair<int, std::int64_t>> &blocks);
  void drain();
  void fill(clusterresult *result);

  const clusterjob &job_;
  MPI_Comm comm_;
  int ranks_;
  blockpool pool_;
  outbox out_;
  std::vector<pointstate> states_;
  std::vector<std::map<std::int64_t, blocktally>>
      pending_;                       // arrived past each point's counted blocks
  std::vector<std::int64_t> cursor_;  // per point: the next block to consider handing out
  int current_ = 0;                   // the first point that has not ended
  bool ended_ = false;                // the sweep's result is known, or the run is cancelled
  bool interrupted_ = false;
  std::string failure_;
  std::vector<std::size_t> wanted_;  // per rank: blocks asked for and not yet handed out
  std::vector<steadyclock::time_point> heard_;
  steadyclock::time_point pointstart_ = steadyclock::now(), lastprogress_ = steadyclock::now(),
                          lastheartbeat_ = steadyclock::now();
  std::int64_t wasted_ = 0, reports_ = 0;
  double delaysum_ = 0, delaymax_ = 0;
};

// The blocks done before count as if they had just arrived.
void coordinator::seedknown() {
  for (int p = 0; p < job_.points && p < static_cast<int>(job_.known.size()); ++p)
    for (const numberedblock &b : job_.known[p]) pending_[p].emplace(b.block, b.tally);
  advance();
}

void coordinator::absorb(const finishedblock &f) {
  if (f.point < 0 || f.point >= job_.points) return;
  if (job_.blockdone && failure_.empty()) failure_ = job_.blockdone(f.point, f.block, f.tally);
  if (f.point < current_ || states_[f.point].end != pointend::running ||
      f.block < states_[f.point].blocks) {
    ++wasted_;
    return;
  }
  pending_[f.point].emplace(f.block, f.tally);
}

// Counts what arrived in frame order and moves on past ended points.
void coordinator::advance() {
  while (!ended_ && current_ < job_.points) {
    pointstate &state = states_[current_];
    auto &pending = pending_[current_];
    advancepoint(
        job_.rule, current_, &state,
        [&](std::int64_t b) -> const blocktally * {
          auto it = pending.find(b);
          return it == pending.end() ? nullptr : &it->second;
        },
        job_.givenup);
    pending.erase(pending.begin(), pending.lower_bound(state.blocks));
    if (state.end == pointend::running) return;
    endpoint();
  }
}

void coordinator::endpoint() {
  const pointstate &state = states_[current_];
  if (job_.pointdone) job_.pointdone(current_, state);
  wasted_ += static_cast<std::int64_t>(pending_[current_].size());
  pending_[current_].clear();
  if (!sweepgoeson(job_.rule, state)) ended_ = true;
  ++current_;
  if (current_ == job_.points) ended_ = true;
  pointstart_ = steadyclock::now();
  // Queued blocks of ended points are dropped everywhere.
  pool_.dropbefore(current_);
  for (int r = 1; r < ranks_ && !ended_; ++r) control(false, r, {});
}

// Up to wanted blocks not handed out yet, from the running point and the
// next one. Blocks past the first given-up block never count: none is
// handed out.
std::vector<std::pair<int, std::int64_t>> coordinator::hand(std::size_t wanted) {
  std::vector<std::pair<int, std::int64_t>> blocks;
  const std::int64_t count = blockcount(job_.rule);
  for (int p = current_; p < std::min(job_.points, current_ + 2) && blocks.size() < wanted; ++p) {
    if (states_[p].end != pointend::running) continue;
    while (blocks.size() < wanted && cursor_[p] < count) {
      const std::int64_t b = cursor_[p]++;
      if (job_.givenup && job_.givenup(p, b)) {
        cursor_[p] = count;
        break;
      }
      if (b >= states_[p].blocks && pending_[p].count(b) == 0) blocks.emplace_back(p, b);
    }
  }
  return blocks;
}

void coordinator::control(bool answer, int rank,
                          const std::vector<std::pair<int, std::int64_t>> &blocks) {
  std::vector<std::int64_t> data = {current_, answer ? 1 : 0,
                                    static_cast<std::int64_t>(blocks.size())};
  for (const auto &[p, b] : blocks) data.insert(data.end(), {p, b});
  out_.send(rank, tagassign, std::move(data));
}

// Work for this rank's threads and for every rank that asked.
void coordinator::serve() {
  const std::size_t target = queuetarget(job_.threads, pool_.secondsperblock());
  const std::size_t queued = pool_.queued();
  if (queued <= target / 2) pool_.add(hand(target - queued));
  for (int r = 1; r < ranks_; ++r) {
    if (wanted_[r] == 0) continue;
    auto blocks = hand(wanted_[r]);
    if (blocks.empty()) continue;  // answered when there is work again
    control(true, r, blocks);
    wanted_[r] = 0;
  }
}

void coordinator::readreport(int from, const std::vector<std::int64_t> &data) {
  if (data.size() < 3) throw mpifault("rank " + std::to_string(from) + " sent a report too short");
  const double delay = MPI_Wtime() - std::bit_cast<double>(data[0]);
  ++reports_;
  delaysum_ += delay;
  delaymax_ = std::max(delaymax_, delay);
  if (data[1] > 0) wanted_[from] = static_cast<std::size_t>(data[1]);
  const std::size_t n = static_cast<std::size_t>(data[2]);
  if (data.size() != 3 + n * recordwords)
    throw mpifault("rank " + std::to_string(from) + " sent a report of the wrong size");
  for (std::size_t k = 0; k < n; ++k) absorb(getrecord(data.data() + 3 + k * recordwords));
}

void coordinator::readmessages() {
  std::vector<std::int64_t> data;
  int from = 0, tag = 0;
  while (receive(comm_, MPI_ANY_SOURCE, &data, &from, &tag)) {
    heard_[from] = steadyclock::now();
    if (tag == tagreport) readreport(from, data);
  }
  for (const finishedblock &f : pool_.take()) absorb(f);
  if (failure_.empty()) failure_ = pool_.fault();
}

// Cancellation, the time limit of a point, silent ranks, heartbeats and
// progress.
void coordinator::checkclocks() {
  if (job_.cancelled && job_.cancelled()) {
    interrupted_ = ended_ = true;
    return;
  }
  if (job_.maxseconds > 0 && current_ < job_.points && since(pointstart_) > job_.maxseconds) {
    giveuppoint(&states_[current_]);
    if (job_.giveup && failure_.empty()) failure_ = job_.giveup(current_, states_[current_].blocks);
    endpoint();
    advance();
    if (ended_) return;
  }
  for (int r = 1; r < ranks_; ++r)
    if (since(heard_[r]) > job_.silenceseconds) {
      failure_ = "rank " + std::to_string(r) + " has sent nothing for " +
                 std::to_string(static_cast<int>(job_.silenceseconds)) + " s";
      return;
    }
  if (since(lastheartbeat_) >= job_.reportseconds) {
    lastheartbeat_ = steadyclock::now();
    for (int r = 1; r < ranks_; ++r) control(false, r, {});
  }
  if (job_.progress && since(lastprogress_) >= 0.5 && current_ < job_.points) {
    lastprogress_ = steadyclock::now();
    job_.progress(current_, states_[current_]);
  }
}

// After the stop: what the ranks had in flight reaches blockdone (the
// ledger), until every rank has said it is done.
void coordinator::drain() {
  pool_.stop();
  for (const finishedblock &f : pool_.take()) absorb(f);
  std::vector<std::int64_t> data;
  int from = 0, tag = 0, done = 1;
  while (done < ranks_) {
    if (!receive(comm_, MPI_ANY_SOURCE, &data, &from, &tag)) {
      for (int r = 1; r < ranks_; ++r)
        if (since(heard_[r]) > job_.silenceseconds)
          throw mpifault("rank " + std::to_string(r) + " did not end within " +
                         std::to_string(static_cast<int>(job_.silenceseconds)) + " s");
      out_.progress();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      continue;
    }
    heard_[from] = steadyclock::now();
    if (tag == tagreport) readreport(from, data);
    if (tag == tagdone) ++done;
  }
  out_.flush();
}

void coordinator::fill(clusterresult *result) {
  const int reached =
      std::min(job_.points, current_ + (interrupted_ && current_ < job_.points ? 1 : 0));
  result->points.assign(states_.begin(), states_.begin() + reached);
  result->complete = !interrupted_;
  result->interrupted = interrupted_;
  result->decoded = pool_.decoded();
  result->wasted = wasted_;
  result->reports = reports_;
  result->meandelay = reports_ > 0 ? delaysum_ / static_cast<double>(reports_) : 0.0;
  result->maxdelay = delaymax_;
}

void coordinator::run(clusterresult *result) {
  seedknown();
  while (!ended_ && failure_.empty()) {
    readmessages();
    advance();
    if (ended_ || !failure_.empty()) break;
    checkclocks();
    if (ended_ || !failure_.empty()) break;
    serve();
    out_.progress();
    pool_.waitfor(0.001);
  }
  for (int r = 1; r < ranks_; ++r) out_.send(r, tagstop, {0});
  if (!failure_.empty()) {
    result->failure = failure_;
    return;
  }
  drain();
  fill(result);
}

// Any other rank: decodes what rank 0 hands out and reports it.
class worker {
 public:
  worker(const clusterjob &job, MPI_Comm comm) : job_(job), comm_(comm), pool_(job), out_(comm) {}
  void run(clusterresult *result);

 private:
  bool readmessages();
  void report(bool ask);

  const clusterjob &job_;
  MPI_Comm comm_;
  blockpool pool_;
  outbox out_;
  std::vector<finishedblock> unsent_;
  bool asked_ = false;  // a request for blocks is unanswered
  steadyclock::time_point lastsent_ = steadyclock::now(), heard_ = steadyclock::now();
};

// Takes in rank 0's messages; false once told to stop.
bool worker::readmessages() {
  std::vector<std::int64_t> data;
  int from = 0, tag = 0;
  while (receive(comm_, 0, &data, &from, &tag)) {
    heard_ = steadyclock::now();
    if (tag == tagstop) return false;
    if (tag != tagassign || data.size() < 3 ||
        data.size() != 3 + 2 * static_cast<std::size_t>(data[2]))
      throw mpifault("rank 0 sent a message that is not an assignment");
    pool_.dropbefore(static_cast<int>(data[0]));
    std::vector<std::pair<int, std::int64_t>> blocks;
    for (std::int64_t k = 0; k < data[2]; ++k)
      blocks.emplace_back(static_cast<int>(data[3 + 2 * k]), data[4 + 2 * k]);
    pool_.add(blocks);
    if (data[1] != 0) asked_ = false;
  }
  return true;
}

void worker::report(bool ask) {
  const std::size_t target = queuetarget(job_.threads, pool_.secondsperblock());
  const std::size_t queued = pool_.queued();
  const std::int64_t wanted =
      ask && queued < target ? static_cast<std::int64_t>(target - queued) : 0;
  std::vector<std::int64_t> data = {std::bit_cast<std::int64_t>(MPI_Wtime()), wanted,
                                    static_cast<std::int64_t>(unsent_.size())};
  for (const finishedblock &f : unsent_) putrecord(&data, f);
  out_.send(0, tagreport, std::move(data));
  unsent_.clear();
  if (wanted > 0) asked_ = true;
  lastsent_ = steadyclock::now();
}

void worker::run(clusterresult *result) {
  report(true);
  while (readmessages()) {
    std::string fault = pool_.fault();
    if (!fault.empty()) {
      result->failure = fault;
      return;
    }
    for (const finishedblock &f : pool_.take()) unsent_.push_back(f);
    const bool low =
        !asked_ && pool_.queued() <= queuetarget(job_.threads, pool_.secondsperblock()) / 2;
    if ((!unsent_.empty() && since(lastsent_) >= 0.02) || low ||
        since(lastsent_) >= job_.reportseconds)
      report(low);
    if (since(heard_) > job_.silenceseconds) {
      result->failure = "rank 0 has sent nothing for " +
                        std::to_string(static_cast<int>(job_.silenceseconds)) + " s";
      return;
    }
    out_.progress();
    pool_.waitfor(0.001);
  }
  // Told to stop: what is in flight goes to rank 0, then the last word.
  pool_.stop();
  for (const finishedblock &f : pool_.take()) unsent_.push_back(f);
  report(false);
  out_.send(0, tagdone, {pool_.decoded()});
  out_.flush();
  result->decoded = pool_.decoded();
}

// Rank 0's result to every rank.
void shareresult(MPI_Comm comm, int rank, clusterresult *result) {
  std::vector<std::int64_t> data;
  if (rank == 0) {
    data = {result->complete, result->interrupted,
            static_cast<std::int64_t>(result->points.size())};
    for (const pointstate &s : result->points)
      data.insert(data.end(),
                  {static_cast<std::int64_t>(s.end), s.blocks, s.total.frames, s.total.frameerrors,
                   s.total.biterrors, s.total.undetected, s.total.iterations,
                   std::bit_cast<std::int64_t>(s.total.seconds), s.total.infobiterrors});
  }
  std::int64_t size = static_cast<std::int64_t>(data.size());
  check(MPI_Bcast(&size, 1, MPI_INT64_T, 0, comm), "broadcast of the result");
  data.resize(static_cast<std::size_t>(size));
  check(MPI_Bcast(data.data(), static_cast<int>(size), MPI_INT64_T, 0, comm),
        "broadcast of the result");
  if (rank == 0) return;
  result->complete = data[0] != 0;
  result->interrupted = data[1] != 0;
  result->points.clear();
  for (std::int64_t k = 0; k < data[2]; ++k) {
    const std::int64_t *r = data.data() + 3 + recordwords * k;
    pointstate s;
    s.end = static_cast<pointend>(r[0]);
    s.blocks = r[1];
    s.total = getrecord(r).tally;  // words 2..8 hold the counts and seconds as in a record
    result->points.push_back(s);
  }
  if (result->interrupted) result->failure = "interrupted on rank 0";
}

}  // namespace

clusterresult runcluster(const clusterjob &job, MPI_Comm comm) {
  clusterresult result;
  MPI_Comm own = MPI_COMM_NULL;
  try {
    check(MPI_Comm_dup(comm, &own), "duplicate of the communicator");
    check(MPI_Comm_set_errhandler(own, MPI_ERRORS_RETURN), "error handler");
    int rank = 0, ranks = 1;
    check(MPI_Comm_rank(own, &rank), "rank");
    check(MPI_Comm_size(own, &ranks), "size");
    result.failure = agree(job, own, ranks);
    if (result.failure.empty()) {
      if (rank == 0) {
        coordinator c(job, own, ranks);
        c.run(&result);
      } else {
        worker w(job, own);
        w.run(&result);
      }
    }
    if (!result.failure.empty()) return result;  // the ranks no longer agree: no collective call
    const std::int64_t decoded = result.decoded;
    shareresult(own, rank, &result);
    result.decoded = decoded;
    MPI_Comm_free(&own);
  } catch (const mpifault &e) {
    result.failure = e.what();
  }
  return result;
}

void startworld(int *argc, char ***argv, int *rank, int *ranks) {
  int provided = 0;
  MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided);
  MPI_Comm_rank(MPI_COMM_WORLD, rank);
  MPI_Comm_size(MPI_COMM_WORLD, ranks);
}

}  // namespace ldpc
