#pragma once
// The admin's commands, "velkor-ranking admin COMMAND ...": the entries listed, hidden, shown
// again and deleted, bans, filter words, the log of what was done, and an export. They work on
// the database of a running server, which sees each change at once.
#include <cstdio>
#include <string>
#include <vector>

namespace server {

extern const char* const kAdminUsage;

// Runs the command in `args` (what follows "admin"), writing its output to `out` and its
// messages to `err`. Returns the exit status: 0 done, 1 an unknown id or entry, word or ban, or
// a database that cannot be used, 2 wrong use.
int RunAdmin(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace server
