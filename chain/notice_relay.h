// Passes the store's notices (store_notices.h) to the user as plain
// messages. The newest relay alive receives them; when it ends, the one
// made before it takes over again, whatever the order in which relays end.
#pragma once
#include "chain/user_interface.h"

namespace chain {

class NoticeRelay {
 public:
  explicit NoticeRelay(UserInterface& ui);
  ~NoticeRelay();
  NoticeRelay(const NoticeRelay&) = delete;
  NoticeRelay& operator=(const NoticeRelay&) = delete;

 private:
  UserInterface& ui_;
};

}  // namespace chain
