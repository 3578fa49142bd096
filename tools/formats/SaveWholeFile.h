// Whole-file saving for the tools: the bytes go to a temporary file in the
// target's folder, which is renamed over the target once complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes `bytes` to `path` through a temporary file in the same folder that
// is renamed over `path` once complete. False with the reason in `error`;
// an earlier file at `path` is then untouched.
bool SaveWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
