// Looking a machine's stored files over for damage: what SQLite would drop
// or refuse, shared pages that are not one, printers' files cut short.
#pragma once

#include <string>
#include <vector>

namespace win9x::layer::check {

// The damage of a database's write-ahead log at `path`, one line each: a
// header SQLite cannot use, or a frame cut short or garbled, from which on
// SQLite drops every frame. A missing or empty log has none.
std::vector<std::string> LogDamage(const std::string &path);

// The damage of a shared page file: missing, not a regular file (a link is
// none), or not one page long.
std::vector<std::string> PageDamage(const std::string &path);

// What SQLite's integrity check finds in the database at `path`.
std::vector<std::string> DatabaseDamage(const std::string &path);

}  // namespace win9x::layer::check
