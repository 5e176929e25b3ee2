// A job file's lines and what their upload puts on the wire.
//
// Pure functions over bytes already read: the file is read once, and the
// same bytes are validated and sent. Lines are read as views into those
// bytes, never copied, so a job file costs little more than its own size
// whatever its lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/validation.h"

namespace cardpush {

// Job files are the files of the source folder whose names end in "." and
// this, letter case ignored.
inline constexpr char kJobExtension[] = "txt";

// Reads a job file's lines in file order, without their line ends. LF or
// CR LF ends a line. A CR that no LF follows ends a line too, and is noted:
// the controller takes CR LF apart into lines, so a file with such a CR can't
// go to the card as it reads here (see JobShape::loneCrLine). A last line
// without a line end is a line too; an empty file has none. A byte 0x1A at
// the start of a line ends the file; inside a line it ends the line, and the
// bytes after it up to the next LF are skipped. Every other byte, NUL
// included, is kept. No line holds LF, CR or 0x1A.
class JobLineReader {
public:
    explicit JobLineReader(std::string_view fileBytes) : bytes_(fileBytes) {}

    // The next line, a view into the file's bytes; false after the last.
    bool Next(std::string_view& line);
    // Whether the line Next gave last was ended by a CR without LF.
    bool LastEndedByLoneCr() const { return loneCr_; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    bool ended_ = false;
    bool loneCr_ = false;
};

// The lines of a job file, copied (for tests and small files).
std::vector<std::string> ReadJobLines(std::string_view fileBytes);

// What one pass over a job file learns.
struct JobShape {
    std::size_t lines = 0;
    // The bytes that the line frames carry, CR LF included: the size the
    // header announces.
    std::uint64_t payloadBytes = 0;
    // The first line (counted from 1) that a CR without LF ends, and its
    // text; 0 when there is none.
    std::size_t loneCrLine = 0;
    std::string_view loneCrText;
};
JobShape ShapeOfJob(std::string_view fileBytes);

// The upload of one job file: its header frame, and how much follows it.
struct JobUpload {
    std::string header;
    std::size_t lines = 0;
    std::uint64_t payloadBytes = 0;

    std::uint64_t TotalBytes() const { return header.size() + payloadBytes; }
};

// The header announces exactly the bytes its line frames carry. For a file
// with CR LF line ends that is its size on disk; for LF line ends, a last
// line without a line end or a 0x1A it is not, and a size on disk would
// tell the controller a length that does not match what follows.
JobUpload MakeJobUpload(std::string_view cardName, const JobShape& shape);

// The line frames of a job file (each line and CR LF, in file order),
// gathered into writes: as many whole frames as fit in limit bytes go in
// one write, a longer frame goes alone. write gets each write's bytes and
// the number of lines whose frames it carries; the bytes are valid only
// during the call.
void GatherLineFrames(std::string_view fileBytes, std::size_t limit,
                      const std::function<void(std::string_view, std::size_t)>& write);

// The last count lines of the first linesSent lines of a job file, copied:
// what the protocol log keeps of an upload.
std::vector<std::string> SentLinesToLog(std::string_view fileBytes, std::size_t linesSent,
                                        std::size_t count);

// A 64-bit hash of a file's bytes (FNV-1a): tells whether a file read twice
// held the same bytes both times.
std::uint64_t ContentHash(std::string_view bytes);

using LogLineFn = std::function<void(const std::string&)>;

// Reads the file's bytes, logs the header text and checks the file: a CR
// without LF refuses it (one message naming fileName, its Windows-1251
// text, and the first such line); otherwise every line goes through
// ValidateJobLine in file order. At the first rejected line (its messages
// shown) it logs "false" and returns nothing: nothing of the file may be
// sent. Otherwise it returns the upload; the caller logs each line as it is
// sent.
std::optional<JobUpload> PrepareJobUpload(std::string_view cardName, std::string_view fileName,
                                          std::string_view fileBytes,
                                          const ShowMessageFn& showMessage, const LogLineFn& log);

}  // namespace cardpush
