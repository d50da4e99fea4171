#include "store/store_notices.h"

#include <iostream>
#include <utility>

namespace store {

namespace {
NoticeSink& Sink() {
  static NoticeSink sink;
  return sink;
}
}  // namespace

NoticeSink SetNoticeSink(NoticeSink sink) {
  NoticeSink previous = std::move(Sink());
  Sink() = std::move(sink);
  return previous;
}

void Notify(const std::string& text) {
  // A copy: the sink may install another one while it runs.
  NoticeSink sink = Sink();
  if (sink) {
    sink(text);
  } else {
    std::cerr << text << '\n';
  }
}

}  // namespace store
