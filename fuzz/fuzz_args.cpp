// Runs argument vectors built from the input (elements separated by NUL bytes)
// through the fw_update table, the parser and every accessor, then builds the
// immediate-data image. Only the engine's own errors, and the invalid-argument
// error of an id outside the table, may come out; anything else crashes.
#include "fw_update/errors.h"
#include "fw_update/image/argument_image.h"
#include "fw_update/parser.h"
#include "fw_update/usage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

template <typename F> void parser_errors_only(F f) {
    try {
        f();
    } catch (const fwu::EParserException& e) {
        check(e.what() != nullptr && std::strlen(e.what()) > 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    std::vector<std::string> elements{"fw_update"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (input[i] == 0) {
            elements.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(input[i]);
        }
    }
    elements.push_back(current);
    std::vector<const char*> argv;
    for (const auto& e : elements)
        argv.push_back(e.c_str());
    argv.push_back(nullptr);

    fwu::FUUsage usage;
    fwu::Parser parser(usage);
    fwu::Parameters parameters(usage);
    parser_errors_only([&] { parser.parse(static_cast<int>(elements.size()), argv.data(), parameters); });
    check(parameters.arguments().size() < elements.size());

    // Every argument given reads through each accessor; of those not given, the first is asked for once
    // (an exception thrown costs more under the sanitizers than the rest of a run).
    bool absent_asked = false;
    for (int id = fwu::ARG_WRITE; id <= fwu::ARG_IMAGE_BIN_OUT; ++id) {
        const bool has = parameters.has(id);
        if (!has && absent_asked)
            continue;
        absent_asked = absent_asked || !has;
        parser_errors_only([&] {
            const fwu::Argument a = parameters.get(id);
            check(has && a.id() == id);
            parser_errors_only([&] { check(!a.asString().empty()); });
            parser_errors_only([&] { a.asUInt32(); });
            parser_errors_only([&] { a.asUInt16(); });
            parser_errors_only([&] { a.asBool(); });
        });
    }
    // Ids outside the table are refused; this does not depend on the input, so it is asked once.
    static const bool outside_ids_refused = [&] {
        for (int id : {0, -1, 18}) {
            try {
                parameters.has(id);
                return false;
            } catch (const std::invalid_argument& e) {
                check(std::strcmp(e.what(), "Invalid descriptor ID") == 0);
            }
        }
        return true;
    }();
    check(outside_ids_refused);

    try {
        fwu::ArgumentImage image(fwu::ARG_DATA, parameters);
        const std::uint32_t total = image.size();
        std::uint8_t data[16];
        std::uint32_t address = 0;
        std::uint32_t seen = 0;
        while (std::uint32_t n = image.read(data, sizeof data, address)) {
            check(n <= sizeof data && address == seen);
            seen += n;
        }
        check(seen == total && total == parameters.get(fwu::ARG_DATA).value().size() / 2);
    } catch (const fwu::DException&) {
    } catch (const fwu::EParserException&) {
    }
    return 0;
}
