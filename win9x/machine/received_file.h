// The file beside machine.db that holds the bytes one simulated printer
// received: appended to only, its committed length kept in the database.
// Every function runs under the caller's write transaction on machine.db,
// which is what keeps writers of one file apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace win9x::layer::received {

// printer-<row>.received in the folder of `databasePath`.
std::string PathFor(const std::string &databasePath, int64_t printerRow);

// Writes the bytes at *length, the committed length, overwriting a tail a
// crash left behind. A file shorter than *length (a power cut lost its end)
// is written at its own end; *length becomes the new length.
bool Append(const std::string &path, int64_t *length, const void *data, size_t size);
// Cuts the file to *length when it is longer; when it is shorter, *length
// becomes its length.
bool Cut(const std::string &path, int64_t *length);
// What is wrong with the file when it holds fewer than `length` bytes (cut,
// or gone): "printer-1.received holds 100 of its 3000 bytes"; else empty.
std::string Shortfall(const std::string &path, int64_t length);
// The first `length` bytes (fewer when the file is shorter).
std::string Read(const std::string &path, int64_t length);
// Replaces the file's content (a machine of an older layout moving in).
bool Replace(const std::string &path, const std::string &bytes);
void RemoveAll(const std::string &machineDir);

}  // namespace win9x::layer::received
