#include "platform/net/interface_reachability.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace net {
namespace {

TEST(InterfaceReachability, LoopbackNamesAreRecognised) {
  const std::pair<const char*, bool> cases[] = {{"localhost", true},
                                                {"LOCALHOST", true},
                                                {"a.localhost", true},
                                                {"127.0.0.1", true},
                                                {"127.1.2.3", true},
                                                {"::1", true},
                                                {"[::1]", true},
                                                {"128.0.0.1", false},
                                                {"example.org", false},
                                                {"localhost.example", false},
                                                {"", false}};
  for (auto [host, loopback] : cases) EXPECT_EQ(IsLoopbackHostName(host), loopback) << host;
}

// In a network namespace of its own a process has only a loopback interface: remote hosts
// are unreachable there, loopback ones still reachable. Needs the right to unshare.
TEST(InterfaceReachability, WithoutAnInterfaceOnlyLoopbackIsReachable) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(77);
    InterfaceReachabilityProbe probe;
    const bool ok = probe.FlagsForHost("www.debian.org") == 0 &&
                    probe.FlagsForHost("127.0.0.1") == kReachabilityReachable;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no right to make a network namespace";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace net
