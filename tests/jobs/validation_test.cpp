#include "jobs/validation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cp1251.h"

namespace cardpush {
namespace {

const std::string kA = Utf8ToCp1251("Ошибка в файле: Неправильный размер, недопустимые символы - ");
const std::string kB =
    Utf8ToCp1251("Ошибка в файле: Встретилась десятичная точка в размере более одного раза - ");

class ValidateJobLineTest : public ::testing::Test {
protected:
    bool Validate(std::string_view line)
    {
        return ValidateJobLine(line, [this](const std::string& m) { messages.push_back(m); });
    }

    std::vector<std::string> messages;
};

TEST_F(ValidateJobLineTest, AcceptableLinesShowNothing)
{
    const char* const lines[] = {
        "",       "12x",     "abc",      " x y",       "-",         "- rest",         ". rest",
        ", rest", "-. rest", "12, rest", "-12.5 rest", "0,25 rest", "12 abc.def,ghi", "12\tx",
        "007 "};
    for (const char* line : lines) {
        messages.clear();
        EXPECT_TRUE(Validate(line)) << "line: " << line;
        EXPECT_EQ(std::vector<std::string>{}, messages) << "line: " << line;
    }
}

struct RejectedCase {
    std::string line;
    std::vector<std::string> messages;
};

TEST_F(ValidateJobLineTest, EveryFaultShownInCharacterOrderWithTheSizeField)
{
    const std::string cyrillic = Utf8ToCp1251("1жё");
    const RejectedCase cases[] = {
        {"--5 rest", {kA + "--5"}},
        {"5- rest", {kA + "5-"}},
        {"1.2.3 rest", {kB + "1.2.3"}},
        {"1,2.3,4 rest", {kB + "1,2.3,4", kB + "1,2.3,4"}},
        {"a.b.c rest", {kA + "a.b.c", kA + "a.b.c", kB + "a.b.c", kA + "a.b.c"}},
        {"1\t2 rest", {kA + "1\t2"}},
        {cyrillic + " rest", {kA + cyrillic, kA + cyrillic}},
        {"+5 rest", {kA + "+5"}},
        {std::string("1\0"
                     "2 x",
                     5),
         {kA + std::string("1\0"
                           "2",
                           3)}},
    };
    for (const RejectedCase& c : cases) {
        messages.clear();
        EXPECT_FALSE(Validate(c.line)) << "line: " << c.line;
        EXPECT_EQ(c.messages, messages) << "line: " << c.line;
    }
}

}  // namespace
}  // namespace cardpush
