// Where a print job's bytes come from: a file or standard input read piece
// by piece, so that a job of any length holds one piece in memory, or a
// text already in memory (the demonstration's page).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ovlsim {

class JobSource {
public:
    virtual ~JobSource() = default;
    // Reads the next piece, at most `size` bytes, into `buffer`: *got is 0
    // at the end. False, with the reason, when the source cannot be read.
    virtual bool Read(char *buffer, size_t size, size_t *got, std::string *error) = 0;
    // The job's length when it is known before it is read (a regular file
    // or a text), else nothing (a pipe, a terminal, a device).
    virtual std::optional<uint64_t> Size() const = 0;
};

// Opens `path` for a job ("-": standard input). Null, with the reason in
// `error`, when it cannot be read or is a folder.
std::unique_ptr<JobSource> OpenJobFile(const std::string &path, std::string *error);

// A job held in memory.
std::unique_ptr<JobSource> JobText(std::string text);

}  // namespace ovlsim
