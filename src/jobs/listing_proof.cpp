#include "jobs/listing_proof.h"

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

}  // namespace cardpush
