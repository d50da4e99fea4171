#include "chain/notice_relay.h"

#include <algorithm>
#include <vector>

#include "store/store_notices.h"

namespace chain {

namespace {

std::vector<UserInterface*>& Relays() {
  static std::vector<UserInterface*> relays;
  return relays;
}

void InstallNewest() {
  if (Relays().empty()) {
    store::SetNoticeSink(nullptr);
    return;
  }
  UserInterface* ui = Relays().back();
  store::SetNoticeSink([ui](const std::string& text) { ui->ShowMessage(text); });
}

}  // namespace

NoticeRelay::NoticeRelay(UserInterface& ui) : ui_(ui) {
  Relays().push_back(&ui_);
  InstallNewest();
}

NoticeRelay::~NoticeRelay() {
  auto& r = Relays();
  auto it = std::find(r.rbegin(), r.rend(), &ui_);
  if (it != r.rend()) r.erase(std::next(it).base());
  InstallNewest();
}

}  // namespace chain
