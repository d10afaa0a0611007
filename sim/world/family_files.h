// The Sorrelink family's files on drive C: held against what the registry
// says of them: every registered monitor's library, and each model's agent
// and setup program, must be there and whole.
#pragma once

#include <string>
#include <vector>

namespace ovlsim {

// One line per file that is missing or cut short, or per registry key that
// cannot be read.
std::vector<std::string> FamilyFileProblems();

}  // namespace ovlsim
