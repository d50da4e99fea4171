// The tables this process knows to be whole: a table whose index was
// checked against its records when it was opened (or that this process
// built itself), and that was then changed only through this store, is
// remembered when its last object closes, by the content of both its files
// as the store saw them. When the table is opened again in this process
// and both files still hold exactly that content, byte for byte, the
// check of the index against the records would find what it found before,
// and is skipped.
//
// Anything else is checked in full as ever: a file that another program
// wrote (even one that kept its size and modification time), a file put
// in its place, a table never remembered. The memory lives as long as the
// process.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "store/content_digest.h"

namespace store {

struct CheckedContent {
  ContentDigest dbf, mdx;
};

// Remembers the content of a table (key: the registry's key of its .DBF)
// as whole.
void RememberCheckedTable(const std::string& key, const CheckedContent& content);
// Forgets it: the content it had no longer stands for the table.
void ForgetCheckedTable(const std::string& key);
// The content remembered for the table, if any.
std::optional<CheckedContent> RememberedTable(const std::string& key);

// How many times this process checked an index against its records in
// full when a table was opened (for tests and benchmarks).
uint64_t FullIndexChecks();
void CountFullIndexCheck();

}  // namespace store
