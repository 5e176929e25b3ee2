// The transfer journal: one CSV line per card operation the operator starts,
// appended to a file that is never rewritten (cardpush-journal.csv beside
// nastr.dat).
//
// The file is UTF-8 with a header line; fields are quoted as RFC 4180 asks,
// and a line break inside a field becomes a blank, so that every record is
// one line of the file and its tail can be read line by line. Each record is
// written and flushed on its own: a crash loses at most the operation under
// way.
//
// What a spreadsheet opening the file would take for a formula is written as
// text: a field that begins with =, +, -, @ or a tab (a line break is a
// blank by then) gets a leading apostrophe and quotes ("'=1+2"), and so
// does one that begins with an apostrophe itself, so that the reader, which
// drops one leading apostrophe of a quoted field, gives back the text as it
// was. A file name's bytes that are not UTF-8 (a POSIX name is bytes) are
// written as \xFF, upper-case hex.
//
// Plain C++; GUI thread (one writer per file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cardpush {

// One operation as the card commands report it. Texts are Windows-1251.
struct CardOperation {
    enum class Kind { Upload, Delete, DeleteAll, LocalDelete };
    Kind kind = Kind::Upload;
    std::string cardName;
    std::filesystem::path localFile;     // empty for a card file alone
    std::optional<std::uint64_t> bytes;  // the local file's size, when known
    std::string result;                  // empty: done; else why it was not
};

// One line of the journal, all fields as the file holds them (UTF-8).
using JournalFields = std::vector<std::string>;

class TransferJournal {
public:
    static constexpr char kFileName[] = "cardpush-journal.csv";
    static constexpr char kDone[] = "ok";

    explicit TransferJournal(std::filesystem::path file);

    const std::filesystem::path& File() const { return file_; }

    // The controller the operations go to (Windows-1251); empty until known.
    void SetController(const std::string& serialNumber, const std::string& port);

    // Appends the operation's line, stamped with the local time now; writes
    // the header line first into an empty or missing file. Returns the
    // line's fields, or nothing when the file could not be written.
    std::optional<JournalFields> Append(const CardOperation& operation);

    // The newest count lines of the file, newest first, without the header,
    // from its last 1 MiB only (the first line there, which that limit may
    // cut, is left out). A missing or unreadable file gives none.
    std::vector<JournalFields> Latest(std::size_t count) const;

    // --- the format, for the window and the tests ---
    static JournalFields HeaderFields();
    static JournalFields Fields(const std::string& localTime, const std::string& serialNumber,
                                const std::string& port, const CardOperation& operation);
    // The line of the file for fields, with its CR LF.
    static std::string FormatLine(const JournalFields& fields);
    // The fields of one line of the file (without its line end); a quoted
    // field loses one leading apostrophe.
    static JournalFields ParseLine(const std::string& line);
    // ISO 8601 with the offset from UTC: "2026-12-09T14:03:05+03:00".
    static std::string LocalTimeText(const std::tm& local, int offsetMinutes);

private:
    std::filesystem::path file_;
    std::string serialNumber_;
    std::string port_;
};

}  // namespace cardpush
