// The base-name cut and MakeCardName on any file name: the base name is a
// prefix of at most 8 bytes that stands before a ".txt" in any letter case;
// the card name holds only 0-9 and A-Z, at most 32 of them; the notice comes
// exactly when the two differ.
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "jobs/card_name.h"

namespace {

bool IsCardChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view fileName(reinterpret_cast<const char*>(data), size);
    const std::string base = cardpush::CutBaseName(fileName);
    FUZZ_CHECK(base.size() <= cardpush::kMaxBaseName);
    FUZZ_CHECK(fileName.substr(0, base.size()) == base);

    std::string lower(fileName);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    const std::size_t extension = lower.find(".txt");
    if (extension == std::string::npos) {
        FUZZ_CHECK(base.empty());
    } else if (extension <= cardpush::kMaxBaseName) {
        FUZZ_CHECK(base.size() == extension);
    } else {
        FUZZ_CHECK(base.size() == cardpush::kMaxBaseName);
    }

    for (const std::string_view name : {std::string_view(base), fileName.substr(0, 64)}) {
        const std::string card = cardpush::MakeCardName(name);
        FUZZ_CHECK(card.size() <= 4 * name.size());
        for (const char c : card) {
            FUZZ_CHECK(IsCardChar(c));
        }
        FUZZ_CHECK(cardpush::MakeCardName(card) == card);
    }
    const std::string card = cardpush::MakeCardName(base);
    FUZZ_CHECK(card.size() <= cardpush::kMaxCardName);
    FUZZ_CHECK(cardpush::NameChangeMessage(base, card).has_value() == (base != card));
    return 0;
}
