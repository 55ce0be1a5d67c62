#include "platform/signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace qg::platform {
namespace {

TEST(Signals, EachRequestIsReportedOnceAndOnlyTheSafePidsAreSignalled) {
  ASSERT_TRUE(installRequestSignals());
  takeOutsideRequests();  // nothing left from before

  ::raise(SIGUSR1);
  OutsideRequests got = takeOutsideRequests();
  EXPECT_TRUE(got.checkNow);
  EXPECT_FALSE(got.leave || got.reconfigure);
  EXPECT_FALSE(takeOutsideRequests().any());

  ::raise(SIGHUP);
  ::raise(SIGINT);
  ::raise(SIGPIPE);  // ignored: a closed socket must not end the agent
  got = takeOutsideRequests();
  EXPECT_TRUE(got.reconfigure);
  EXPECT_TRUE(got.leave);
  EXPECT_FALSE(got.checkNow);

  EXPECT_EQ(signalAgent(::getpid(), AgentRequest::Leave), 0);  // SIGTERM, handled
  EXPECT_TRUE(takeOutsideRequests().leave);
  for (long pid : {-1L, 0L, 1L}) EXPECT_EQ(signalAgent(pid, AgentRequest::Leave), EINVAL) << pid;
}

}  // namespace
}  // namespace qg::platform
