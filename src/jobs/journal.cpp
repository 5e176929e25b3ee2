#include "jobs/journal.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <utility>

#include "platform/cp1251.h"

namespace cardpush {
namespace {

constexpr std::size_t kTailBlock = 64 * 1024;

const char* KindText(CardOperation::Kind kind)
{
    switch (kind) {
        case CardOperation::Kind::Upload:
            return "upload";
        case CardOperation::Kind::Delete:
            return "delete";
        case CardOperation::Kind::DeleteAll:
            return "delete-all";
        case CardOperation::Kind::LocalDelete:
            return "local-delete";
    }
    return "";
}

// The file's text of a path: its own bytes on POSIX (UTF-8 by convention),
// its UTF-16 name as UTF-8 on Windows.
std::string PathUtf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool NeedsQuotes(const std::string& field)
{
    return field.find_first_of(",\"") != std::string::npos;
}

std::tm LocalNow(int& offsetMinutes)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::tm utc{};
#ifdef _WIN32
    localtime_s(&local, &now);
    gmtime_s(&utc, &now);
#else
    localtime_r(&now, &local);
    gmtime_r(&now, &utc);
#endif
    // The two calendars differ by at most a day, across a year's end too.
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) {
        days = local.tm_year > utc.tm_year ? 1 : -1;
    }
    offsetMinutes = (days * 24 + local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
    return local;
}

}  // namespace

TransferJournal::TransferJournal(std::filesystem::path file) : file_(std::move(file)) {}

void TransferJournal::SetController(const std::string& serialNumber, const std::string& port)
{
    serialNumber_ = serialNumber;
    port_ = port;
}

JournalFields TransferJournal::HeaderFields()
{
    return {"time",      "serial_number", "port",  "operation",
            "card_name", "local_file",    "bytes", "result"};
}

JournalFields TransferJournal::Fields(const std::string& localTime, const std::string& serialNumber,
                                      const std::string& port, const CardOperation& operation)
{
    return {localTime,
            Cp1251ToUtf8(serialNumber),
            Cp1251ToUtf8(port),
            KindText(operation.kind),
            Cp1251ToUtf8(operation.cardName),
            PathUtf8(operation.localFile),
            operation.bytes ? std::to_string(*operation.bytes) : std::string(),
            operation.result.empty() ? std::string(kDone) : Cp1251ToUtf8(operation.result)};
}

std::string TransferJournal::FormatLine(const JournalFields& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line += ',';
        }
        std::string field = fields[i];
        std::replace_if(
            field.begin(), field.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        if (!NeedsQuotes(field)) {
            line += field;
            continue;
        }
        line += '"';
        for (const char c : field) {
            line += c;
            if (c == '"') {
                line += '"';
            }
        }
        line += '"';
    }
    return line + "\r\n";
}

JournalFields TransferJournal::ParseLine(const std::string& line)
{
    JournalFields fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

std::string TransferJournal::LocalTimeText(const std::tm& local, int offsetMinutes)
{
    const char sign = offsetMinutes < 0 ? '-' : '+';
    const int offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    // Room for any int in every field, so that no value is ever cut.
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, sign, offset / 60, offset % 60);
    return text;
}

std::optional<JournalFields> TransferJournal::Append(const CardOperation& operation)
{
    int offset = 0;
    const std::tm local = LocalNow(offset);
    JournalFields fields = Fields(LocalTimeText(local, offset), serialNumber_, port_, operation);

    std::ofstream file(file_, std::ios::binary | std::ios::app);
    if (!file) {
        return std::nullopt;
    }
    file.seekp(0, std::ios::end);
    if (file.tellp() == std::streampos(0)) {
        file << FormatLine(HeaderFields());
    }
    file << FormatLine(fields);
    file.flush();
    if (!file) {
        return std::nullopt;
    }
    return fields;
}

std::vector<JournalFields> TransferJournal::Latest(std::size_t count) const
{
    std::ifstream file(file_, std::ios::binary);
    if (!file || count == 0) {
        return {};
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size <= 0) {
        return {};
    }
    // Blocks from the end until the tail holds count whole lines beyond the
    // one the first block may cut (or the file's start is reached).
    std::string tail;
    std::streamoff start = size;
    while (start > 0 &&
           static_cast<std::size_t>(std::count(tail.begin(), tail.end(), '\n')) <= count) {
        const auto block = static_cast<std::streamoff>(
            std::min<std::uint64_t>(kTailBlock, static_cast<std::uint64_t>(start)));
        start -= block;
        std::string chunk(static_cast<std::size_t>(block), '\0');
        file.seekg(start);
        if (!file.read(chunk.data(), block)) {
            return {};
        }
        tail = chunk + tail;
    }
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < tail.size()) {
        std::size_t end = tail.find('\n', from);
        if (end == std::string::npos) {
            end = tail.size();
        }
        lines.push_back(tail.substr(from, end - from));
        from = end + 1;
    }
    // The first is a line the first block cut, or the header line.
    if (!lines.empty()) {
        lines.erase(lines.begin());
    }
    std::vector<JournalFields> latest;
    for (auto line = lines.rbegin(); line != lines.rend() && latest.size() < count; ++line) {
        if (!line->empty() && *line != "\r") {
            latest.push_back(ParseLine(*line));
        }
    }
    return latest;
}

}  // namespace cardpush
