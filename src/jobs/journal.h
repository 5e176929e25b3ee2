// The transfer journal: one CSV line per card operation the operator starts,
// appended to a file that is never rewritten (cardpush-journal.csv beside
// nastr.dat).
//
// The last column says who started the operation: "window" or
// "command-line". A file begun before that column existed keeps its header
// of eight names; the lines added to it carry the ninth field all the same.
//
// The file is UTF-8 with a header line; fields are quoted as RFC 4180 asks,
// and a line break inside a field becomes a blank, so that every record is
// one line of the file and its tail can be read line by line. Each record is
// written and flushed on its own: a crash loses at most the operation under
// way, and a line it cut short is ended before the next record goes in.
//
// What a spreadsheet opening the file would take for a formula is written as
// text: a field that begins with =, +, -, @ or a tab (a line break is a
// blank by then) gets a leading apostrophe and quotes ("'=1+2"), and so
// does one that begins with an apostrophe itself, so that the reader, which
// drops one leading apostrophe of a quoted field, gives back the text as it
// was. A file name's bytes that are not UTF-8 (a POSIX name is bytes) are
// written as \xFF, upper-case hex.
//
// A line that can't be appended now (on Windows a spreadsheet that has the
// file open locks it against writing) is held in memory and appended, in
// order, before the next line that can be. At most kMaxHeldLines lines, or
// kMaxHeldBytes of their text, are held; beyond that the oldest held line
// gives way, and one "unrecorded" line, stamped as the last line that gave
// way, says how many did, ahead of the held lines. Nothing is dropped
// without a line that says so.
//
// Plain C++; GUI thread (one writer per file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
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
    // What kind of "not done" result is, for a caller that acts on it (the
    // command line's exit status): the file refused by its checks, the
    // operator's stop, or anything else that went wrong.
    enum class Failure { Failed, Rejected, Stopped };
    Failure failure = Failure::Failed;
};

// Who started the operations: the windows, or the command line. The last
// column of the journal.
enum class JournalOrigin { Window, CommandLine };

// One line of the journal, all fields as the file holds them (UTF-8).
using JournalFields = std::vector<std::string>;

class TransferJournal {
public:
    static constexpr char kFileName[] = "cardpush-journal.csv";
    static constexpr char kDone[] = "ok";
    // The operation of the line that stands for held lines that gave way.
    static constexpr char kUnrecorded[] = "unrecorded";
    static constexpr std::size_t kMaxHeldLines = 10000;
    static constexpr std::size_t kMaxHeldBytes = 4 * 1024 * 1024;

    explicit TransferJournal(std::filesystem::path file,
                             JournalOrigin origin = JournalOrigin::Window);
    // Tries once more to append the lines held.
    ~TransferJournal();
    TransferJournal(const TransferJournal&) = delete;
    TransferJournal& operator=(const TransferJournal&) = delete;

    const std::filesystem::path& File() const { return file_; }

    // The controller the operations go to (Windows-1251); empty until known.
    void SetController(const std::string& serialNumber, const std::string& port);

    // Appends the operation's line, stamped with the local time now, after
    // the lines held; writes the header line first into an empty or missing
    // file. When the file can't be written, the line is held (see above).
    // Returns the line's fields, which are recorded either way: the
    // optional is always engaged.
    std::optional<JournalFields> Append(const CardOperation& operation);

    // Lines held in memory, not yet in the file (those that gave way to
    // newer ones not counted).
    std::size_t Held() const { return held_.size(); }
    // True once, the first time in this journal's life that a line had to
    // be held; false ever after.
    bool TakeHoldNotice();

    // The newest count lines, newest first, without the header: those held
    // first, then the file's, from its last 1 MiB only (the first line
    // there, which that limit may cut, is left out). A missing or
    // unreadable file gives none of its own.
    std::vector<JournalFields> Latest(std::size_t count) const;

    // --- the format, for the window and the tests ---
    static JournalFields HeaderFields();
    static JournalFields Fields(const std::string& localTime, const std::string& serialNumber,
                                const std::string& port, const CardOperation& operation,
                                JournalOrigin origin = JournalOrigin::Window);
    // The line of the file for fields, with its CR LF.
    static std::string FormatLine(const JournalFields& fields);
    // The fields of one line of the file (without its line end); a quoted
    // field loses one leading apostrophe.
    static JournalFields ParseLine(const std::string& line);
    // ISO 8601 with the offset from UTC: "2026-12-09T14:03:05+03:00".
    static std::string LocalTimeText(const std::tm& local, int offsetMinutes);

private:
    // The lines waiting for the file, in the file's order: the unrecorded
    // line, if any, then those held.
    std::vector<JournalFields> Pending() const;
    // Appends what is pending; false, keeping it, when the file can't be
    // written.
    bool WritePending();
    // The oldest held lines give way until the rest are within the limits.
    void GiveWay();

    std::filesystem::path file_;
    JournalOrigin origin_;
    std::string serialNumber_;
    std::string port_;
    std::deque<JournalFields> held_;
    std::size_t heldBytes_ = 0;
    // The held lines that gave way, and the last of them.
    std::uint64_t lost_ = 0;
    JournalFields lastLost_;
    bool everHeld_ = false;
    bool holdNoticeDue_ = false;
};

}  // namespace cardpush
