// Codec benchmark: aligned-PER encode and decode of the five messages of
// codec_messages.h, each as the control server does it (encode into a byte
// vector with 200 octets reserved; decode into a fresh LGCP::Message).
//
// Usage: bench_codec [Google Benchmark flags]
//        bench_codec --dump-messages=FILE
// The second form writes "name hex" lines of the five encodings instead, for
// the Erlang reference, which times its own codec on the same octets.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/codec_messages.h"
#include "bench/per_codec.h"

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
