// Codec benchmark: aligned-PER encode and decode of the five messages of
// codec_messages.h, each as the control server does it (encode into a byte
// vector with 200 octets reserved; decode into a fresh LGCP::Message).
//
// Usage: bench_codec [Google Benchmark flags]
//        bench_codec --dump-messages=FILE
// The second form writes "name hex" lines of the five encodings instead, for
// the Erlang reference, which times its own codec on the same octets.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/codec_messages.h"
#include "bench/per_codec.h"
#include "bench/ping_frames.h"

namespace {

void BM_Encode(benchmark::State& state, const LGCP::Message* message) {
  for (auto _ : state) {
    std::vector<char> out;
    out.reserve(200);
    const bool ok = Bench::EncodePer(*message, &out);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_Decode(benchmark::State& state, const std::vector<char>* octets) {
  for (auto _ : state) {
    LGCP::Message message;
    const bool ok = Bench::DecodePer(*octets, &message);
    benchmark::DoNotOptimize(ok);
    benchmark::ClobberMemory();
  }
}

bool DumpMessages(const std::vector<Bench::CodecMessage>& messages,
                  const std::vector<std::vector<char>>& encoded, const char* path) {
  FILE* f = std::fopen(path, "w");
  if (!f) return false;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    std::fprintf(f, "%s ", messages[i].name.c_str());
    for (char c : encoded[i]) std::fprintf(f, "%02x", static_cast<unsigned char>(c));
    std::fprintf(f, "\n");
  }
  return std::fclose(f) == 0;
}

// The load client and the bare reference write their frames by hand; check
// them against the codec so they stay what the server sends and expects.
bool HandWrittenFramesMatch() {
  const std::uint32_t seqs[] = {0, 5, 127, 128, 40000, 0x7fffffff};
  for (std::uint32_t seq : seqs) {
    LGCP::Message ping;
    ping.set_seq(static_cast<int>(seq));
    ping.set_pdu().select_command().select_ping();
    LGCP::Message success;
    success.set_seq(static_cast<int>(seq));
    success.set_pdu().select_response().select_success();
    for (int which = 0; which < 2; ++which) {
      std::vector<char> encoded;
      if (!Bench::EncodePer(which == 0 ? ping : success, &encoded)) return false;
      unsigned char frame[Bench::kMaxPingFrameSize];
      const std::size_t n = which == 0 ? Bench::WritePingFrame(frame, seq) : Bench::WriteSuccessFrame(frame, seq);
      if (n != Bench::kTpktHeaderSize + encoded.size() ||
          std::memcmp(frame + Bench::kTpktHeaderSize, encoded.data(), encoded.size()) != 0) {
        std::fprintf(stderr, "bench_codec: hand-written %s frame for seq %u differs from the codec's\n",
                     which == 0 ? "ping" : "success", seq);
        return false;
      }
    }
    Bench::ResponseInfo info;
    std::vector<char> encoded;
    Bench::EncodePer(success, &encoded);
    if (!Bench::ParseResponse(reinterpret_cast<const unsigned char*>(encoded.data()), encoded.size(), &info) ||
        !info.success || !info.seq_present || info.seq != seq) {
      std::fprintf(stderr, "bench_codec: the response parser misreads seq %u\n", seq);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Kept alive for the whole run: the benchmarks point into them.
  static const std::vector<Bench::CodecMessage> messages = Bench::CodecMessages();
  static std::vector<std::vector<char>> encoded(messages.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    LGCP::Message check;
    if (!Bench::EncodePer(messages[i].value, &encoded[i]) || !Bench::DecodePer(encoded[i], &check) ||
        !(check == messages[i].value)) {
      std::fprintf(stderr, "bench_codec: %s does not survive an encode-decode round trip\n",
                   messages[i].name.c_str());
      return 1;
    }
  }
  if (!HandWrittenFramesMatch()) return 1;
  for (int i = 1; i < argc; ++i) {
    const char* flag = "--dump-messages=";
    if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
      return DumpMessages(messages, encoded, argv[i] + std::strlen(flag)) ? 0 : 1;
    }
  }
  for (std::size_t i = 0; i < messages.size(); ++i) {
    benchmark::RegisterBenchmark(("BM_Encode/" + messages[i].name).c_str(), BM_Encode, &messages[i].value);
  }
  for (std::size_t i = 0; i < messages.size(); ++i) {
    benchmark::RegisterBenchmark(("BM_Decode/" + messages[i].name).c_str(), BM_Decode, &encoded[i]);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
