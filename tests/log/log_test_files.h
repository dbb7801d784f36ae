// Scratch folders for the log tests: each test works in a folder of its own name inside
// the build tree, emptied before and after.
#pragma once

#include <string>
#include <vector>

namespace logtest {

// Z:\...\tests\<name>, removed with everything in it and created afresh.
std::string FreshFolder(const std::string& name);

// Removes a folder with everything in it (or a plain file); missing is fine.
void RemoveTree(const std::string& path);

// The log's lines (split at CR LF); the last element is what followed the last CR LF.
std::vector<std::string> SplitLines(const std::string& contents);

// The length of the prefix that the product writes right now.
size_t CurrentPrefixLength();

}  // namespace logtest
