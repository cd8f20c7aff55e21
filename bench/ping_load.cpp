#include "bench/ping_load.h"

#include <cerrno>

#include "bench/frame_reader.h"
#include "bench/loopback.h"
#include "bench/ping_frames.h"

namespace Bench {
namespace {

bool Fail(PingLoadResult* result, const char* what) {
  result->error = what;
  return false;
}

// A signal the load may pass over.
bool Skipped(const PingLoad& load, const unsigned char* frame, std::size_t length) {
  ResponseInfo info;
  return load.skip_signals && ParseResponse(frame + kTpktHeaderSize, length - kTpktHeaderSize, &info) &&
         info.signal;
}

bool CheckResponse(const PingLoad& load, const unsigned char* frame, std::size_t length, long index,
                   PingLoadResult* result) {
  ResponseInfo info;
  if (!ParseResponse(frame + kTpktHeaderSize, length - kTpktHeaderSize, &info) || info.signal) {
    return Fail(result, "response does not parse");
  }
  if (!info.success) return Fail(result, "error response");
  if (load.check_seq && (!info.seq_present || info.seq != PingSeq(index))) {
    return Fail(result, "response seq out of order");
  }
  return true;
}

// Waits for the next frame; null on end of stream, error or time-out.
const unsigned char* NextFrameBlocking(int fd, FrameReader& reader, std::size_t* length,
                                       PingLoadResult* result) {
  for (;;) {
    const unsigned char* frame = reader.NextFrame(length);
    if (frame) return frame;
    if (reader.bad()) {
      Fail(result, "stream is not TPKT");
      return nullptr;
    }
    const long n = reader.ReadSome(fd);
    if (n == 0) {
      Fail(result, "connection closed by the server");
      return nullptr;
    }
    if (n < 0) {
      Fail(result, errno == EAGAIN || errno == EWOULDBLOCK ? "time-out waiting for a response"
                                                           : "read failed");
      return nullptr;
    }
  }
}

}  // namespace

bool RoundTrips(int fd, const PingLoad& load, PingLoadResult* result) {
  FrameReader reader;
  result->rtt_ns.clear();
  result->rtt_ns.reserve(static_cast<std::size_t>(load.count));
  unsigned char frame[kMaxPingFrameSize];
  for (long i = 0; i < load.warmup + load.count; ++i) {
    const std::size_t n = WritePingFrame(frame, PingSeq(i));
    const std::uint64_t t0 = NowNs();
    if (!WriteAll(fd, frame, n)) return Fail(result, "write failed");
    std::size_t length = 0;
    const unsigned char* response = NextFrameBlocking(fd, reader, &length, result);
    while (response && Skipped(load, response, length)) response = NextFrameBlocking(fd, reader, &length, result);
    const std::uint64_t t1 = NowNs();
    if (!response || !CheckResponse(load, response, length, i, result)) return false;
    if (i >= load.warmup) result->rtt_ns.push_back(t1 - t0);
  }
  return true;
}

bool Pipelined(int fd, const PingLoad& load, PingLoadResult* result) {
  FrameReader reader;
  const long total = load.warmup + load.count;
  std::vector<unsigned char> batch(static_cast<std::size_t>(load.depth) * kMaxPingFrameSize);
  long sent = 0;
  long received = 0;
  std::uint64_t start = NowNs();
  while (received < total) {
    std::size_t fill = 0;
    while (sent < total && sent - received < load.depth) {
      fill += WritePingFrame(batch.data() + fill, PingSeq(sent));
      ++sent;
    }
    if (fill > 0 && !WriteAll(fd, batch.data(), fill)) return Fail(result, "write failed");
    std::size_t length = 0;
    const unsigned char* response = NextFrameBlocking(fd, reader, &length, result);
    if (!response) return false;
    do {
      if (Skipped(load, response, length)) continue;
      if (!CheckResponse(load, response, length, received, result)) return false;
      if (++received == load.warmup) start = NowNs();
    } while ((response = reader.NextFrame(&length)) != nullptr);
  }
  result->seconds = static_cast<double>(NowNs() - start) / 1e9;
  return true;
}

}  // namespace Bench
