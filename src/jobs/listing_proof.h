// What a card listing proves about the frames the card commands sent.
//
// The controller acknowledges no frame; only a listing asked for after the
// frames shows what they did. A delete is proven when that listing no
// longer names the file. An upload is proven when it names the file and the
// name was absent from a listing taken after the deletes and before the
// upload: a name that was on the card already proves nothing, since a card
// that is full or write-protected keeps its old file and lists it as before.
//
// Pure functions.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/journal.h"

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

// A message that lists files names at most this many; the rest are counted.
inline constexpr std::size_t kNamesListed = 20;
// The names joined by ", ", at most kNamesListed of them, then " и ещё "
// and how many more there are (Windows-1251).
std::string NameList(const std::vector<std::string>& names);

}  // namespace cardpush
