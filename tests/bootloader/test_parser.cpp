#include "fw_update/parser.h"

#include "bootloader/fw_update_harness.h"
#include "fw_update/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fwu;
using ::testing::ElementsAre;

namespace {

Parameters parse(const std::vector<std::string>& args) {
    FUUsage usage;
    Parameters parameters(usage);
    fwtest::with_argv(
        args, [&](int argc, const char* const* argv) { Parser(usage).parse(argc, argv, parameters); });
    return parameters;
}

template <typename E> std::string message_of(const std::vector<std::string>& args) {
    return fwtest::error_of<E>([&] { parse(args); });
}

std::string size_error(const std::string& value) {
    return fwtest::error_of<EParserException>([&] { Argument(ARG_SIZE, value, "s").asUInt32(); });
}

std::uint32_t as32(const std::string& value) {
    return Argument(ARG_SIZE, value, "s").asUInt32();
}

} // namespace

TEST(Parser, NamesMatchWholeInAnyCase) {
    for (const char* name : {"-w", "-W", "-Write", "-WRITE"}) {
        Parameters p = parse({name});
        EXPECT_TRUE(p.has(ARG_WRITE)) << name;
        EXPECT_EQ(p.get(ARG_WRITE).name(), std::string(name).substr(1));
    }
    EXPECT_EQ(message_of<EBadArgument>({"-eeprom"}), "Wrong argument - \"eeprom\".");
    // Never by prefix: "ver" is the version alone.
    EXPECT_EQ(message_of<EBadArgument>({"-writ"}), "Wrong argument - \"writ\".");
    EXPECT_FALSE(parse({"-ver"}).has(ARG_VERIFY));
}

TEST(Parser, ValueFollowsAsNextElementOrAfterEquals) {
    EXPECT_EQ(parse({"-m", "eeprom"}).get(ARG_MEMORY).value(), "eeprom");
    EXPECT_EQ(parse({"-m=eeprom"}).get(ARG_MEMORY).value(), "eeprom");
    EXPECT_EQ(parse({"-m="}).get(ARG_MEMORY).value(), "flash");
    EXPECT_EQ(parse({"-ix=a=b.hex"}).get(ARG_IMAGE_HEX_IN).value(), "a=b.hex");
    EXPECT_EQ(parse({"-a=-5"}).get(ARG_ADDRESS).value(), "-5");
    EXPECT_EQ(message_of<EBadArgument>({"-a", "-5"}), "Wrong argument - \"5\".");

    // "-eeprom" is no value: memory keeps its default and the element is parsed on its own.
    EXPECT_EQ(message_of<EBadArgument>({"-m", "-eeprom"}), "Wrong argument - \"eeprom\".");
    Parameters p = parse({"-m", "-e"});
    EXPECT_EQ(p.get(ARG_MEMORY).value(), "flash");
    EXPECT_TRUE(p.has(ARG_ERASE));
}

TEST(Parser, RecordsArgumentsInVectorOrder) {
    Parameters p =
        parse({"-e", "-w", "-v", "-t", "NO", "-vid", "0x04d8", "-pid", "0xff04", "-ix", "q5_main.vmk"});
    std::vector<std::string> names;
    for (const auto& a : p.arguments())
        names.push_back(a.name() + "=" + a.value());
    EXPECT_THAT(names, ElementsAre("e=", "w=", "v=", "t=NO", "vid=0x04d8", "pid=0xff04", "ix=q5_main.vmk"));
    EXPECT_FALSE(p.get(ARG_RESET).asBool());
    EXPECT_EQ(p.get(ARG_VENDORID).asUInt16(), 0x04d8);
    EXPECT_EQ(p.get(ARG_PRODUCTID).asUInt16(), 0xff04);
}

