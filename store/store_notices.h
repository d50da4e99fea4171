// Notices: things the store did on its own that the user should hear of
// (an index made anew because it no longer matched its table). The store
// does not know how the user is reached; the layer above installs a sink
// for the process, and the store hands each notice to it. Texts are UTF-8.
#pragma once
#include <functional>
#include <string>

namespace store {

using NoticeSink = std::function<void(const std::string& text)>;

// Installs the sink (an empty one removes it) and returns the one it
// replaces, so that the caller can put it back.
NoticeSink SetNoticeSink(NoticeSink sink);

// Hands the text to the installed sink; without one, the text is written
// to the standard error stream so that it is never lost.
void Notify(const std::string& text);

// Installs a sink for as long as the object lives, then restores the
// previous one.
class ScopedNoticeSink {
 public:
  explicit ScopedNoticeSink(NoticeSink sink) : previous_(SetNoticeSink(std::move(sink))) {}
  ~ScopedNoticeSink() { SetNoticeSink(std::move(previous_)); }
  ScopedNoticeSink(const ScopedNoticeSink&) = delete;
  ScopedNoticeSink& operator=(const ScopedNoticeSink&) = delete;

 private:
  NoticeSink previous_;
};

}  // namespace store
