#include "jobs/listing_proof.h"

#include <algorithm>
#include <iterator>
#include <map>

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

Proof Prove(const Sent& sent, const std::vector<std::string>& listing)
{
    const std::set<std::string> keys = ListedKeys(listing);
    Proof proof;
    std::map<std::filesystem::path, ProofVerdict> uploads;
    for (const auto& operation : sent.operations) {
        const ProofVerdict verdict = Judge(operation, keys);
        CardOperation done = operation.operation;
        const bool upload = done.kind == CardOperation::Kind::Upload;
        switch (verdict) {
            case ProofVerdict::Proven:
                done.result.clear();
                break;
            case ProofVerdict::Refuted:
                done.result = upload ? job_texts::kNotOnCard.str() : job_texts::kNotDeleted.str();
                break;
            case ProofVerdict::Unproven:
                done.result = job_texts::kSent.str();
                break;
        }
        if (upload) {
            uploads[done.localFile] = verdict;
        } else if (verdict == ProofVerdict::Refuted) {
            proof.notDeleted.push_back(done.cardName);
        }
        proof.operations.push_back(std::move(done));
    }
    for (const auto& job : sent.toDelete) {
        const auto upload = uploads.find(job.path);
        const ProofVerdict verdict =
            upload == uploads.end() ? ProofVerdict::Refuted : upload->second;
        switch (verdict) {
            case ProofVerdict::Proven:
                proof.proven.push_back(job);
                break;
            case ProofVerdict::Unproven:
                proof.wasListed.push_back(job);
                break;
            case ProofVerdict::Refuted:
                proof.notConfirmed.push_back(job);
                break;
        }
    }
    return proof;
}

void ProofBook::Await(std::uint64_t request, std::uint64_t generation, Sent sent)
{
    if (!waiting_) {
        waiting_ = Awaited{};
    }
    waiting_->request = request;
    waiting_->generation = generation;
    auto& waiting = waiting_->sent;
    std::move(sent.operations.begin(), sent.operations.end(),
              std::back_inserter(waiting.operations));
    std::move(sent.toDelete.begin(), sent.toDelete.end(), std::back_inserter(waiting.toDelete));
}

std::optional<ProofBook::Answer> ProofBook::Answered(std::uint64_t request,
                                                     std::uint64_t generation)
{
    if (!waiting_ || request < waiting_->request) {
        return std::nullopt;
    }
    Answer answer{std::move(waiting_->sent), waiting_->generation == generation};
    waiting_.reset();
    return answer;
}

std::optional<Sent> ProofBook::Stalled(std::uint64_t request)
{
    if (!waiting_ || request < waiting_->request) {
        return std::nullopt;
    }
    return TakeAll();
}

std::optional<Sent> ProofBook::TakeAll()
{
    if (!waiting_) {
        return std::nullopt;
    }
    Sent sent = std::move(waiting_->sent);
    waiting_.reset();
    return sent;
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