TEST(Parser, RejectsBadElements) {
    EXPECT_EQ(message_of<EBadArgument>({"w"}), "Wrong argument - \"w\".");
    EXPECT_EQ(message_of<EBadArgument>({"-r", "stray", "-m", "id", "extra"}), "Wrong argument - \"extra\".");
    EXPECT_EQ(message_of<EBadArgument>({"-"}), "Wrong argument - \"\".");
    EXPECT_EQ(message_of<EBadArgument>({"-=x"}), "Wrong argument - \"\".");
    EXPECT_EQ(message_of<EBadArgument>({""}), "Wrong argument - \"\".");
    EXPECT_EQ(message_of<EArgumentMultipleUsage>({"-w", "-write"}),
              "Argument \"write\" is provided more then once.");
    EXPECT_EQ(message_of<EArgumentMultipleUsage>({"-m", "id", "-M=flash"}),
              "Argument \"M\" is provided more then once.");
}

TEST(Parameters, DefaultsCountAsPresent) {
    Parameters p = parse({});
    EXPECT_TRUE(p.arguments().empty());
    for (int id = ARG_WRITE; id <= ARG_IMAGE_BIN_OUT; ++id)
        EXPECT_EQ(p.has(id), id == ARG_MEMORY || id == ARG_RESET) << id;

    const Argument reset = p.get(ARG_RESET);
    EXPECT_EQ(reset.value(), "YES");
    EXPECT_EQ(reset.name(), "reset");
    EXPECT_TRUE(reset.asBool());
    EXPECT_EQ(fwtest::error_of<EArgumentAbsent>([&] { p.get(ARG_VENDORID); }),
              "Argument \"vendorid\" is required for the selected operation.");
    EXPECT_THROW(p.has(0), std::invalid_argument);
}

TEST(Parameters, WithoutDropsOnlyTheGivenIds) {
    Parameters p = parse({"-r", "-m", "all", "-a", "0x10", "-s", "4", "-ox", "o.hex"});
    Parameters q = p.without({ARG_ADDRESS, ARG_SIZE});
    EXPECT_FALSE(q.has(ARG_ADDRESS));
    EXPECT_FALSE(q.has(ARG_SIZE));
    EXPECT_EQ(q.get(ARG_MEMORY).value(), "all");
    EXPECT_EQ(q.get(ARG_IMAGE_HEX_OUT).value(), "o.hex");
    EXPECT_TRUE(p.has(ARG_ADDRESS));
}

TEST(Argument, BooleanValues) {
    EXPECT_TRUE(parse({"-t"}).get(ARG_RESET).asBool());
    for (const char* yes : {"yes", "Y", "TRUE", "Enable"})
        EXPECT_TRUE(Argument(ARG_RESET, yes, "t").asBool()) << yes;
    for (const char* no : {"no", "N", "False", "Disable"})
        EXPECT_FALSE(Argument(ARG_RESET, no, "t").asBool()) << no;
    EXPECT_EQ(fwtest::error_of<EBadValue>([] { Argument(ARG_RESET, "maybe", "t").asBool(); }),
              "Bad value provided for \"t\" argument.");
    EXPECT_THROW(Argument(ARG_RESET, "", "t").asBool(), EValueAbsent);
}

TEST(Argument, NumbersInCNotation) {
    // The sign as the C conversion takes it, modulo 2^32.
    const std::pair<const char*, std::uint32_t> numbers[] = {{"0x800", 2048u},
                                                             {"0X800", 2048u},
                                                             {"2048", 2048u},
                                                             {"04000", 2048u},
                                                             {"0", 0u},
                                                             {" +7", 7u},
                                                             {"4294967295", 4294967295u},
                                                             {"-1", 4294967295u},
                                                             {"-4294967295", 1u}};
    for (const auto& [text, value] : numbers)
        EXPECT_EQ(as32(text), value) << text;

    const std::string range32 =
        "Bad value provided for \"s\" argument.\nValue must be in range from 0 to 4294967295.";
    for (const char* bad :
         {"12k", "4294967296", "-4294967296", "0x", "08", " ", "1 ", "99999999999999999999999"})
        EXPECT_EQ(size_error(bad), range32) << bad;
    EXPECT_EQ(size_error(std::string("1\0", 2)), range32);
    EXPECT_EQ(size_error(""), "Value not provided for \"s\".");

    EXPECT_EQ(Argument(ARG_VENDORID, "0xffff", "vid").asUInt16(), 0xffff);
    EXPECT_THROW(Argument(ARG_VENDORID, "0x10000", "vid").asUInt16(),
                 EBadValue); // its message: the program's tests
}
