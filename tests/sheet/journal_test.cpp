// The recording journal's file: records that survive being cut anywhere,
// escaping, and the lock that keeps two programs off one journal.
#include "sheet/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "support/datalog_support.h"

namespace eb {
namespace {

using datalog::JournalWriter;

// What the journal at `path` holds, read as recovery reads it.
struct Contents {
  bool found = false;
  std::string error;
  std::vector<std::string> setup;
  std::vector<std::vector<std::string>> samples;
  size_t dropped = 0;
};
Contents ReadJournal(const std::string& path) {
  Contents c;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return c;
  c.found = true;
  const auto scan = datalog::ScanJournal(fd, [&c](std::string_view record) {
    char kind = 0;
    std::vector<std::string> fields;
    EXPECT_TRUE(datalog::SplitJournalRecord(record, &kind, &fields, 1000));
    (kind == 'H' ? c.setup : c.samples.emplace_back()) = fields;
  });
  close(fd);
  c.error = scan.error;
  c.dropped = scan.cutBytes;
  return c;
}

const std::vector<std::string> kSetup{"8", "8", "6.4", "/data/run.xlsx", "stamp", "1"};

std::vector<std::string> Sample(int n) {
  return {std::to_string(n), "tab\there", "line\nbreak", "back\\slash", "", "3.600"};
}

TEST(Journal, RecordsComeBackAsWritten) {
  test::ScratchDir dir;
  JournalWriter w;
  ASSERT_TRUE(w.Start(dir.path(), kSetup)) << w.error();
  for (int n = 1; n <= 3; ++n) ASSERT_TRUE(w.Append(Sample(n))) << w.error();
  const auto c = ReadJournal(w.path());
  EXPECT_TRUE(c.found);
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(c.setup, kSetup);
  ASSERT_EQ(c.samples.size(), 3u);
  EXPECT_EQ(c.samples[2], Sample(3));
  EXPECT_EQ(c.dropped, 0u);
  w.Finish();
  EXPECT_TRUE(dir.Entries().empty());
  EXPECT_FALSE(ReadJournal(dir / datalog::kJournalName).found);
}

TEST(Journal, ALastRecordCutAnywhereIsDroppedAndTheRestKept) {
  test::ScratchDir dir;
  std::string whole;
  {
    JournalWriter w;
    ASSERT_TRUE(w.Start(dir.path(), kSetup));
    ASSERT_TRUE(w.Append(Sample(1)));
    ASSERT_TRUE(w.Append(Sample(2)));
    whole = test::FileBytes(w.path());
  }
  const std::string last = datalog::JournalLine('S', Sample(2)) + "\n";
  ASSERT_EQ(whole.substr(whole.size() - last.size()), last);
  const std::string path = dir / "cut.journal";
  for (size_t keep = whole.size() - last.size(); keep < whole.size(); ++keep) {
    std::ofstream(path, std::ios::trunc | std::ios::binary) << whole.substr(0, keep);
    const auto c = ReadJournal(path);
    ASSERT_EQ(c.samples.size(), 1u) << "cut at byte " << keep;
    EXPECT_EQ(c.samples[0], Sample(1));
    EXPECT_EQ(c.dropped, keep - (whole.size() - last.size()));
  }
  // A damaged byte in the last record drops it too; so does any change.
  for (size_t at = whole.size() - last.size(); at < whole.size() - 1; ++at) {
    std::string bad = whole;
    bad[at] = static_cast<char>(bad[at] ^ 0x20);
    std::ofstream(path, std::ios::trunc | std::ios::binary) << bad;
    const auto c = ReadJournal(path);
    EXPECT_EQ(c.samples.size(), 1u) << "damaged at byte " << at;
  }
}

TEST(Journal, OneProgramAtATimeWritesAFolder) {
  test::ScratchDir dir;
  JournalWriter first, second;
  ASSERT_TRUE(first.Start(dir.path(), kSetup));
  EXPECT_FALSE(second.Start(dir.path(), kSetup));
  EXPECT_EQ(second.error(),
            "the datalog folder " + dir.path() + " is in use by another eb2250-gui");
  datalog::JournalLock probe;
  EXPECT_EQ(probe.Take(dir.path(), false), datalog::JournalLock::Result::kInUse);
  // The first one's journal is untouched by the refused start.
  ASSERT_TRUE(first.Append(Sample(1)));
  EXPECT_EQ(ReadJournal(first.path()).samples.size(), 1u);
  first.Finish();
  EXPECT_TRUE(second.Start(dir.path(), kSetup)) << second.error();
}

// However long the recording, the journal holds the setup and at most twice
// the samples recovery needs, stays locked through every rewrite and ends
// with the latest samples in order.
TEST(Journal, ALongRecordingKeepsTheJournalWithinTwiceTheRing) {
  test::ScratchDir dir;
  JournalWriter w;
  constexpr int kKeep = 8;
  ASSERT_TRUE(w.Start(dir.path(), kSetup, kKeep));
  constexpr int kSamples = 150;
  for (int n = 1; n <= kSamples; ++n) {
    ASSERT_TRUE(w.Append(Sample(n))) << w.error();
    ASSERT_LT(w.records(), 2u * kKeep);
    if (n % 13 == 0) {
      datalog::JournalLock probe;
      EXPECT_EQ(probe.Take(dir.path(), false), datalog::JournalLock::Result::kInUse);
    }
  }
  const auto c = ReadJournal(w.path());
  EXPECT_EQ(c.error, "");
  ASSERT_EQ(c.setup.size(), kSetup.size() + 1);
  EXPECT_EQ(std::vector<std::string>(c.setup.begin(), c.setup.end() - 1), kSetup);
  ASSERT_GE(c.samples.size(), static_cast<size_t>(kKeep));
  EXPECT_EQ(c.setup.back(), std::to_string(kSamples - c.samples.size()));  // left out
  for (size_t i = 0; i < c.samples.size(); ++i)
    EXPECT_EQ(c.samples[i], Sample(static_cast<int>(kSamples - c.samples.size() + 1 + i)));
  EXPECT_EQ(dir.Entries().size(), 1u);  // no rewrite left behind
  w.Finish();
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(Journal, AFolderThatCannotBeWrittenIsSaid) {
  test::ScratchDir dir;
  JournalWriter w;
  EXPECT_FALSE(w.Start(dir / "gone", kSetup));
  EXPECT_EQ(w.error(), "No such file or directory");
  EXPECT_FALSE(w.Active());
  EXPECT_FALSE(w.Append(Sample(1)));
  // Not a journal: refused as a whole.
  std::ofstream(dir / "other.journal") << "something else\n";
  EXPECT_EQ(ReadJournal(dir / "other.journal").error, "not a datalog journal");
}

TEST(Journal, AppendingASampleCostsLittle) {
  test::ScratchDir dir;
  JournalWriter w;
  ASSERT_TRUE(w.Start(dir.path(), kSetup));
  // A ten-board sample: 7 head fields and 210 cells of typical size.
  std::vector<std::string> sample(7, "12-08-2026_03_15_42 PM");
  for (int i = 0; i < 210; ++i) sample.push_back("3.600");
  const auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < 50; ++n) ASSERT_TRUE(w.Append(sample));
  const auto each = (std::chrono::steady_clock::now() - start) / 50;
  // Written and on the disk before the next sample, 800 ms later.
  EXPECT_LT(each, std::chrono::milliseconds(100));
  std::printf("journal append of a ten-board sample: %.3f ms\n",
              std::chrono::duration<double, std::milli>(each).count());
}

}  // namespace
}  // namespace eb
