#include "tests/support/child_holder.h"

#include <stdexcept>

#include "store/path_text.h"
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

namespace testsupport {

namespace {

std::string Word(Sharing s) { return s == Sharing::Exclusive ? "exclusive" : "shared"; }

}  // namespace

FileHolder::FileHolder(const std::filesystem::path& file, Sharing sharing)
    : FileHolder(std::vector<std::string>{"file", Word(sharing), store::PathText(file)}) {}

FileHolder::FileHolder(const std::vector<std::string>& arguments)
    : child_(new ChildProcess(HolderPath(), arguments)) {
  if (!child_->ReadLine(report_.line)) report_.line = "error: the holder ended without a word";
}

FileHolder::~FileHolder() { Release(); }

void FileHolder::Release() {
  if (!child_) return;
  child_->CloseInput();
  child_->Wait();
  child_.reset();
}

TableHolder::TableHolder(const std::filesystem::path& folder, const std::string& name,
                         Sharing sharing)
    : FileHolder(std::vector<std::string>{"table", Word(sharing), store::PathText(folder), name}) {}

OpenOutcome OtherProgramOpens(const std::filesystem::path& file, Sharing sharing,
                              std::string* detail) {
  const CommandResult r = RunProgram(HolderPath(), {"try", Word(sharing), store::PathText(file)});
  std::string line = r.out.substr(0, r.out.find_first_of("\r\n"));
  if (detail) *detail = line + r.err;
  if (line == "opened") return OpenOutcome::Opened;
  if (line == "busy") return OpenOutcome::Busy;
  return OpenOutcome::Failed;
}

}  // namespace testsupport
