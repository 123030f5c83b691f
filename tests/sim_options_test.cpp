// tmode-sim's command line: faults a user injects by hand, and values that
// are refused instead of read as 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tool_texts.h"

namespace tmode {
namespace {

using test::ProgramResult;

const std::string& kInfo = test::kDefaultInfo;

// tmode-sim with the given options, running tmodectl -p {} with tool_args.
ProgramResult run_tool_on_sim(std::vector<std::string> sim_args, const std::vector<std::string>& tool_args) {
  sim_args.insert(sim_args.begin(), TMODE_SIM_PATH);
  sim_args.push_back("--");
  const std::vector<std::string> tool = test::program_command(TMODECTL_PATH);
  sim_args.insert(sim_args.end(), tool.begin(), tool.end());
  sim_args.insert(sim_args.end(), {"-p", "{}"});
  sim_args.insert(sim_args.end(), tool_args.begin(), tool_args.end());
  return test::run_program(sim_args);
}

TEST(SimOptions, ValuesThatAreNotNumbersOrFaultsAreRefused) {
  const std::vector<std::vector<std::string>> refused = {
      {"--mode", "abc"},        {"--mode", ""},           {"--mode", "2x"},
      {"--mode", "-1"},         {"--mode", "256"},        {"--modes", "four"},
      {"--restart-ms", "soon"}, {"--vanish-after", "x"},  {"--vanish-after", "-1"},
      {"--no-reply", "3F6"},    {"--no-reply", "any,0"},  {"--no-reply", "46,1,1"},
      {"--no-reply", "zz"},     {"--late", "46"},         {"--late", "46,ms"},
      {"--late", "any,-1"},     {"--late", "46,10,1,2"},  {"--late", ",5"},
      {"--stream-reports", "-1"}, {"--stream-reports", "many"},
      {"--noise-spike", "1,2,3"}, {"--noise-spike", "1,2,3,0"}, {"--noise-spike", "1,2,3,4x"},
  };
  for (const auto& args : refused) {
    const ProgramResult result = run_tool_on_sim(args, {"-g"});
    EXPECT_EQ(result.exit_code, 2) << args[0] << " " << args[1];
    EXPECT_EQ(result.out, "") << "tmodectl ran for " << args[0] << " " << args[1];
  }
}

TEST(SimOptions, ModeFromBothEndsOfItsRange) {
  for (const std::string mode : {"0", "255"}) {
    const ProgramResult result = run_tool_on_sim({"--mode", mode}, {"-g"});
    EXPECT_EQ(result.out, kInfo + "Current Touch Mode:[Threshold-" + mode + "]\n");
    EXPECT_EQ(result.exit_code, 0);
  }
}

TEST(SimOptions, LateRepliesComeLate) {
  const ProgramResult late = run_tool_on_sim({"--late", "46,400", "--mode", "3"}, {"-g"});
  EXPECT_EQ(late.out, kInfo + "Current Touch Mode:[Threshold-3]\n");
  EXPECT_EQ(late.exit_code, 0);
  EXPECT_GE(late.wall_ms, 400);
  EXPECT_LT(late.wall_ms, 2900) << "one late reply, not a retry";
}

// Each unanswered command costs the tool a wait of seconds.
TEST(SimOptions, SlowUnansweredAndVanishingControllers) {
  // The first touch-mode read goes unanswered; the tool's second attempt is.
  const ProgramResult once = run_tool_on_sim({"--no-reply", "3F65,1", "--mode", "2"}, {"-g"});
  EXPECT_EQ(once.out, kInfo + "Current Touch Mode:[Threshold-2]\n");
  EXPECT_EQ(once.exit_code, 0);
  EXPECT_GE(once.wall_ms, 2500);

  // Three information queries answered, then the node goes away.
  const ProgramResult vanished = run_tool_on_sim({"--vanish-after", "3"}, {"-g"});
  EXPECT_EQ(vanished.out, kInfo + "(E) Get Touch Mode Fail\n");
  EXPECT_EQ(vanished.exit_code, 4);
}

// A session recorded by one simulator is played back by another that knows
// nothing of the first one's state: the tool prints the same, and a tool
// run that asks something else is caught.
TEST(SimOptions, RecordedSessionReplays) {
  test::ScratchDir dir;
  const std::string trace = dir.file("session.trace");
  const ProgramResult recorded = run_tool_on_sim({"--mode", "3", "--model", "PLVX-7100", "--record", trace}, {"-g"});
  ASSERT_EQ(recorded.exit_code, 0) << recorded.out;
  EXPECT_EQ(test::read_file(trace).rfind("# tmode report trace 1: seconds, > written or < read, bytes\n", 0), 0u);

  const ProgramResult replayed = run_tool_on_sim({"--replay", trace}, {"-g"});
  EXPECT_EQ(replayed.out, recorded.out);
  EXPECT_EQ(replayed.exit_code, 0) << replayed.err;

  const ProgramResult missing = run_tool_on_sim({"--replay", dir.file("none")}, {"-g"});
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_EQ(missing.err, "tmode-sim: " + dir.file("none") + ": cannot be read\n");
}

// A tool run that asks what the recording does not hold: the command goes
// unanswered (the tool waits out its attempts), and the simulator says which
// command left the recording.
TEST(SimOptions, SlowReplayOffTheRecordingFails) {
  test::ScratchDir dir;
  const std::string trace = dir.file("session.trace");
  ASSERT_EQ(run_tool_on_sim({"--mode", "3", "--record", trace}, {"-g"}).exit_code, 0);
  std::string text = test::read_file(trace);
  // Without the last command and its reply (the touch-mode read).
  text.erase(text.rfind(" > "));
  text.erase(text.rfind('\n') + 1);
  test::write_file(trace, text);

  const ProgramResult cut = run_tool_on_sim({"--replay", trace}, {"-g"});
  EXPECT_NE(cut.exit_code, 0);
  EXPECT_NE(cut.out.find("(E) Get Touch Mode Fail"), std::string::npos) << cut.out;
  EXPECT_NE(cut.err.find("commands off the recording; first: command 4: expected nothing, got 03 03 3f 65 00"),
            std::string::npos)
      << cut.err;
}

}  // namespace
}  // namespace tmode
