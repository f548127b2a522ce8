// The "addurl" service of the shipped program, as a desktop action or a script sends it
// with truvane-send: every line of the text longer than one character becomes a download,
// through the application's own event handler; a service it does not offer changes
// nothing.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/app/shell/program_process.h"

namespace {

using namespace programtest;

std::multiset<std::string> SavedURLs() {
  std::multiset<std::string> urls;
  auto queue = values::ReadPropertyListFile(QueueFile());
  const values::Array* elements = nullptr;
  if (!queue.ok() || queue->GetArray("Elements", elements) != values::Lookup::kOk) return urls;
  for (const auto& e : *elements) {
    const values::Value* data = e.Find("url data");
    if (!data || !data->AsArray()) continue;
    for (const auto& entry : *data->AsArray())
      if (const values::Value* url = entry.Find("url")) urls.insert(url->StringOr(""));
  }
  return urls;
}

TEST(ServicesProcess, AddURLServiceAddsEachLineAndOthersAreRefused) {
  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)))
      << ReadIfExists(program.StandardErrorFile());
  const std::string text = "http://127.0.0.1:9/one.bin\n  x  \n\n   http://127.0.0.1:9/two.bin  \n";
  SendResult r = SendWords({"--timeout", "10", "serv", "perf", "----:TEXT=addurl", "TEXT:utf8=" + text});
  EXPECT_EQ(r.status, 0) << r.err;
  r = SendWords(
      {"--timeout", "10", "serv", "perf", "----:TEXT=printfile", "TEXT:utf8=http://127.0.0.1:9/three"});
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(program.Quit(std::chrono::seconds(30))) << ReadIfExists(program.StandardErrorFile());
  EXPECT_EQ(SavedURLs(),
            (std::multiset<std::string>{"http://127.0.0.1:9/one.bin", "http://127.0.0.1:9/two.bin"}));
}

}  // namespace
