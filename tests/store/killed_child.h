// Processes killed at a chosen point of a commit, for the store tests: a
// child made by fork runs the work and dies by SIGKILL when the commit
// reaches that point (Linux only: Windows has no fork).
#pragma once
#ifndef _WIN32
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/pager.h"

namespace storetest {

// The commit point at which KillHere kills this process.
inline store::CommitPoint killAt = store::CommitPoint::Done;

// A commit hook (SetCommitHookForTesting) that kills this process at killAt.
inline void KillHere(store::CommitPoint p) {
  if (p == killAt) ::kill(::getpid(), SIGKILL);
}

// Runs body in a child process that must die by SIGKILL.
template <typename F>
void RunChildKilled(F body) {
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    try {
      body();
    } catch (...) {
      ::_exit(3);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own, status " << status;
}

}  // namespace storetest

#endif  // !_WIN32
