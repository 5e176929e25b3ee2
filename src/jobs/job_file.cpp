#include "jobs/job_file.h"

#include "jobs/job_texts.h"
#include "link/protocol.h"

namespace cardpush {

namespace {

constexpr char kEndOfFile = '\x1A';
// A line quoted in a message is cut after this many bytes.
constexpr std::size_t kQuotedLineBytes = 60;

}  // namespace

bool JobLineReader::Next(std::string_view& line)
{
    loneCr_ = false;
    if (ended_ || pos_ >= bytes_.size() || bytes_[pos_] == kEndOfFile) {
        ended_ = true;
        return false;
    }
    const std::size_t start = pos_;
    const std::size_t special = bytes_.find_first_of("\n\r\x1A", pos_);
    if (special == std::string_view::npos) {
        line = bytes_.substr(start);
        pos_ = bytes_.size();
        return true;
    }
    line = bytes_.substr(start, special - start);
    pos_ = special + 1;
    if (bytes_[special] == '\r') {
        if (pos_ < bytes_.size() && bytes_[pos_] == '\n') {
            ++pos_;
        } else {
            loneCr_ = true;
        }
    } else if (bytes_[special] == kEndOfFile) {
        const std::size_t lineEnd = bytes_.find('\n', pos_);
        pos_ = lineEnd == std::string_view::npos ? bytes_.size() : lineEnd + 1;
    }
    return true;
}

std::vector<std::string> ReadJobLines(std::string_view fileBytes)
{
    std::vector<std::string> lines;
    JobLineReader reader(fileBytes);
    for (std::string_view line; reader.Next(line);) {
        lines.emplace_back(line);
    }
    return lines;
}

JobShape ShapeOfJob(std::string_view fileBytes)
{
    JobShape shape;
    JobLineReader reader(fileBytes);
    for (std::string_view line; reader.Next(line);) {
        ++shape.lines;
        shape.payloadBytes += line.size() + protocol::kLineEndSize;
        if (reader.LastEndedByLoneCr() && shape.loneCrLine == 0) {
            shape.loneCrLine = shape.lines;
            shape.loneCrText = line;
        }
    }
    return shape;
}

JobUpload MakeJobUpload(std::string_view cardName, const JobShape& shape)
{
    return JobUpload{protocol::HeaderFrame(cardName, shape.payloadBytes), shape.lines,
                     shape.payloadBytes};
}

void GatherLineFrames(std::string_view fileBytes, std::size_t limit,
                      const std::function<void(std::string_view, std::size_t)>& write)
{
    std::string gathered;
    std::size_t gatheredLines = 0;
    const auto flush = [&] {
        if (gatheredLines > 0) {
            write(gathered, gatheredLines);
            gathered.clear();
            gatheredLines = 0;
        }
    };
    JobLineReader reader(fileBytes);
    for (std::string_view line; reader.Next(line);) {
        const std::size_t frameSize = line.size() + protocol::kLineEndSize;
        if (gathered.size() + frameSize > limit) {
            flush();
        }
        gathered.append(line);
        gathered.append("\r\n");
        ++gatheredLines;
    }
    flush();
}

std::vector<std::string> SentLinesToLog(std::string_view fileBytes, std::size_t linesSent,
                                        std::size_t count)
{
    const std::size_t first = linesSent > count ? linesSent - count : 0;
    std::vector<std::string> lines;
    JobLineReader reader(fileBytes);
    std::size_t index = 0;
    for (std::string_view line; index < linesSent && reader.Next(line); ++index) {
        if (index >= first) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::uint64_t ContentHash(std::string_view bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::optional<JobUpload> PrepareJobUpload(std::string_view cardName, std::string_view fileName,
                                          std::string_view fileBytes,
                                          const ShowMessageFn& showMessage, const LogLineFn& log)
{
    const JobShape shape = ShapeOfJob(fileBytes);
    JobUpload upload = MakeJobUpload(cardName, shape);
    log(upload.header);
    if (shape.loneCrLine != 0) {
        std::string quoted(shape.loneCrText.substr(0, kQuotedLineBytes));
        if (shape.loneCrText.size() > kQuotedLineBytes) {
            quoted += "...";
        }
        showMessage(job_texts::kLoneCr.str() + std::string(fileName) +
                    job_texts::kLoneCrLine.str() + std::to_string(shape.loneCrLine) +
                    job_texts::kLoneCrEnd.str() + quoted);
        log(job_texts::kRejectedLog.str());
        return std::nullopt;
    }
    JobLineReader reader(fileBytes);
    for (std::string_view line; reader.Next(line);) {
        if (!ValidateJobLine(line, showMessage)) {
            log(job_texts::kRejectedLog.str());
            return std::nullopt;
        }
    }
    return upload;
}

}  // namespace cardpush
