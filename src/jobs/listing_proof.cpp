#include "jobs/listing_proof.h"

#include <algorithm>

#include "jobs/job_texts.h"
#include "link/protocol.h"

namespace cardpush {

std::string CardKey(std::string_view cardName)
{
    return protocol::TrimName(cardName.substr(0, protocol::kCardNameSize));
}

std::set<std::string> ListedKeys(const std::vector<std::string>& listedNames)
{
    std::set<std::string> keys;
    for (const auto& name : listedNames) {
        keys.insert(CardKey(name));
    }
    return keys;
}

ProofVerdict Judge(const SentOperation& sent, const std::set<std::string>& listedKeys)
{
    const bool listed = listedKeys.contains(CardKey(sent.operation.cardName));
    if (sent.operation.kind != CardOperation::Kind::Upload) {
        return listed ? ProofVerdict::Refuted : ProofVerdict::Proven;
    }
    if (!listed) {
        return ProofVerdict::Refuted;
    }
    return sent.listedBefore ? ProofVerdict::Unproven : ProofVerdict::Proven;
}

std::string NameList(const std::vector<std::string>& names)
{
    std::string text;
    const std::size_t shown = std::min(names.size(), kNamesListed);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += names[i];
    }
    if (names.size() > shown) {
        text += job_texts::kAndMore.str() + std::to_string(names.size() - shown);
    }
    return text;
}

}  // namespace cardpush
