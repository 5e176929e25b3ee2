#include <gtest/gtest.h>

#include "sim/options.h"

namespace cardpush::sim {
namespace {

std::string ErrorOf(const std::vector<std::string>& args)
{
    const auto parsed = ParseOptions(args);
    const auto* error = std::get_if<OptionError>(&parsed);
    return error ? error->message : "(no error)";
}

TEST(SimOptionsTest, ValuesAreTakenInBothSpellings)
{
    const auto parsed =
        ParseOptions({"--serial", "777", "--firmware=abc", "--split", "3", "--s-delay=250",
                      "--no-answer", "--baud", "9600", "--short-listing", "2", "--link", "/tmp/x",
                      "--drop-after-bytes", "5000000000", "--drop-pause=0", "--silent-for", "750"});
    ASSERT_TRUE(std::holds_alternative<SimOptions>(parsed)) << ErrorOf({});
    const auto& o = std::get<SimOptions>(parsed);
    EXPECT_EQ("777", o.controller.serial);
    EXPECT_EQ("abc", o.controller.firmware);
    EXPECT_EQ(3, o.split);
    EXPECT_EQ(250, o.controller.presence_delay.count());
    EXPECT_FALSE(o.controller.answer);
    EXPECT_EQ(9600, o.baud);
    EXPECT_EQ(2, o.controller.short_listing);
    EXPECT_EQ("/tmp/x", o.link);
    EXPECT_EQ(5'000'000'000U, o.drop_after_bytes);  // past 32 bits: a long upload
    EXPECT_EQ(0, o.drop_pause.count());
    EXPECT_EQ(750, o.silent_for.count());
    EXPECT_EQ(0, SimOptions{}.controller.skip_reply);
    EXPECT_FALSE(SimOptions{}.controller.serial_after_drop);

    const auto misbehaving = ParseOptions(
        {"--skip-reply", ">", "--serial-after-drop=A-2", "--foreign-fields", "--read-only-card"});
    ASSERT_TRUE(std::holds_alternative<SimOptions>(misbehaving));
    const auto& m = std::get<SimOptions>(misbehaving).controller;
    EXPECT_EQ('>', m.skip_reply);
    EXPECT_EQ("A-2", m.serial_after_drop);
    EXPECT_TRUE(m.foreign_fields);
    EXPECT_TRUE(m.read_only_card);
    EXPECT_EQ("72", SimOptions{}.controller.firmware);  // the default passes the gate
}

TEST(SimOptionsTest, BadOptionsAreNamedInTheError)
{
    EXPECT_EQ("unknown option '--speed'", ErrorOf({"--speed", "1"}));
    EXPECT_EQ("unexpected argument 'extra'", ErrorOf({"extra"}));
    EXPECT_EQ("option --split needs a value (N)", ErrorOf({"--split"}));
    EXPECT_EQ("option --no-answer takes no value", ErrorOf({"--no-answer=1"}));
    EXPECT_EQ("option --split: expects a whole number from 1 to 65536, not '0'",
              ErrorOf({"--split", "0"}));
    EXPECT_EQ("option --s-delay: expects a whole number from 0 to 3600000, not '5s'",
              ErrorOf({"--s-delay", "5s"}));
    EXPECT_EQ(
        "option --drop-after-bytes: expects a whole number from 1 to 9223372036854775807, "
        "not '0'",
        ErrorOf({"--drop-after-bytes", "0"}));
    // A value carrying a field letter or "_" would break the reply field apart on the wire.
    EXPECT_EQ("option --serial: value 'SN_1' holds a field letter (B D M N R S T V) or '_'",
              ErrorOf({"--serial", "SN_1"}));
    EXPECT_EQ(
        "option --serial-after-drop: value '7T' holds a field letter (B D M N R S T V) or '_'",
        ErrorOf({"--serial-after-drop", "7T"}));
    EXPECT_EQ("option --skip-reply: expects one of S N M B D V R >, not 'NM'",
              ErrorOf({"--skip-reply", "NM"}));
    EXPECT_EQ("option --skip-reply: expects one of S N M B D V R >, not 'T'",
              ErrorOf({"--skip-reply=T"}));
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(ParseOptions({"--split", "2", "--help"})));
}

}  // namespace
}  // namespace cardpush::sim
