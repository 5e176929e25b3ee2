// A job file's lines and what their upload puts on the wire.
//
// Pure functions over bytes already read: the file is read once, and the
// same lines are validated and sent.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/validation.h"

namespace cardpush {

// Splits a job file into its lines, without line ends. LF or CR LF ends a
// line; a CR not followed by LF is dropped. A last line without a line end
// is a line too; an empty file has none. A byte 0x1A at the start of a line
// ends the file; inside a line it ends the line, and the bytes after it up
// to the next line end are skipped. Every other byte, NUL included, is kept.
// No line holds LF, CR or 0x1A.
std::vector<std::string> ReadJobLines(std::string_view fileBytes);

// The upload of one job file as data, in wire order: the header frame, then
// one line frame (the line and CR LF) per line.
struct JobUpload {
    std::string header;
    std::vector<std::string> lines;
    // The bytes that the line frames carry, CR LF included: the size the
    // header announces.
    std::uint64_t payloadBytes = 0;

    std::uint64_t TotalBytes() const { return header.size() + payloadBytes; }
};

// The header announces exactly the bytes its line frames carry. For a file
// with CR LF line ends that is its size on disk; for LF line ends, a last
// line without a line end or a 0x1A it is not, and a size on disk would
// tell the controller a length that does not match what follows.
JobUpload MakeJobUpload(std::string_view cardName, std::vector<std::string> lines);

// A 64-bit hash of a file's bytes (FNV-1a): tells whether a file read twice
// held the same bytes both times.
std::uint64_t ContentHash(std::string_view bytes);

using LogLineFn = std::function<void(const std::string&)>;

// Reads the file's bytes into lines, logs the header text and validates the
// lines in file order. At the first rejected line (its messages shown by
// ValidateJobLine) it logs "false" and returns nothing: nothing of the file
// may be sent. Otherwise it returns the upload; the caller logs each line as
// it is sent.
std::optional<JobUpload> PrepareJobUpload(std::string_view cardName, std::string_view fileBytes,
                                          const ShowMessageFn& showMessage, const LogLineFn& log);

}  // namespace cardpush
