// The store's notices reach the user of the newest main window's workflow
// as plain messages, and nobody's after it is gone.
#include <gtest/gtest.h>

#include <memory>

#include "app/main_workflow.h"
#include "chain/process_state.h"
#include "store/store_notices.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::ScriptedUI;
using Strings = std::vector<std::string>;

TEST(StoreNotices, ShownAsPlainMessagesByTheNewestWorkflow) {
  testsupport::TempDir work;
  chain::ProcessState state;
  ScriptedUI first, second;
  auto a = std::make_unique<app::MainWorkflow>(first, state, work.path());
  store::Notify("uno");
  auto b = std::make_unique<app::MainWorkflow>(second, state, work.path());
  store::Notify("dos");
  // The older one ends first: the newer keeps the notices.
  a.reset();
  store::Notify("tres");
  b.reset();
  EXPECT_EQ(first.messages, Strings{"uno"});
  EXPECT_EQ(second.messages, (Strings{"dos", "tres"}));

  // With no workflow left, a notice goes nowhere that has ended.
  Strings caught;
  {
    store::ScopedNoticeSink sink([&](const std::string& s) { caught.push_back(s); });
    store::Notify("cuatro");
  }
  store::Notify("cinco");  // standard error
  EXPECT_EQ(caught, Strings{"cuatro"});
  EXPECT_EQ(first.messages.size() + second.messages.size(), 3u);
}

}  // namespace
