#include "jobs/journal.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <utility>

#include "platform/cp1251.h"

namespace cardpush {
namespace {

// Latest reads no more of the file than this, from its end.
constexpr std::streamoff kTailBytes = 1024 * 1024;

// A field that begins with one of these is written after an apostrophe: a
// spreadsheet would take the first four and a tab for a formula (a carriage
// return too, but that is a blank by then), and the apostrophe itself is
// added to so that the reader can drop one.
constexpr std::string_view kGuardedStarts = "=+-@\t'";

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

// The length of the well-formed UTF-8 sequence at text[i], or 0 when the
// byte there begins none (a stray or cut sequence, an overlong form, a
// surrogate, beyond U+10FFFF).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // the second byte's range; the others' is 80..BF
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// The bytes as they stand where they are UTF-8; any other byte as \xFF.
std::string EscapeNonUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (const std::size_t length = Utf8SequenceAt(bytes, i); length > 0) {
            text.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(bytes[i]));
        text += escaped;
        ++i;
    }
    return text;
}

// The file's text of a path, valid UTF-8 whatever the name. On POSIX its own
// bytes, UTF-8 by convention. On Windows its UTF-16 name, where a surrogate
// without its pair (a name may hold one) is encoded alone, three bytes that
// are not UTF-8 and so come out escaped, as the library's conversion would
// throw on it.
std::string PathUtf8(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::wstring& name = path.native();
    std::string bytes;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char32_t cp = name[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (name[++i] - 0xDC00);
        }
        if (cp < 0x80) {
            bytes += static_cast<char>(cp);
        } else if (cp < 0x800) {
            bytes += static_cast<char>(0xC0 | (cp >> 6));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            bytes += static_cast<char>(0xE0 | (cp >> 12));
            bytes += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (cp >> 18));
            bytes += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return EscapeNonUtf8(bytes);
#else
    return EscapeNonUtf8(path.native());
#endif
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

TransferJournal::TransferJournal(std::filesystem::path file, JournalOrigin origin)
    : file_(std::move(file)), origin_(origin)
{
}

TransferJournal::~TransferJournal()
{
    if (!held_.empty()) {
        WritePending();
    }
}

void TransferJournal::SetController(const std::string& serialNumber, const std::string& port)
{
    serialNumber_ = serialNumber;
    port_ = port;
}

JournalFields TransferJournal::HeaderFields()
{
    return {"time",       "serial_number", "port",   "operation", "card_name",
            "local_file", "bytes",         "result", "origin"};
}

JournalFields TransferJournal::Fields(const std::string& localTime, const std::string& serialNumber,
                                      const std::string& port, const CardOperation& operation,
                                      JournalOrigin origin)
{
    return {localTime,
            Cp1251ToUtf8(serialNumber),
            Cp1251ToUtf8(port),
            KindText(operation.kind),
            Cp1251ToUtf8(operation.cardName),
            PathUtf8(operation.localFile),
            operation.bytes ? std::to_string(*operation.bytes) : std::string(),
            operation.result.empty() ? std::string(kDone) : Cp1251ToUtf8(operation.result),
            origin == JournalOrigin::Window ? "window" : "command-line"};
}

std::string TransferJournal::FormatLine(const JournalFields& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line += ',';
        }
        std::string field = fields[i];
        // The blanks first, so that the guard looks at what is written: a
        // field that began with a line break no longer begins with one.
        std::replace_if(
            field.begin(), field.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        const bool guarded =
            !field.empty() && kGuardedStarts.find(field.front()) != std::string_view::npos;
        if (guarded) {
            field.insert(field.begin(), '\'');
        } else if (!NeedsQuotes(field)) {
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
    std::size_t fieldStart = 0;
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
            // The apostrophe that keeps a spreadsheet from a formula.
            if (i == fieldStart && i + 1 < line.size() && line[i + 1] == '\'') {
                ++i;
            }
        } else if (c == ',') {
            fields.emplace_back();
            fieldStart = i + 1;
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
    JournalFields fields =
        Fields(LocalTimeText(local, offset), serialNumber_, port_, operation, origin_);
    for (const auto& field : fields) {
        heldBytes_ += field.size();
    }
    held_.push_back(fields);
    if (!WritePending()) {
        holdNoticeDue_ = holdNoticeDue_ || !everHeld_;
        everHeld_ = true;
        GiveWay();
    }
    return fields;
}

bool TransferJournal::TakeHoldNotice()
{
    return std::exchange(holdNoticeDue_, false);
}

void TransferJournal::GiveWay()
{
    // The newest line stays, however long.
    while (held_.size() > 1 && (held_.size() > kMaxHeldLines || heldBytes_ > kMaxHeldBytes)) {
        for (const auto& field : held_.front()) {
            heldBytes_ -= field.size();
        }
        lastLost_ = std::move(held_.front());
        held_.pop_front();
        ++lost_;
    }
}

std::vector<JournalFields> TransferJournal::Pending() const
{
    std::vector<JournalFields> pending;
    pending.reserve(held_.size() + 1);
    if (lost_ > 0) {
        // Where the lines that gave way stood, with the time and controller
        // of the last of them.
        pending.push_back(
            {lastLost_[0], lastLost_[1], lastLost_[2], kUnrecorded, "", "", "",
             "lines lost while the file could not be written: " + std::to_string(lost_),
             lastLost_[8]});
    }
    pending.insert(pending.end(), held_.begin(), held_.end());
    return pending;
}

bool TransferJournal::WritePending()
{
    std::ofstream file(file_, std::ios::binary | std::ios::app);
    if (!file) {
        return false;
    }
    file.seekp(0, std::ios::end);
    const std::streamoff size = file.tellp();
    std::string text;
    if (size == 0) {
        text = FormatLine(HeaderFields());
    } else {
        // A line cut short (a crash, a full disk) is ended, so that the next
        // record does not run on from it.
        std::ifstream last(file_, std::ios::binary);
        char end = '\n';
        if (last.seekg(size - 1) && last.get(end) && end != '\n') {
            text = "\r\n";
        }
    }
    for (const auto& fields : Pending()) {
        text += FormatLine(fields);
    }
    file << text;
    file.flush();
    if (!file) {
        // Held still: a line the failure cut is ended next time, and one it
        // wrote whole may be there twice, but none is lost.
        return false;
    }
    held_.clear();
    heldBytes_ = 0;
    lost_ = 0;
    lastLost_.clear();
    return true;
}

std::vector<JournalFields> TransferJournal::Latest(std::size_t count) const
{
    std::vector<JournalFields> latest;
    const auto pending = Pending();
    for (auto line = pending.rbegin(); line != pending.rend() && latest.size() < count; ++line) {
        latest.push_back(*line);
    }
    std::ifstream file(file_, std::ios::binary);
    if (!file || latest.size() == count) {
        return latest;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size <= 0) {
        return latest;
    }
    const std::streamoff length = std::min(size, kTailBytes);
    std::string tail(static_cast<std::size_t>(length), '\0');
    if (!file.seekg(size - length) || !file.read(tail.data(), length)) {
        return latest;
    }
    // The first line is the header, or one the limit cut: left out.
    const std::size_t first = tail.find('\n');
    if (first == std::string::npos) {
        return latest;
    }
    std::size_t end = tail.size();
    while (end > first + 1 && latest.size() < count) {
        const std::size_t before = tail.rfind('\n', end - 1);
        const std::string line = tail.substr(before + 1, end - before - 1);
        end = before;
        if (!line.empty() && line != "\r") {
            latest.push_back(ParseLine(line));
        }
    }
    return latest;
}

}  // namespace cardpush
