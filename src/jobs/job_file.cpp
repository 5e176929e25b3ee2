#include "jobs/job_file.h"

#include "jobs/job_texts.h"
#include "link/protocol.h"

namespace cardpush {

namespace {

constexpr char kEndOfFile = '\x1A';

}  // namespace

std::vector<std::string> ReadJobLines(std::string_view bytes)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size() && bytes[pos] != kEndOfFile) {
        std::string line;
        while (pos < bytes.size()) {
            const std::size_t special = bytes.find_first_of("\n\r\x1A", pos);
            if (special == std::string_view::npos) {
                line.append(bytes.substr(pos));
                pos = bytes.size();
                break;
            }
            line.append(bytes.substr(pos, special - pos));
            pos = special + 1;
            if (bytes[special] == '\n') {
                break;
            }
            if (bytes[special] == '\r') {
                if (pos < bytes.size() && bytes[pos] == '\n') {
                    ++pos;
                    break;
                }
                continue;
            }
            const std::size_t lineEnd = bytes.find('\n', pos);
            pos = lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1;
            break;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

JobUpload MakeJobUpload(std::string_view cardName, std::vector<std::string> lines)
{
    JobUpload upload;
    for (const std::string& line : lines) {
        upload.payloadBytes += line.size() + protocol::kLineEndSize;
    }
    upload.lines = std::move(lines);
    upload.header = protocol::HeaderFrame(cardName, upload.payloadBytes);
    return upload;
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

std::optional<JobUpload> PrepareJobUpload(std::string_view cardName, std::string_view fileBytes,
                                          const ShowMessageFn& showMessage, const LogLineFn& log)
{
    JobUpload upload = MakeJobUpload(cardName, ReadJobLines(fileBytes));
    log(upload.header);
    for (const std::string& line : upload.lines) {
        if (!ValidateJobLine(line, showMessage)) {
            log(job_texts::kRejectedLog.str());
            return std::nullopt;
        }
    }
    return upload;
}

}  // namespace cardpush
