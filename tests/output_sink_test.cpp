// The library's printed lines: standard output by default, or wherever an
// application points them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "link/output_sink.h"
#include "paramfile/bin_file.h"
#include "tuning/tuner.h"

namespace tmode {
namespace {

void append(void* context, const char* text, size_t length) {
  static_cast<std::string*>(context)->append(text, length);
}

// What the library writes to file descriptor 1 while `action` runs.
template <typename Action>
std::string captured_stdout(Action action) {
  std::fflush(stdout);
  FILE* capture = std::tmpfile();
  const int saved = dup(STDOUT_FILENO);
  dup2(fileno(capture), STDOUT_FILENO);
  action();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string text;
  std::rewind(capture);
  for (int c; (c = std::fgetc(capture)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(capture);
  return text;
}

TEST(OutputSink, LibraryLinesGoToStandardOutputUntilPointedElsewhere) {
  TunerPtr tuner = create_tuner();
  ASSERT_NE(tuner, nullptr);
  const char* missing = "/nonexistent/hw.bin";

  EXPECT_EQ(captured_stdout([&] { load_hardware_bin_file(*tuner, missing); }),
            "File: /nonexistent/hw.bin dose not Exist\n");

  std::string taken;
  const std::string printed = captured_stdout([&] {
    OutputSinkScope scope(append, &taken);
    load_hardware_bin_file(*tuner, missing);
  });
  EXPECT_EQ(printed, "");
  EXPECT_EQ(taken, "File: /nonexistent/hw.bin dose not Exist\n");

  // The scope ended: standard output again.
  EXPECT_EQ(captured_stdout([&] { out_puts("back"); }), "back\n");
}

TEST(OutputSink, StreamsDropAndLongTexts) {
  FILE* file = std::tmpfile();
  std::string dropped_to_stdout = captured_stdout([&] {
    {
      OutputSinkScope scope(file);
      out_printf("%s=%d\n", "Freq", 60);
      out_write("\r(I) 50%");
      out_flush();
    }
    {
      OutputSinkScope scope(static_cast<FILE*>(nullptr));
      out_puts("nowhere");
    }
  });
  EXPECT_EQ(dropped_to_stdout, "");
  std::rewind(file);
  char text[64] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text - 1, file), 16u);
  EXPECT_STREQ(text, "Freq=60\n\r(I) 50%");
  std::fclose(file);

  // A formatted text longer than the sink's line buffer arrives whole.
  const std::string long_text(3000, 'x');
  std::string taken;
  {
    OutputSinkScope scope(append, &taken);
    out_printf("<%s>", long_text.c_str());
  }
  EXPECT_EQ(taken, "<" + long_text + ">");
}

// Prints from several threads reach the callback one whole piece at a time,
// and once the callback is replaced it is never called again.
TEST(OutputSink, ConcurrentPrintsArriveWholeAndStopAtRemoval) {
  std::string taken;
  set_output_callback(append, &taken);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) out_printf("[%d:%03d]", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  reset_output_sink();
  const size_t length = taken.size();
  captured_stdout([] { out_puts("after"); });
  EXPECT_EQ(taken.size(), length);
  ASSERT_EQ(length, 4u * 500u * 7u);
  for (size_t at = 0; at < length; at += 7) {
    ASSERT_EQ(taken[at], '[') << at;
    ASSERT_EQ(taken[at + 6], ']') << at;
  }
}

}  // namespace
}  // namespace tmode
