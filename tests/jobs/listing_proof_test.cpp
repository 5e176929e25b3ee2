#include "jobs/listing_proof.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cp1251.h"

namespace cardpush {
namespace {

using Kind = CardOperation::Kind;

struct JudgeCase {
    const char* what;
    Kind kind;
    std::string cardName;
    bool listedBefore;
    ProofVerdict verdict;
};

// The listing after the frames names "JOB" and "ABCDEFGH" (the card keeps 8
// bytes of a name), padded with blanks as the controller sends them.
TEST(ListingProof, WhatTheListingAfterTheFramesShows)
{
    const std::set<std::string> listed = ListedKeys({"JOB     ", "ABCDEFGH"});
    const JudgeCase cases[] = {
        {"upload listed, absent before", Kind::Upload, "JOB", false, ProofVerdict::Proven},
        {"upload listed under its first 8 bytes", Kind::Upload, "ABCDEFGHIJ", false,
         ProofVerdict::Proven},
        {"upload listed, but listed before too", Kind::Upload, "JOB", true, ProofVerdict::Unproven},
        {"upload not listed", Kind::Upload, "NEW", false, ProofVerdict::Refuted},
        {"delete no longer listed", Kind::Delete, "OLD", true, ProofVerdict::Proven},
        {"delete still listed", Kind::DeleteAll, "JOB", true, ProofVerdict::Refuted},
    };
    for (const JudgeCase& c : cases) {
        const SentOperation sent{CardOperation{c.kind, c.cardName, {}, {}, {}}, c.listedBefore};
        EXPECT_EQ(c.verdict, Judge(sent, listed)) << c.what;
    }
}

TEST(ListingProof, MessagesNameTwentyFilesAndCountTheRest)
{
    std::vector<std::string> names;
    std::string twenty;
    for (int i = 1; i <= 23; ++i) {
        names.push_back("F" + std::to_string(i));
        if (i <= 20) {
            twenty += (i > 1 ? ", F" : "F") + std::to_string(i);
        }
    }
    EXPECT_EQ(twenty + Utf8ToCp1251(" и ещё 3"), NameList(names));
    EXPECT_EQ("F1, F2", NameList({"F1", "F2"}));
}

}  // namespace
}  // namespace cardpush
