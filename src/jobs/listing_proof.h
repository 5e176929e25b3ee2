// What a card listing proves about the frames the card commands sent.
//
// The controller acknowledges no frame; only a listing asked for after the
// frames shows what they did. A delete is proven when that listing no
// longer names the file. An upload is proven when it names the file and the
// name was absent from a listing taken after the deletes and before the
// upload: a name that was on the card already proves nothing, since a card
// that is full or write-protected keeps its old file and lists it as before.
// Only an upload so proven lets its job file be deleted.
//
// Pure: the card commands act on what these hand back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/journal.h"
#include "platform/files.h"

namespace cardpush {

// The card keeps the first 8 bytes of a card name and lists them: two card
// names that agree in them are one file on the card.
std::string CardKey(std::string_view cardName);

// The card keys of a listing's names (trimmed as a delete frame trims them).
std::set<std::string> ListedKeys(const std::vector<std::string>& listedNames);

enum class ProofVerdict : std::uint8_t {
    Proven,    // the listing shows it done
    Refuted,   // the listing shows it not done: a deleted name still listed,
               // an uploaded one missing
    Unproven,  // the listing can't tell: the uploaded name was listed before
};

// A frame sent to the card and what is known of the card before it went.
struct SentOperation {
    CardOperation operation;  // an upload or a card delete; result empty
    // Uploads: the card name was in the listing taken before it went.
    bool listedBefore = false;
};

ProofVerdict Judge(const SentOperation& sent, const std::set<std::string>& listedKeys);

// A job file sent whole, as it was when read for sending: deleted once its
// upload is proven, if it is still that file.
struct SentJobFile {
    std::filesystem::path fileName;
    std::filesystem::path path;
    std::string cardName;
    platform::FileStamp stamp;
};

// What a command sent, waiting for a listing to show it.
struct Sent {
    std::vector<SentOperation> operations;
    std::vector<SentJobFile> toDelete;

    bool Empty() const { return operations.empty() && toDelete.empty(); }
};

// What a listing shows of what was sent.
struct Proof {
    // Every operation, its result filled in: empty when proven ("ok"), else
    // why not.
    std::vector<CardOperation> operations;
    // Job files whose upload is proven, to be deleted if unchanged.
    std::vector<SentJobFile> proven;
    // Job files that stay: their card name was listed before the upload;
    // the listing does not name them.
    std::vector<SentJobFile> wasListed;
    std::vector<SentJobFile> notConfirmed;
    // Card names still listed after their delete.
    std::vector<std::string> notDeleted;
};
Proof Prove(const Sent& sent, const std::vector<std::string>& listing);

// What was sent on one connection and waits for the listing that answers a
// request made after it; what waits from an earlier command is answered by
// a later listing too (it comes after every byte sent before it).
class ProofBook {
public:
    void Await(std::uint64_t request, std::uint64_t generation, Sent sent);
    // The listing that answers request on generation: what it is to show,
    // when it is awaited. A listing of another connection shows nothing:
    // what waited is handed back for GiveUp.
    struct Answer {
        Sent sent;
        bool sameConnection = true;
    };
    std::optional<Answer> Answered(std::uint64_t request, std::uint64_t generation);
    // The listing of request has stopped coming (or the link went): what
    // waits for it or an earlier one will not be shown.
    std::optional<Sent> Stalled(std::uint64_t request);
    // Everything still waiting.
    std::optional<Sent> TakeAll();
    bool Waiting() const { return waiting_.has_value(); }

private:
    struct Awaited {
        std::uint64_t request = 0;
        std::uint64_t generation = 0;
        Sent sent;
    };
    std::optional<Awaited> waiting_;
};

// A message that lists files names at most this many; the rest are counted.
inline constexpr std::size_t kNamesListed = 20;
// The names joined by ", ", at most kNamesListed of them, then " и ещё "
// and how many more there are (Windows-1251).
std::string NameList(const std::vector<std::string>& names);

}  // namespace cardpush
